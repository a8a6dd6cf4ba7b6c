// src/publish: what a sensor publishes to an MQTT broker, and when; uses core, util, wire and
// history. The command line publishes with it; the panel could on the same code.
// One sensor's publisher. Its user polls the sensor and reads its sets, and tells the
// publisher what came of it; the publisher decides what goes to the broker and when, under
// ROOT/NAME/:
//   status         retained, QoS 1, at every change: online, no-reply, offline; lost is the
//                  broker's, the last will, stamped with the time of the connection
//   live           QoS 0, every record (every N-th)
//   params/ram, params/eeprom   retained, QoS 1, whenever the sets are read
//   params/changed QoS 1, a set read that differs from the one readers saw last, also the
//                  one the broker kept from before the publisher started
//   health         retained, QoS 1, every 10 s
// Everything retained goes out again on each new connection: a broker without persistence has
// forgotten it.
#ifndef KIVREL_PUBLISH_PUBLISH_H
#define KIVREL_PUBLISH_PUBLISH_H

#include "names.h"

namespace kivrel
{

struct PublishSettings {
    char host[256]; // the broker
    int port;
    int tls; // mqtts://
    char url[320]; // the broker as given, for what the publisher says
    char root[TopicRootMax];
    char name[TopicLevelMax + 1];
    long every;          // every N-th record goes to live
    double setsEvery;    // seconds between reads of the sets
    const char *version; // the program's
    // The account (none when user is empty) and TLS's files (empty: the system's CAs, no client
    // certificate); see BrokerSettings.
    char user[256];
    char password[1024];
    char cafile[1024];
    char certfile[1024];
    char keyfile[1024];
};

// Seconds a polling request waits before it is retried, and how often health goes out.
inline constexpr double PublishHealthEvery = 10.0;
// How long the broker's retained sets are waited for after the subscription is acknowledged.
inline constexpr double PublishRetainedWait = 2.0;

// A line about a change of state (the broker reached or lost, the sensor silent or back) for
// the publisher's user to show with the sensor's name; null shows nothing.
extern void (*publishSays)(const char *line);

// Called once publishing cannot go on (PublishRefusal says why), so that its user can end a
// wait for the sensor at once; null calls nothing.
extern void (*publishRefused)(void);

// Starts publishing, the sensor answering (after a good line check) or not. 0; -1 when no
// connection can be set up at all, or PUBLISH_BAD_TLS_FILES when TLS's files cannot be used (a
// CA file, certificate or key that cannot be read or holds none), said through publishSays.
enum { PUBLISH_BAD_TLS_FILES = -2 };
int PublishStart(const PublishSettings *settings, int answering);
// Why publishing cannot go on, however often the broker is tried: PUBLISH_GOING while it can;
// PUBLISH_ACCOUNT_REFUSED when the broker refused the account (CONNACK 4, bad user name or
// password, or 5, not authorised: `*code`); PUBLISH_UNTRUSTED when the broker's certificate does
// not verify (`*why` says why). The publisher says nothing of either: its user does.
enum { PUBLISH_GOING, PUBLISH_ACCOUNT_REFUSED, PUBLISH_UNTRUSTED };
int PublishRefusal(int *code, const char **why);
// A record was polled: the measurement variables hold it.
void PublishRecord(void);
// A request got no reply, or one of the wrong length (nBytesR); `what` names the request.
void PublishNoReply(const char *what);
// 1 when the user should read the sets and hand them over: once the sensor answers at the
// start, every setsEvery seconds, and when it answers again after a silence (a power cut brings
// EEPROM's set back into RAM).
int PublishSetsDue(void);
// The sets just read from the sensor.
void PublishSets(const unsigned char ram[15], const unsigned char eeprom[15]);
// What falls due with time: health, the end of the wait for the retained sets. Call it often.
void PublishTick(void);
// status offline, then the connection closed cleanly, within 2 s whatever the broker does.
void PublishEnd(void);

} // namespace kivrel

#endif
