// src/publish: what a sensor publishes to an MQTT broker, and when; uses core, util, wire and
// history. The command line publishes with it; the panel could on the same code.
// The names a publisher goes by: its topics and the broker's address.
#ifndef KIVREL_PUBLISH_NAMES_H
#define KIVREL_PUBLISH_NAMES_H

namespace kivrel
{

enum {
    TopicLevelMax = 64, // characters of a name or of one level of the root
    TopicRootMax = 256
};

// A publisher's name: 1 to 64 of A-Z, a-z, 0-9, '.', '_' and '-'. 1 when `name` is one.
int TopicNameValid(const char *name);
// A topic root: one or more such levels joined by '/', at most TopicRootMax - 1 characters.
int TopicRootValid(const char *root);
// The name a sensor publishes under when none is given: the machine's name and the port's
// label, made topic-safe and lower case ("press7-com3", "press7-ttyusb2"), so two machines
// never share one.
void DefaultTopicName(char *name, int size);

// A broker as mqtt://HOST[:PORT] or, with TLS, mqtts://HOST[:PORT] (an IPv6 address in brackets;
// port 1883, with TLS 8883, by default): 0 with the host, the port and whether it is TLS, or -1
// with why it is none in `why`.
int ParseBrokerUrl(const char *url, char *host, int hostSize, int *port, int *tls, char *why,
                   int whySize);

} // namespace kivrel

#endif
