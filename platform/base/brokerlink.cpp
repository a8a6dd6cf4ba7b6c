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
//
// TLS runs on a context of our own (MOSQ_OPT_SSL_CTX, without libmosquitto's defaults, which
// would put its own verify callback in place of ours): libmosquitto reports a certificate that
// does not verify as MOSQ_ERR_TLS alone, like any other TLS failure, and a broker that cannot be
// trusted is no reason to try again, so our callback keeps OpenSSL's reason. The context checks
// the host's name or address itself (X509_VERIFY_PARAM), as libmosquitto's callback would have.
#include "brokerlink_p.h"

#include "utility.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <mosquitto.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>

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

// Where a TLS context keeps its link, for the callbacks.
int linkIndex()
{
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

// OpenSSL's words for what failed last on this thread.
std::string tlsReason()
{
    const unsigned long e = ERR_peek_last_error();
    ERR_clear_error();
    const char *reason = e ? ERR_reason_error_string(e) : nullptr;
    return reason ? reason : "no reason given";
}

// A key is never unlocked with a passphrase: a service has no one to ask, and OpenSSL would ask
// on the terminal.
int noPassphrase(char *, int, int, void *)
{
    return 0;
}

// "" when the file can be read, otherwise the system's words for why not.
std::string unreadable(const char *path)
{
    std::FILE *f = std::fopen(path, "rb");
    if (!f) return std::system_category().message(errno);
    std::fclose(f);
    return {};
}

// An alert's description; OpenSSL 3.0 has no words for TLS 1.3's own.
std::string alertWords(int value)
{
    const int code = value & 0xff;
    if (code == 116) return "certificate required"; // TLS 1.3: a client certificate is wanted
    const std::string words = SSL_alert_desc_string_long(value);
    return words == "unknown" ? "alert " + std::to_string(code) : words;
}

std::string nameOf(X509_NAME *name)
{
    BIO *bio = BIO_new(BIO_s_mem());
    if (!bio) return {};
    X509_NAME_print_ex(bio, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char *data = nullptr;
    const long n = BIO_get_mem_data(bio, &data);
    std::string text(data, static_cast<size_t>(std::max(0L, n)));
    BIO_free(bio);
    return text;
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

int BrokerLink::start(std::string &error)
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { mosquitto_lib_init(); });
    // Files that cannot be used are said at once, not as a broker that cannot be reached.
    if (settings_.tls) {
        SSL_CTX *trial = tlsContext(error);
        if (!trial) return BROKER_BAD_TLS_FILES;
        SSL_CTX_free(trial);
    }
    mosq_ = mosquitto_new(settings_.clientId, true, this);
    if (!mosq_) {
        error = std::system_category().message(errno);
        return -1;
    }
    thread_ = std::thread([this] { run(); });
    return 0;
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
        if (!untrusted_.empty())
            post({BROKER_UNTRUSTED, 0, 0, untrusted_, {}, {}});
        else if (!refused_)
            post({BROKER_UNREACHABLE, 0, 0, why, {}, {}});
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

void BrokerLink::prepare(ssl_ctx_st *tls)
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
    if (settings_.user[0])
        mosquitto_username_pw_set(mosq_, settings_.user,
                                  settings_.password[0] ? settings_.password : nullptr);
    if (tls) {
        mosquitto_int_option(mosq_, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 0);
        mosquitto_void_option(mosq_, MOSQ_OPT_SSL_CTX, tls); // takes a reference of its own
    }
    published_ = 0;
    acknowledged_ = 0;
    refused_ = false;
    untrusted_.clear();
    alert_.clear();
}

bool BrokerLink::connectOnce(std::string &why)
{
    // Made outside the lock: the system's CAs take a while to read.
    SSL_CTX *tls = nullptr;
    if (settings_.tls && !(tls = tlsContext(why))) return stopping();
    {
        std::lock_guard lock(mutex_);
        if (!stopping_) prepare(tls);
    }
    SSL_CTX_free(tls);
    if (stopping()) return true;
    int rc = mosquitto_connect_async(mosq_, settings_.host, settings_.port, settings_.keepalive);
    if (rc != MOSQ_ERR_SUCCESS) {
        why = failure(rc, errno);
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
            why = failure(rc, errno);
            return false;
        }
        if (refused_) return false;
        if (!connected_ && Clock::now() > answerBy) {
            why = "the server does not answer as an MQTT broker";
            return false;
        }
    }
}

std::string BrokerLink::failure(int rc, int error) const
{
    if (!alert_.empty()) return alert_;
    if (rc == MOSQ_ERR_TLS) return "TLS failed";
    return reasonOf(rc, error);
}

ssl_ctx_st *BrokerLink::tlsContext(std::string &why)
{
    ERR_clear_error();
    SSL_CTX *ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx) {
        why = "TLS cannot be set up: " + tlsReason();
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_default_passwd_cb(ctx, noPassphrase);
    SSL_CTX_set_ex_data(ctx, linkIndex(), this);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, onVerify);
    SSL_CTX_set_info_callback(ctx, onTlsInfo);
    // The certificate must be for the host connected to, by name or by address.
    X509_VERIFY_PARAM *param = SSL_CTX_get0_param(ctx);
    unsigned char address[16];
    if (inet_pton(AF_INET, settings_.host, address) == 1 ||
        inet_pton(AF_INET6, settings_.host, address) == 1) {
        X509_VERIFY_PARAM_set1_ip_asc(param, settings_.host);
    } else {
        X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        X509_VERIFY_PARAM_set1_host(param, settings_.host, 0);
    }

    auto fail = [&](const std::string &text) {
        why = text;
        SSL_CTX_free(ctx);
        return nullptr;
    };
    const std::string ca = settings_.cafile, cert = settings_.certfile, key = settings_.keyfile;
    if (!ca.empty()) {
        if (std::string r = unreadable(ca.c_str()); !r.empty())
            return fail("the CA file " + ca + ": " + r);
        if (SSL_CTX_load_verify_locations(ctx, ca.c_str(), nullptr) != 1)
            return fail("the CA file " + ca + " holds no certificate in PEM");
    } else if (SSL_CTX_set_default_verify_paths(ctx) != 1) {
        return fail("the system's CAs cannot be read: " + tlsReason());
    }
    if (!cert.empty()) {
        if (std::string r = unreadable(cert.c_str()); !r.empty())
            return fail("the certificate file " + cert + ": " + r);
        if (std::string r = unreadable(key.c_str()); !r.empty())
            return fail("the key file " + key + ": " + r);
        // The key first: a certificate that does not match it then leaves the check below to
        // say so.
        if (SSL_CTX_use_PrivateKey_file(ctx, key.c_str(), SSL_FILETYPE_PEM) != 1)
            return fail("the key file " + key + " holds no key in PEM without a passphrase");
        if (SSL_CTX_use_certificate_chain_file(ctx, cert.c_str()) != 1)
            return fail("the certificate file " + cert + " holds no certificate in PEM");
        if (SSL_CTX_check_private_key(ctx) != 1)
            return fail("the key file " + key + " holds another key than the certificate's");
    }
    return ctx;
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

int BrokerLink::onVerify(int ok, x509_store_ctx_st *store)
{
    if (ok) return 1;
    auto *ssl =
        static_cast<SSL *>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto *link =
        ssl ? static_cast<BrokerLink *>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), linkIndex()))
            : nullptr;
    // The first reason is the one to give; OpenSSL ends the handshake at it.
    if (link && link->untrusted_.empty()) {
        std::string why = X509_verify_cert_error_string(X509_STORE_CTX_get_error(store));
        if (X509 *cert = X509_STORE_CTX_get_current_cert(store))
            why += " (" + nameOf(X509_get_subject_name(cert)) + ", issued by " +
                   nameOf(X509_get_issuer_name(cert)) + ")";
        link->untrusted_ = why;
    }
    return 0;
}

void BrokerLink::onTlsInfo(const ssl_st *ssl, int where, int value)
{
    if (!(where & SSL_CB_ALERT) || (value >> 8) != SSL3_AL_FATAL) return;
    auto *link = static_cast<BrokerLink *>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), linkIndex()));
    if (!link) return;
    // The broker's alert says what it did not like; ours, what we did not.
    if (where & SSL_CB_READ)
        link->alert_ = "TLS failed, the broker says: " + alertWords(value);
    else if (link->alert_.empty())
        link->alert_ = "TLS failed: " + alertWords(value);
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
