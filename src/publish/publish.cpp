#include "publish.h"

#include "csv.h"
#include "payloads.h"
#include "state.h"
#include "telegram.h"

#include "broker.h"
#include "utility.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace kivrel
{

void (*publishSays)(const char *line) = nullptr;
void (*publishRefused)(void) = nullptr;

enum { SENSOR_ONLINE, SENSOR_NO_REPLY, SENSOR_OFFLINE };
static const char *const stateNames[] = {"online", "no-reply", "offline"};
enum { SET_RAM, SET_EEPROM };
static const char *const memoryNames[] = {"RAM", "EEPROM"};
static const char *const setTopics[] = {"params/ram", "params/eeprom"};
// The look at the broker's retained sets on each connection.
enum { LOOK_NONE, LOOK_ASKED, LOOK_OPEN, LOOK_DONE };
enum { PeriodCount = 64 };
// A subscription not acknowledged in this time is given up for the connection.
static constexpr double AcknowledgeWait = 10.0;

static PublishSettings settings;
static char base[TopicRootMax + TopicLevelMax + 2]; // ROOT/NAME
static char started[40];                            // when the publisher started
static double startedAt;                            // the same on Timer()'s clock

static int sensorState;
static char since[40];
static long seq;
static double lastReply = -1.0; // Timer() of the last record
static int lastWasRecord;       // the request before the last record was answered too
static double periods[PeriodCount];
static int periodCount, periodNext;
static long missed, wrongLength, dropped, connections;

static int connected; // the broker took us, and has not been lost since
// The broker's state as it was said last.
enum { BROKER_SAID_NOTHING, BROKER_SAID_CONNECTED, BROKER_SAID_UNREACHABLE, BROKER_SAID_REFUSED };
static int brokerSaid;
static double lostAt; // Timer() when the connection was lost
static long droppedAtLoss;
static int refusal = PUBLISH_GOING;
static int refusalCode;
static char refusalWhy[600];
static int look = LOOK_NONE;
static int lookSubscription;
static double lookUntil;
static double nextHealth;

static int setsWanted;
static double nextSets;
// The sets read last, when, and whether this connection has had them; the sets readers saw
// last (published, or kept by the broker from before), which a change is measured against.
static unsigned char current[2][15], known[2][15], retained[2][15];
static int haveCurrent[2], haveKnown[2], haveRetained[2], published[2];
static char readAt[40];

static void Say(const char *format, ...) __attribute__((format(printf, 1, 2)));
static void Say(const char *format, ...)
{
    if (!publishSays) return;
    char line[600];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    publishSays(line);
}

static void Publish(const char *topic, const char *payload, int length, int qos, int retain,
                    int *failed)
{
    char full[sizeof base + 32];
    std::snprintf(full, sizeof full, "%s/%s", base, topic);
    const int rc = length < 0 ? -1 : BrokerPublish(full, payload, length, qos, retain);
    if (failed && rc != 0) *failed = 1;
}

static void PublishStatus(void)
{
    if (!connected) return;
    char text[1200];
    const int n = FormatStatus(text, sizeof text, stateNames[sensorState], since, settings.version);
    Publish("status", text, n, 1, 1, nullptr);
}

static void SetState(int state)
{
    if (state == sensorState) return;
    sensorState = state;
    CsvTimeStamp(since, sizeof since);
    PublishStatus();
}

static double MedianPeriod(void)
{
    if (periodCount == 0) return -1.0;
    double sorted[PeriodCount];
    std::memcpy(sorted, periods, sizeof(double) * static_cast<size_t>(periodCount));
    for (int i = 1; i < periodCount; i++)
        for (int j = i; j > 0 && sorted[j - 1] > sorted[j]; j--) {
            const double t = sorted[j];
            sorted[j] = sorted[j - 1];
            sorted[j - 1] = t;
        }
    return periodCount % 2 ? sorted[periodCount / 2]
                           : (sorted[periodCount / 2 - 1] + sorted[periodCount / 2]) / 2;
}

static void PublishHealthNow(void)
{
    nextHealth = Timer() + PublishHealthEvery;
    if (!connected) return;
    PublishHealth h{};
    h.records = seq;
    h.missed = missed;
    h.wrongLength = wrongLength;
    h.periodMs = MedianPeriod();
    h.lastReplyAge = lastReply < 0 ? -1.0 : Timer() - lastReply;
    h.reconnects = connections > 1 ? connections - 1 : 0;
    h.dropped = dropped;
    char text[600];
    const int n = FormatHealth(text, sizeof text, &h, started);
    Publish("health", text, n, 1, 1, nullptr);
}

// The sets read last go out once the broker's retained ones have been looked at on this
// connection, each with its change against the one readers saw last.
static void FlushSets(void)
{
    if (!connected || look != LOOK_DONE) return;
    for (int m = SET_RAM; m <= SET_EEPROM; m++) {
        if (!haveCurrent[m] || published[m]) continue;
        char text[1600];
        int failed = 0;
        if (haveKnown[m] && std::memcmp(known[m], current[m], sizeof known[m]) != 0)
            Publish("params/changed", text,
                    FormatChanged(text, sizeof text, memoryNames[m], readAt, known[m], current[m]),
                    1, 0, &failed);
        const unsigned char *eeprom =
            m == SET_RAM && haveCurrent[SET_EEPROM] ? current[SET_EEPROM] : nullptr;
        Publish(setTopics[m], text,
                FormatSet(text, sizeof text, current[m], memoryNames[m], readAt, eeprom), 1, 1,
                &failed);
        if (failed) continue; // the change is measured again on the next connection
        std::memcpy(known[m], current[m], sizeof known[m]);
        haveKnown[m] = 1;
        published[m] = 1;
    }
}

static void EndLook(void)
{
    char topic[sizeof base + 32];
    std::snprintf(topic, sizeof topic, "%s/params/+", base);
    BrokerUnsubscribe(topic);
    look = LOOK_DONE;
    for (int m = SET_RAM; m <= SET_EEPROM; m++)
        if (haveRetained[m]) {
            std::memcpy(known[m], retained[m], sizeof known[m]);
            haveKnown[m] = 1;
            haveRetained[m] = 0;
        }
    FlushSets();
}

static void Connected(void)
{
    connected = 1;
    connections++;
    if (connections == 1)
        Say("%s: connected, publishing under %s/", settings.url, base);
    else
        Say("%s: connected again after %.0f s; %ld records dropped meanwhile", settings.url,
            Timer() - lostAt, dropped - droppedAtLoss);
    brokerSaid = BROKER_SAID_CONNECTED;
    PublishStatus();
    PublishHealthNow();
    // Before the sets go out, a look at what the broker kept of them from before.
    published[SET_RAM] = published[SET_EEPROM] = 0;
    haveRetained[SET_RAM] = haveRetained[SET_EEPROM] = 0;
    char topic[sizeof base + 32];
    std::snprintf(topic, sizeof topic, "%s/params/+", base);
    lookSubscription = BrokerSubscribe(topic, 1);
    look = lookSubscription > 0 ? LOOK_ASKED : LOOK_NONE;
    lookUntil = Timer() + AcknowledgeWait;
}

static void NotConnected(const char *why, int refused)
{
    if (connected) {
        lostAt = Timer();
        droppedAtLoss = dropped;
    }
    connected = 0;
    look = LOOK_NONE;
    // One line for each change of state, not one for each attempt.
    const int state = refused ? BROKER_SAID_REFUSED : BROKER_SAID_UNREACHABLE;
    if (brokerSaid == state) return;
    brokerSaid = state;
    Say("%s: %s%s; trying again, records are dropped meanwhile", settings.url,
        refused ? "the broker refused the connection: " : "cannot reach the broker: ", why);
}

static int SetOfTopic(const char *topic)
{
    const size_t n = std::strlen(base);
    if (std::strncmp(topic, base, n) != 0 || topic[n] != '/') return -1;
    for (int m = SET_RAM; m <= SET_EEPROM; m++)
        if (std::strcmp(topic + n + 1, setTopics[m]) == 0) return m;
    return -1;
}

// Trying again cannot help: the account, or the broker's certificate, is for people to mend.
static void Refused(int kind, int code, const char *why)
{
    if (refusal != PUBLISH_GOING) return;
    refusal = kind;
    refusalCode = code;
    std::snprintf(refusalWhy, sizeof refusalWhy, "%s", why);
    if (publishRefused) publishRefused();
}

static void OnBroker(const BrokerEvent *e, void *)
{
    switch (e->kind) {
    case BROKER_CONNECTED: Connected(); break;
    case BROKER_UNREACHABLE: NotConnected(e->text, 0); break;
    case BROKER_REFUSED:
        if (e->code == 4 || e->code == 5)
            Refused(PUBLISH_ACCOUNT_REFUSED, e->code, e->text);
        else
            NotConnected(e->text, 1);
        break;
    case BROKER_UNTRUSTED: Refused(PUBLISH_UNTRUSTED, 0, e->text); break;
    case BROKER_SUBSCRIBED:
        if (look == LOOK_ASKED && e->code == lookSubscription) {
            look = LOOK_OPEN;
            lookUntil = Timer() + PublishRetainedWait;
        }
        break;
    case BROKER_MESSAGE: {
        const int m = SetOfTopic(e->topic);
        if (m >= 0 && e->retained && look != LOOK_DONE && ParseSet(e->payload, retained[m]) == 0)
            haveRetained[m] = 1;
        break;
    }
    }
}

int PublishStart(const PublishSettings *s, int answering)
{
    settings = *s;
    std::snprintf(base, sizeof base, "%s/%s", settings.root, settings.name);
    CsvTimeStamp(started, sizeof started);
    startedAt = Timer();
    std::snprintf(since, sizeof since, "%s", started);
    sensorState = answering ? SENSOR_ONLINE : SENSOR_NO_REPLY;
    setsWanted = 1;

    BrokerSettings b{};
    std::snprintf(b.host, sizeof b.host, "%s", settings.host);
    b.port = settings.port;
    std::snprintf(b.user, sizeof b.user, "%s", settings.user);
    std::snprintf(b.password, sizeof b.password, "%s", settings.password);
    b.tls = settings.tls;
    std::snprintf(b.cafile, sizeof b.cafile, "%s", settings.cafile);
    std::snprintf(b.certfile, sizeof b.certfile, "%s", settings.certfile);
    std::snprintf(b.keyfile, sizeof b.keyfile, "%s", settings.keyfile);
    char machine[128];
    GetMachineName(machine, sizeof machine);
    std::snprintf(b.clientId, sizeof b.clientId, "kivrel-%s-%s", machine, settings.name);
    b.keepalive = 30;
    std::snprintf(b.willTopic, sizeof b.willTopic, "%s/status", base);
    std::snprintf(b.willBefore, sizeof b.willBefore, "{\"state\":\"lost\",\"since\":\"");
    b.willAfter[0] = '"';
    FormatStatusTail(b.willAfter + 1, sizeof b.willAfter - 1, settings.version);
    const int rc = BrokerStart(&b, OnBroker, nullptr);
    if (rc != 0) {
        Say("%s: %s", settings.url, BrokerError());
        return rc == BROKER_BAD_TLS_FILES ? PUBLISH_BAD_TLS_FILES : -1;
    }
    return 0;
}

int PublishRefusal(int *code, const char **why)
{
    if (code) *code = refusalCode;
    if (why) *why = refusalWhy;
    return refusal;
}

void PublishRecord(void)
{
    seq++;
    const double now = Timer();
    if (lastWasRecord && lastReply >= 0) {
        periods[periodNext] = (now - lastReply) * 1000.0;
        periodNext = (periodNext + 1) % PeriodCount;
        if (periodCount < PeriodCount) periodCount++;
    }
    lastReply = now;
    lastWasRecord = 1;
    if (sensorState == SENSOR_NO_REPLY) {
        Say("answers again");
        setsWanted = 1; // a power cut brings EEPROM's set back into RAM
    }
    SetState(SENSOR_ONLINE);
    if ((seq - 1) % settings.every != 0) return;
    char text[700];
    const int n = FormatLive(text, sizeof text, now - startedAt, seq, started);
    int failed = 0;
    Publish("live", text, n, 0, 0, &failed);
    if (failed) dropped++;
}

void PublishNoReply(const char *what)
{
    if (nBytesR <= 0)
        missed++;
    else
        wrongLength++;
    lastWasRecord = 0;
    if (sensorState == SENSOR_NO_REPLY) return;
    if (nBytesR <= 0)
        Say("no reply to %s within %.1f s; asking again every 3 s", what, TIMEOUT_REPLY);
    else
        Say("a reply of %d bytes to %s; asking again every 3 s", nBytesR, what);
    SetState(SENSOR_NO_REPLY);
}

int PublishSetsDue(void)
{
    return sensorState == SENSOR_ONLINE && (setsWanted || Timer() >= nextSets);
}

void PublishSets(const unsigned char ram[15], const unsigned char eeprom[15])
{
    std::memcpy(current[SET_RAM], ram, sizeof current[SET_RAM]);
    std::memcpy(current[SET_EEPROM], eeprom, sizeof current[SET_EEPROM]);
    haveCurrent[SET_RAM] = haveCurrent[SET_EEPROM] = 1;
    published[SET_RAM] = published[SET_EEPROM] = 0;
    CsvTimeStamp(readAt, sizeof readAt);
    setsWanted = 0;
    nextSets = Timer() + settings.setsEvery;
    FlushSets();
}

void PublishTick(void)
{
    const double now = Timer();
    if ((look == LOOK_OPEN || look == LOOK_ASKED) && now >= lookUntil) EndLook();
    if (now >= nextHealth) PublishHealthNow();
}

void PublishEnd(void)
{
    PublishHealthNow(); // the last word on what was polled
    SetState(SENSOR_OFFLINE);
    BrokerStop(1.5);
    connected = 0;
}

} // namespace kivrel
