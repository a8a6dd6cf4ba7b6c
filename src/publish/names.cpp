#include "names.h"

#include "state.h"

#include "broker.h"
#include "rs232.h"
#include "utility.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace kivrel
{

static int TopicCharacter(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-';
}

// The length of the level `text` begins with, up to a '/' or the end; 0 when it is no level.
static int LevelLength(const char *text)
{
    int n = 0;
    while (text[n] && text[n] != '/') {
        if (!TopicCharacter(text[n]) || n >= TopicLevelMax) return 0;
        n++;
    }
    return n;
}

int TopicNameValid(const char *name)
{
    const int n = LevelLength(name);
    return n > 0 && name[n] == '\0';
}

int TopicRootValid(const char *root)
{
    if (std::strlen(root) >= TopicRootMax) return 0;
    for (const char *p = root;; p++) {
        const int n = LevelLength(p);
        if (n == 0) return 0;
        p += n;
        if (*p == '\0') return 1;
    }
}

// `text` appended to `name` lower case, every character a topic level cannot hold as one '-'.
static void AppendTopicSafe(char *name, int size, const char *text)
{
    int n = static_cast<int>(std::strlen(name));
    for (const char *p = text; *p && n < size - 1; p++) {
        const char c = TopicCharacter(*p)
                           ? static_cast<char>(std::tolower(static_cast<unsigned char>(*p)))
                           : '-';
        if (c == '-' && (n == 0 || name[n - 1] == '-')) continue;
        name[n++] = c;
    }
    name[n] = '\0';
}

void DefaultTopicName(char *name, int size)
{
    char host[256], port[300];
    GetMachineName(host, sizeof host);
    ComName com_name{};
    GetComName(com, &com_name);
    if (com_name.number)
        std::snprintf(port, sizeof port, "com%d", com_name.number);
    else
        std::snprintf(port, sizeof port, "%s", com_name.device);
    char joined[TopicLevelMax + 1] = "";
    AppendTopicSafe(joined, sizeof joined, host);
    AppendTopicSafe(joined, sizeof joined, "-");
    AppendTopicSafe(joined, sizeof joined, port);
    int n = static_cast<int>(std::strlen(joined));
    while (n > 0 && joined[n - 1] == '-')
        joined[--n] = '\0';
    std::snprintf(name, static_cast<size_t>(size), "%s", n ? joined : "kivrel");
}

int ParseBrokerUrl(const char *url, char *host, int hostSize, int *port, int *tls, char *why,
                   int whySize)
{
    static const char plain[] = "mqtt://", secure[] = "mqtts://";
    static const char notOne[] = "not mqtt://HOST[:PORT] or mqtts://HOST[:PORT]";
    const size_t whyRoom = static_cast<size_t>(whySize);
    const int isTls = std::strncmp(url, secure, sizeof secure - 1) == 0;
    if (!isTls && std::strncmp(url, plain, sizeof plain - 1) != 0) {
        std::snprintf(why, whyRoom, "%s", notOne);
        return -1;
    }
    const char *p = url + (isTls ? sizeof secure : sizeof plain) - 1;
    if (std::strchr(p, '@')) {
        std::snprintf(why, whyRoom, "no user or password in the URL: every user sees it (ps)");
        return -1;
    }
    const char *end = nullptr; // one past the host
    const char *rest = nullptr;
    if (*p == '[') {
        end = std::strchr(p, ']');
        rest = end ? end + 1 : nullptr;
        p++;
    } else {
        end = p + std::strcspn(p, ":/?#");
        rest = end;
    }
    int ok = end && end > p && end - p < hostSize;
    for (const char *c = p; ok && c < end; c++)
        ok = std::isgraph(static_cast<unsigned char>(*c)) && !std::strchr("[]/?#", *c);
    long number = isTls ? BROKER_DEFAULT_TLS_PORT : BROKER_DEFAULT_PORT;
    if (ok && *rest == ':') {
        number = 0;
        ok = rest[1] != '\0';
        for (const char *c = rest + 1; ok && *c; c++) {
            ok = std::isdigit(static_cast<unsigned char>(*c)) && number <= 65535;
            number = number * 10 + (*c - '0');
        }
        ok = ok && number >= 1 && number <= 65535;
    } else if (ok) {
        ok = *rest == '\0';
    }
    if (!ok) {
        std::snprintf(why, whyRoom, "%s", notOne);
        return -1;
    }
    std::snprintf(host, static_cast<size_t>(hostSize), "%.*s", static_cast<int>(end - p), p);
    *port = static_cast<int>(number);
    *tls = isTls;
    return 0;
}

} // namespace kivrel
