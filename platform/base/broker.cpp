// The broker's connection as the logic calls it: one at a time.
#include "broker.h"
#include "brokerlink_p.h"

#include <string>

using kivrel::platform::BrokerLink;

namespace
{

BrokerLink *current = nullptr; // the one connection
std::string startError;

} // namespace

int BrokerStart(const BrokerSettings *settings, BrokerCallbackPtr callback, void *callbackData)
{
    if (!settings || !callback || current) {
        startError = current ? "a connection is running already" : "no settings";
        return -1;
    }
    auto created = std::make_unique<BrokerLink>(*settings, callback, callbackData);
    if (const int rc = created->start(startError); rc != 0) return rc;
    current = created.release();
    return 0;
}

int BrokerPublish(const char *topic, const char *payload, int length, int qos, int retain)
{
    return current ? current->publish(topic, payload, length, qos, retain != 0) : -1;
}

int BrokerSubscribe(const char *topic, int qos)
{
    return current ? current->subscribe(topic, qos) : -1;
}

int BrokerUnsubscribe(const char *topic)
{
    return current ? current->unsubscribe(topic) : -1;
}

void BrokerStop(double seconds)
{
    if (!current) return;
    // A thread still in a name lookup keeps its link; it ends by itself once the lookup returns.
    if (current->stop(seconds)) delete current;
    current = nullptr;
}

const char *BrokerError(void)
{
    return startError.c_str();
}
