// kivrel-cli publish: the sensor's records, sets, health and state to an MQTT broker, until it is
// asked to end. The sensor is polled as watch polls it; what goes to the broker, and when, is
// src/publish's to decide.
#include "cli.h"

#include "journal.h"
#include "publish.h"
#include "state.h"
#include "transfer.h"

#include "cmdline.h"
#include "eventloop.h"
#include "formatio.h"
#include "rs232.h"
#include "utility.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef KIVREL_VERSION
#define KIVREL_VERSION "unknown"
#endif

namespace kivrel
{

// Every line names its sensor: eight publishers may share a terminal.
static void SayOnStderr(const char *line)
{
    FailAt(EXIT_OK, "%s", line);
}

// The account's password: the first line of `path` without its line end, into `password` (""
// for an empty line: the service's stand-in where no password file is given). EXIT_OK, or
// EXIT_USAGE after saying why.
static int ReadPasswordFile(const char *path, char *password, int size)
{
    const int file = OpenFile(path, VAL_READ_ONLY, 0, VAL_ASCII);
    if (file < 0)
        return Fail(EXIT_USAGE, "publish: --password-file %s: %s", path, GetFileErrorText());
    char text[1100];
    int n = 0;
    for (int got = 1; got > 0 && n < static_cast<int>(sizeof text); n += got)
        if ((got = ReadFile(file, text + n, static_cast<int>(sizeof text) - n)) < 0) {
            CloseFile(file);
            return Fail(EXIT_USAGE, "publish: --password-file %s: %s", path, GetFileErrorText());
        }
    CloseFile(file);
    const char *end = static_cast<const char *>(std::memchr(text, '\n', static_cast<size_t>(n)));
    int length = end ? static_cast<int>(end - text) : n;
    if (length > 0 && text[length - 1] == '\r') length--;
    if (length >= size)
        return Fail(EXIT_USAGE,
                    "publish: --password-file %s: a password of %d bytes at most, please", path,
                    size - 1);
    std::memcpy(password, text, static_cast<size_t>(length));
    password[length] = '\0';
    return EXIT_OK;
}

// The account and TLS's files into `s`: EXIT_OK, or EXIT_USAGE after saying why. A password
// comes from a file or the environment, never from the command line; it is read only for an
// account, so a service can hand over an empty one where it has none.
static int ReadAccountAndTls(PublishSettings *s)
{
    if (CmdLineIsSet("user")) {
        const char *user = CmdLineValue("user");
        if (!user[0] || std::strlen(user) >= sizeof s->user)
            return Fail(EXIT_USAGE, "publish: --user takes the account's name, 1 to %d bytes",
                        static_cast<int>(sizeof s->user) - 1);
        std::snprintf(s->user, sizeof s->user, "%s", user);
        const char *fromEnvironment = std::getenv("KIVREL_MQTT_PASSWORD");
        if (CmdLineIsSet("password-file")) {
            const int status =
                ReadPasswordFile(CmdLineValue("password-file"), s->password, sizeof s->password);
            if (status != EXIT_OK) return status;
        } else if (fromEnvironment) {
            if (std::strlen(fromEnvironment) >= sizeof s->password)
                return Fail(EXIT_USAGE, "publish: KIVREL_MQTT_PASSWORD: %d bytes at most, please",
                            static_cast<int>(sizeof s->password) - 1);
            std::snprintf(s->password, sizeof s->password, "%s", fromEnvironment);
        }
    }
    static const char *const files[] = {"cafile", "cert", "key"};
    char *const paths[] = {s->cafile, s->certfile, s->keyfile};
    for (int i = 0; i < 3; i++) {
        if (!CmdLineIsSet(files[i])) continue;
        if (!s->tls)
            return Fail(EXIT_USAGE, "publish: --%s is for a broker on TLS, mqtts://HOST[:PORT]",
                        files[i]);
        const char *path = CmdLineValue(files[i]);
        if (!path[0] || std::strlen(path) >= sizeof s->cafile)
            return Fail(EXIT_USAGE, "publish: --%s takes a file", files[i]);
        const int file = OpenFile(path, VAL_READ_ONLY, 0, VAL_ASCII);
        if (file < 0)
            return Fail(EXIT_USAGE, "publish: --%s %s: %s", files[i], path, GetFileErrorText());
        CloseFile(file);
        std::snprintf(paths[i], sizeof s->cafile, "%s", path);
    }
    if (CmdLineIsSet("cert") != CmdLineIsSet("key"))
        return Fail(EXIT_USAGE, "publish: --cert and --key go together: a client certificate "
                                "and its key");
    return EXIT_OK;
}

// The options into `s`: EXIT_OK, or EXIT_USAGE after saying why.
static int ReadOptions(PublishSettings *s)
{
    // A password given here would show in every user's ps.
    if (CmdLineIsSet("password"))
        return Fail(EXIT_USAGE, "publish: --password is not taken: a password on the command "
                                "line shows in every user's ps");
    if (!CmdLineIsSet("broker"))
        return Fail(EXIT_USAGE, "publish: --broker mqtt://HOST[:PORT], please");
    const char *url = CmdLineValue("broker");
    char why[160];
    if (ParseBrokerUrl(url, s->host, sizeof s->host, &s->port, &s->tls, why, sizeof why) != 0)
        return Fail(EXIT_USAGE, "publish: --broker %s: %s", url, why);
    std::snprintf(s->url, sizeof s->url, "%s://%s%s%s:%d", s->tls ? "mqtts" : "mqtt",
                  std::strchr(s->host, ':') ? "[" : "", s->host,
                  std::strchr(s->host, ':') ? "]" : "", s->port);
    if (const int status = ReadAccountAndTls(s); status != EXIT_OK) return status;
    const char *root = CmdLineIsSet("topic-root") ? CmdLineValue("topic-root") : "kivrel";
    if (root[0] == '$')
        return Fail(EXIT_USAGE,
                    "publish: --topic-root %s: topics beginning with $ are the "
                    "broker's own",
                    root);
    if (!TopicRootValid(root))
        return Fail(EXIT_USAGE,
                    "publish: --topic-root %s: one or more levels of 1 to 64 of A-Z, a-z, 0-9, "
                    "'.', '_' and '-', joined by '/'",
                    root);
    std::snprintf(s->root, sizeof s->root, "%s", root);
    if (CmdLineIsSet("name")) {
        if (!TopicNameValid(CmdLineValue("name")))
            return Fail(EXIT_USAGE,
                        "publish: --name %s: 1 to 64 of A-Z, a-z, 0-9, '.', '_' and '-'",
                        CmdLineValue("name"));
        std::snprintf(s->name, sizeof s->name, "%s", CmdLineValue("name"));
    }
    s->every = CmdLineIsSet("every") ? WholeOption("every", 1, 1000000) : 1;
    if (s->every < 0) return Fail(EXIT_USAGE, "publish: --every takes a whole number from 1");
    const double minutes =
        CmdLineIsSet("params-every") ? NumberOption("params-every", 0.1, 10080) : 10.0;
    if (minutes < 0)
        return Fail(EXIT_USAGE, "publish: --params-every takes minutes, from 0.1 to 10080");
    s->setsEvery = minutes * 60.0;
    s->version = KIVREL_VERSION;
    return EXIT_OK;
}

// A termination request ends a reply wait at once, not after its 3 s; so does a broker that
// refuses publishing.
static void StopPolling(void *)
{
    poll = 0;
}
static void StopPollingNow(void)
{
    poll = 0;
}

static int Refused(void)
{
    return PublishRefusal(nullptr, nullptr) != PUBLISH_GOING;
}

// Publishing cannot go on: one line saying why, and EXIT_REFUSED, since trying again cannot
// help; EXIT_OK while it can.
static int SayRefusal(const PublishSettings &s)
{
    int code = 0;
    const char *why = "";
    switch (PublishRefusal(&code, &why)) {
    case PUBLISH_ACCOUNT_REFUSED: {
        const char *words = code == 4 ? "bad user name or password" : "not authorised";
        if (s.user[0])
            return FailAt(EXIT_REFUSED, "%s: the broker refused the account %s: %s (CONNACK %d)",
                          s.url, s.user, words, code);
        return FailAt(EXIT_REFUSED,
                      "%s: the broker refused a publisher without an account: %s (CONNACK %d); "
                      "--user names one",
                      s.url, words, code);
    }
    case PUBLISH_UNTRUSTED:
        return FailAt(EXIT_REFUSED, "%s: the broker's certificate does not verify: %s", s.url, why);
    default: return EXIT_OK;
    }
}

static int KeepPublishing(double)
{
    PublishRecord();
    PublishTick();
    return PublishSetsDue() || Refused();
}

// EEPROM's set, then RAM's, into the arrays: RX_OK, or RX_FAILED with the read that failed in
// `what`. Nothing is written; pp is left holding RAM's set, which the polling telegrams carry,
// as after watch's read.
static int ReadSets(unsigned char ram[15], unsigned char eeprom[15], const char **what)
{
    target = EEPROM;
    const int rx = ReadPara();
    target = RAM;
    if (rx != RX_OK) {
        *what = "the EEPROM read";
        return rx;
    }
    std::memcpy(eeprom, pp, AnzPara);
    if (ReadPara() != RX_OK) {
        *what = "the RAM read";
        return RX_FAILED;
    }
    std::memcpy(ram, pp, AnzPara);
    return RX_OK;
}

// The journal's rows: for the reads at the start, then only for a set that changed, since a
// row for every periodic read would drown the journal.
static void JournalSets(const unsigned char ram[15], const unsigned char eeprom[15])
{
    static unsigned char last[2][AnzPara];
    static int haveLast;
    const unsigned char *sets[2] = {eeprom, ram};
    const int memories[2] = {EEPROM, RAM};
    unsigned char held[AnzPara];
    std::memcpy(held, pp, sizeof held);
    for (int m = 0; m < 2; m++) {
        if (haveLast && std::memcmp(last[m], sets[m], AnzPara) == 0) continue;
        std::memcpy(last[m], sets[m], AnzPara);
        std::memcpy(pp, sets[m], AnzPara);
        NoteJournal(JournalTransfer(TRANSFER_READ, memories[m]));
    }
    haveLast = 1;
    std::memcpy(pp, held, sizeof held);
}

// `seconds` with events processed, or until a termination request.
static void WaitAWhile(double seconds)
{
    const double end = Timer() + seconds;
    SetSpinDeadline(end);
    while (Timer() < end && !TerminationRequested() && !Refused())
        ProcessSystemEvents();
    SetSpinDeadline(-1.0);
}

// Opens the port again after a silence, where an adapter may have been pulled and plugged back
// in: 0, or -1 after waiting the retry's time (and saying why once, `*said`).
static int Reopen(int *said)
{
    if (OpenLine(com) >= 0) {
        *said = 0;
        return 0;
    }
    if (!*said) {
        char reason[256] = "";
        GetComOpenError(reason, sizeof reason);
        FailAt(EXIT_OK, "cannot open: %s; trying again every 3 s",
               reason[0] ? reason : OpenErrorText(ret));
        *said = 1;
    }
    WaitAWhile(TIMEOUT_REPLY);
    return -1;
}

int CmdPublish(void)
{
    PublishSettings s{};
    int status = ReadOptions(&s);
    if (status != EXIT_OK) return status;
    // A port that cannot be opened ends it, as every command; a sensor that does not answer
    // yet is asked again.
    status = Connect();
    if (status != EXIT_OK && status != EXIT_NO_REPLY) return status;
    if (!s.name[0]) DefaultTopicName(s.name, sizeof s.name);
    publishSays = SayOnStderr;
    publishRefused = StopPollingNow;
    const int started = PublishStart(&s, status == EXIT_OK);
    if (started != 0) return started == PUBLISH_BAD_TLS_FILES ? EXIT_USAGE : EXIT_NOT_KEPT;
    SetTerminationCallback(StopPolling, nullptr);

    int reopen = 0, openSaid = 0;
    while (!TerminationRequested() && !Refused()) {
        PublishTick();
        if (reopen && Reopen(&openSaid) != 0) continue;
        reopen = 0;
        if (PublishSetsDue()) {
            unsigned char ram[AnzPara], eeprom[AnzPara];
            const char *what = "";
            if (ReadSets(ram, eeprom, &what) != RX_OK) {
                PublishNoReply(what);
                reopen = 1;
                continue;
            }
            JournalSets(ram, eeprom);
            PublishSets(ram, eeprom);
        }
        if (PollRecords(0, 0, KeepPublishing) == RX_FAILED) {
            PublishNoReply("a measurement request");
            reopen = 1;
        }
    }
    SetTerminationCallback(nullptr, nullptr);
    PublishEnd();
    return SayRefusal(s);
}

} // namespace kivrel
