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
    char url[320]; // the broker as given, for what the publisher says
    char root[TopicRootMax];
    char name[TopicLevelMax + 1];
    long every;          // every N-th record goes to live
    double setsEvery;    // seconds between reads of the sets
    const char *version; // the program's
};

// Seconds a polling request waits before it is retried, and how often health goes out.
inline constexpr double PublishHealthEvery = 10.0;
// How long the broker's retained sets are waited for after the subscription is acknowledged.
inline constexpr double PublishRetainedWait = 2.0;

// A line about a change of state (the broker reached or lost, the sensor silent or back) for
// the publisher's user to show with the sensor's name; null shows nothing.
extern void (*publishSays)(const char *line);

// Starts publishing, the sensor answering (after a good line check) or not. 0, or -1 when no
// connection can be set up at all, said through publishSays.
int PublishStart(const PublishSettings *settings, int answering);
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
