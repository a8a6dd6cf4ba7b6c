// The broker's connection on a thread of its own, on libmosquitto; the logic sees it through
// broker.h.
#pragma once

#include "broker.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

struct mosquitto;
struct mosquitto_message;
struct ssl_st;
struct ssl_ctx_st;
struct x509_store_ctx_st;

namespace kivrel::platform
{

class BrokerLink
{
  public:
    BrokerLink(const BrokerSettings &settings, BrokerCallbackPtr callback, void *callbackData);
    ~BrokerLink();
    BrokerLink(const BrokerLink &) = delete;
    BrokerLink &operator=(const BrokerLink &) = delete;

    // Creates the client and starts the thread: 0, or what BrokerStart returns for a failure,
    // with the reason in `error`.
    int start(std::string &error);
    int publish(const char *topic, const char *payload, int length, int qos, bool retain);
    int subscribe(const char *topic, int qos);
    int unsubscribe(const char *topic);
    // True once the thread has ended within `seconds`; the link must then be deleted, else it
    // belongs to the thread that still runs.
    bool stop(double seconds);

  private:
    using Clock = std::chrono::steady_clock;

    struct Event {
        int kind = 0, code = 0, retained = 0;
        std::string text, topic, payload;
    };

    void run();
    // One connection from the attempt to its end; true when it ended because it was asked to.
    bool connectOnce(std::string &why);
    // Resets the client for a new connection: callbacks, the will stamped now, the account and
    // the TLS context (none without TLS).
    void prepare(ssl_ctx_st *tls);
    // What was handed over is sent, then a DISCONNECT, by the stop's deadline.
    void closeCleanly();
    void post(Event event);
    bool stopping();
    // Why the attempt that just failed did, in words.
    std::string failure(int rc, int error) const;
    // A TLS context for one connection, from the files as they are now; null with why.
    ssl_ctx_st *tlsContext(std::string &why);

    static void onConnect(mosquitto *, void *self, int rc);
    static void onPublish(mosquitto *, void *self, int mid);
    static void onSubscribe(mosquitto *, void *self, int mid, int, const int *);
    static void onMessage(mosquitto *, void *self, const mosquitto_message *message);
    static int onVerify(int ok, x509_store_ctx_st *store);
    static void onTlsInfo(const ssl_st *ssl, int where, int value);

    const BrokerSettings settings_;
    const BrokerCallbackPtr callback_;
    void *const callbackData_;
    mosquitto *mosq_ = nullptr;
    std::thread thread_;

    // Guards the client's lifecycle against the calls of the event loop's thread, and all below.
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    bool finished_ = false;
    Clock::time_point stopBy_;

    // Messages handed to this connection, and those written (QoS 0) or acknowledged (QoS 1).
    std::atomic<long> published_{0}, acknowledged_{0};
    std::atomic<bool> connected_{false};
    std::atomic<bool> refused_{false};
    // What the TLS handshake of the attempt said, on the connection's thread alone: why the
    // broker's certificate does not verify, the alert with which either side ended it.
    std::string untrusted_, alert_;
    // Cleared when the link stops: events still queued in the event loop are not delivered.
    std::shared_ptr<std::atomic<bool>> deliver_ = std::make_shared<std::atomic<bool>>(true);
};

} // namespace kivrel::platform
