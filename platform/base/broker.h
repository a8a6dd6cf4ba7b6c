// A connection to an MQTT broker, for the logic: MQTT 3.1.1 with a clean session, kept on a
// thread of its own. Name lookups and connects happen there, so a broker that cannot be reached
// never holds the event loop; what the connection has to say comes back as callbacks from the
// event loop, in order, like any other event. While there is no connection the platform tries
// again, waiting 1 s after a loss and twice as long after each failed attempt, 30 s at most.
// With TLS the broker's certificate is checked against the system's CAs or a CA file of its own,
// and its name or address against the host connected to.
#ifndef KIVREL_PLATFORM_BROKER_H
#define KIVREL_PLATFORM_BROKER_H

enum { BROKER_DEFAULT_PORT = 1883, BROKER_DEFAULT_TLS_PORT = 8883 };

// Where the broker is and who we are to it.
struct BrokerSettings {
    char host[256]; // a name or an address; an IPv6 address without brackets
    int port;
    char clientId[256];
    int keepalive; // seconds
    // The last will, which the broker publishes when the connection ends without a clean
    // disconnect: retained, QoS 1, on willTopic (none when it is empty). Its payload is
    // willBefore, the time the connection was made (ISO 8601 with milliseconds and the offset
    // from UTC: "2026-12-08T14:30:12.345+01:00") and willAfter.
    char willTopic[400];
    char willBefore[128];
    char willAfter[1024];
    // An account: a user name (none when empty) and its password (none when empty).
    char user[256];
    char password[1024];
    // TLS when tls is 1: the broker's certificate checked against the CAs of cafile, or the
    // system's when it is empty; a client certificate from certfile and its key from keyfile
    // (PEM, the key without a passphrase) when they are given. The files are read again for
    // every connection, so a renewed certificate is taken up at the next one.
    int tls;
    char cafile[1024];
    char certfile[1024];
    char keyfile[1024];
};

// What the connection reports.
enum {
    BROKER_CONNECTED = 1, // the broker took the connection
    BROKER_UNREACHABLE,   // an attempt failed, or the connection was lost: `text` says why
    BROKER_REFUSED,       // the broker answered and refused: `code` is its CONNACK code
    BROKER_SUBSCRIBED,    // a subscription was acknowledged: `code` is BrokerSubscribe's number
    BROKER_MESSAGE,       // a message on a subscribed topic
    BROKER_UNTRUSTED      // the broker's certificate does not verify: `text` says why
};
struct BrokerEvent {
    int kind;
    int code;
    const char *text;    // why, for UNREACHABLE and REFUSED; "" otherwise
    const char *topic;   // MESSAGE: the topic; "" otherwise
    const char *payload; // MESSAGE: the payload, with a NUL after its `length` bytes
    int length;
    int retained; // MESSAGE: 1 when the broker kept it from before the subscription
};
// Called from the event loop; the event's texts last as long as the call.
typedef void (*BrokerCallbackPtr)(const BrokerEvent *event, void *callbackData);

// Starts connecting to the broker. 0; BROKER_BAD_TLS_FILES when TLS's files cannot be used (one
// that cannot be read, no certificate or key in it, a key that is not the certificate's); -1
// when the client cannot be set up otherwise. BrokerError says why.
enum { BROKER_BAD_TLS_FILES = -2 };
int BrokerStart(const BrokerSettings *settings, BrokerCallbackPtr callback, void *callbackData);
// Hands a message on to the connection. 0, or -1 while there is no connection (the message is
// dropped, never kept for later).
int BrokerPublish(const char *topic, const char *payload, int length, int qos, int retain);
// A subscription: its number (> 0), which the acknowledgement carries; -1 without connection.
int BrokerSubscribe(const char *topic, int qos);
int BrokerUnsubscribe(const char *topic);
// Ends the connection: waits until what was published with QoS 1 is acknowledged, disconnects
// cleanly (so the broker does not send the last will) and lets the thread end, `seconds` at
// most in all; a thread still in a name lookup then is left to end by itself. No callback
// comes after this.
void BrokerStop(double seconds);
// Why BrokerStart failed.
const char *BrokerError(void);

#endif
