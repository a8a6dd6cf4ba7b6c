// The broker's connection on a thread of its own.
//
// libmosquitto looks host names up synchronously, even in its asynchronous connect, and a
// lookup that hangs would hold whatever thread makes it. So the connection has a thread of its
// own that connects, runs libmosquitto's network loop and waits between attempts; the event
// loop's thread only hands messages over (mosquitto_publish queues them and wakes the network
// loop, as the client is marked threaded) and gets the connection's news as queued calls.
//
// Each attempt starts from a reset client: nothing published while there was no connection is
// sent on a later one, and the will is stamped with the time of its own connection.
#include "brokerlink_p.h"

#include "utility.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>

namespace kivrel::platform
{
namespace
{

// How long the network loop waits for the socket before it looks whether it is to stop.
constexpr int kLoopMs = 100;
// A server that takes the connection but does not answer it as a broker does.
constexpr auto kAnswerWait = std::chrono::seconds(10);
constexpr double kFirstRetrySeconds = 1.0, kLastRetrySeconds = 30.0;

std::string stampNow()
{
    LocalDateTime t{};
    GetLocalDateTime(&t);
    const int offset = t.utcOffsetMinutes < 0 ? -t.utcOffsetMinutes : t.utcOffsetMinutes;
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", t.year,
                  t.month, t.day, t.hour, t.minute, t.second, t.millisecond,
                  t.utcOffsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
    return text;
}

// libmosquitto's result in words; errno is this thread's.
std::string reasonOf(int rc, int error)
{
    switch (rc) {
    case MOSQ_ERR_ERRNO: return std::system_category().message(error);
    case MOSQ_ERR_EAI: return "host not found";
    case MOSQ_ERR_CONN_LOST: return "the connection was lost";
    case MOSQ_ERR_KEEPALIVE: return "the broker stopped answering";
    case MOSQ_ERR_NO_CONN: return "the connection was closed";
    default: return mosquitto_strerror(rc);
    }
}

} // namespace

BrokerLink::BrokerLink(const BrokerSettings &settings, BrokerCallbackPtr callback,
                       void *callbackData)
    : settings_(settings), callback_(callback), callbackData_(callbackData)
{
}

BrokerLink::~BrokerLink()
{
    if (mosq_) mosquitto_destroy(mosq_);
}

bool BrokerLink::start(std::string &error)
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { mosquitto_lib_init(); });
    mosq_ = mosquitto_new(settings_.clientId, true, this);
    if (!mosq_) {
        error = std::system_category().message(errno);
        return false;
    }
    thread_ = std::thread([this] { run(); });
    return true;
}

int BrokerLink::publish(const char *topic, const char *payload, int length, int qos, bool retain)
{
    std::lock_guard lock(mutex_);
    if (!connected_) return -1;
    if (mosquitto_publish(mosq_, nullptr, topic, length, payload, qos, retain) != MOSQ_ERR_SUCCESS)
        return -1;
    published_++;
    return 0;
}

int BrokerLink::subscribe(const char *topic, int qos)
{
    std::lock_guard lock(mutex_);
    int mid = 0;
    if (!connected_ || mosquitto_subscribe(mosq_, &mid, topic, qos) != MOSQ_ERR_SUCCESS) return -1;
    return mid;
}

int BrokerLink::unsubscribe(const char *topic)
{
    std::lock_guard lock(mutex_);
    if (!connected_ || mosquitto_unsubscribe(mosq_, nullptr, topic) != MOSQ_ERR_SUCCESS) return -1;
    return 0;
}

bool BrokerLink::stop(double seconds)
{
    const auto until = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                          std::chrono::duration<double>(seconds));
    *deliver_ = false;
    std::unique_lock lock(mutex_);
    stopping_ = true;
    // The thread's own deadline leaves it time to end before this one.
    stopBy_ = until - std::chrono::milliseconds(150);
    changed_.notify_all();
    const bool ended = changed_.wait_until(lock, until, [this] { return finished_; });
    lock.unlock();
    if (ended)
        thread_.join();
    else
        thread_.detach();
    return ended;
}

bool BrokerLink::stopping()
{
    std::lock_guard lock(mutex_);
    return stopping_;
}

void BrokerLink::run()
{
    double wait = kFirstRetrySeconds;
    for (;;) {
        std::string why;
        if (connectOnce(why)) break;
        const bool hadConnection = connected_.exchange(false);
        if (!refused_) post({BROKER_UNREACHABLE, 0, 0, why, {}, {}});
        if (hadConnection) wait = kFirstRetrySeconds;
        std::unique_lock lock(mutex_);
        const auto pause = std::chrono::duration<double>(wait);
        if (changed_.wait_for(lock, pause, [this] { return stopping_; })) break;
        wait = std::min(wait * 2, kLastRetrySeconds);
    }
    std::lock_guard lock(mutex_);
    finished_ = true;
    changed_.notify_all();
}

void BrokerLink::prepare()
{
    mosquitto_reinitialise(mosq_, settings_.clientId, true, this);
    mosquitto_threaded_set(mosq_, true);
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(mosq_, onConnect);
    mosquitto_publish_callback_set(mosq_, onPublish);
    mosquitto_subscribe_callback_set(mosq_, onSubscribe);
    mosquitto_message_callback_set(mosq_, onMessage);
    if (settings_.willTopic[0]) {
        const std::string will = settings_.willBefore + stampNow() + settings_.willAfter;
        mosquitto_will_set(mosq_, settings_.willTopic, static_cast<int>(will.size()), will.data(),
                           1, true);
    }
    // An account and TLS are set here, before every connection.
    published_ = 0;
    acknowledged_ = 0;
    refused_ = false;
}

bool BrokerLink::connectOnce(std::string &why)
{
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return true;
        prepare();
    }
    int rc = mosquitto_connect_async(mosq_, settings_.host, settings_.port, settings_.keepalive);
    if (rc != MOSQ_ERR_SUCCESS) {
        why = reasonOf(rc, errno);
        return stopping();
    }
    const auto answerBy = Clock::now() + kAnswerWait;
    for (;;) {
        if (stopping()) {
            closeCleanly();
            return true;
        }
        rc = mosquitto_loop(mosq_, kLoopMs, 1);
        if (rc != MOSQ_ERR_SUCCESS) {
            why = reasonOf(rc, errno);
            return false;
        }
        if (refused_) return false;
        if (!connected_ && Clock::now() > answerBy) {
            why = "the server does not answer as an MQTT broker";
            return false;
        }
    }
}

void BrokerLink::closeCleanly()
{
    Clock::time_point by;
    {
        std::lock_guard lock(mutex_);
        by = stopBy_;
    }
    if (connected_) {
        while (acknowledged_ < published_ && Clock::now() < by)
            if (mosquitto_loop(mosq_, 10, 1) != MOSQ_ERR_SUCCESS) break;
        mosquitto_disconnect(mosq_);
        // The DISCONNECT goes out in the loop, which then closes the socket and says so.
        while (Clock::now() < by)
            if (mosquitto_loop(mosq_, 10, 1) != MOSQ_ERR_SUCCESS) break;
    }
    connected_ = false;
}

void BrokerLink::post(Event event)
{
    std::lock_guard lock(mutex_);
    QCoreApplication *app = QCoreApplication::instance();
    if (stopping_ || !app) return;
    QMetaObject::invokeMethod(
        app,
        [deliver = deliver_, callback = callback_, data = callbackData_, e = std::move(event)] {
            if (!*deliver) return;
            const BrokerEvent be{e.kind,
                                 e.code,
                                 e.text.c_str(),
                                 e.topic.c_str(),
                                 e.payload.c_str(),
                                 static_cast<int>(e.payload.size()),
                                 e.retained};
            callback(&be, data);
        },
        Qt::QueuedConnection);
}

void BrokerLink::onConnect(mosquitto *, void *self, int rc)
{
    auto *link = static_cast<BrokerLink *>(self);
    if (rc == 0) {
        link->connected_ = true;
        link->post({BROKER_CONNECTED, 0, 0, {}, {}, {}});
        return;
    }
    // The network loop ends the connection with MOSQ_ERR_CONN_REFUSED after this.
    link->refused_ = true;
    link->post({BROKER_REFUSED, rc, 0, mosquitto_connack_string(rc), {}, {}});
}

void BrokerLink::onPublish(mosquitto *, void *self, int)
{
    static_cast<BrokerLink *>(self)->acknowledged_++;
}

void BrokerLink::onSubscribe(mosquitto *, void *self, int mid, int, const int *)
{
    static_cast<BrokerLink *>(self)->post({BROKER_SUBSCRIBED, mid, 0, {}, {}, {}});
}

void BrokerLink::onMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    static_cast<BrokerLink *>(self)->post(
        {BROKER_MESSAGE,
         0,
         message->retain ? 1 : 0,
         {},
         message->topic ? message->topic : "",
         std::string(static_cast<const char *>(message->payload),
                     static_cast<size_t>(std::max(0, message->payloadlen)))});
}

} // namespace kivrel::platform
