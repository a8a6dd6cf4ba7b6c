// src/publish: what a sensor publishes to an MQTT broker, and when; uses core, util, wire and
// history. The command line publishes with it; the panel could on the same code.
// The payloads: JSON in UTF-8, numbers with a point in every locale, times in ISO 8601 with
// milliseconds and the offset from UTC, as in recordings. Each writer returns the payload's
// length, or -1 when it does not fit in `size` bytes.
#ifndef KIVREL_PUBLISH_PAYLOADS_H
#define KIVREL_PUBLISH_PAYLOADS_H

namespace kivrel
{

// The members of the publisher's state that stay as they are, and the object's end:
// ,"port":3,"device":"ttyUSB2","host":...,"user":...,"program":...,"version":...}
int FormatStatusTail(char *text, int size, const char *version);
// {"state":"online","since":"2026-...", and the tail.
int FormatStatus(char *text, int size, const char *state, const char *since, const char *version);
// The record in the measurement variables by the recording's column names, `seconds` after
// the publisher started, with `seq` and `started` (the publisher's start).
int FormatLive(char *text, int size, double seconds, long seq, const char *started);
// A parameter set as read --json gives it, with `readAt`; with `eeprom` (for RAM) also the
// names of the parameters that differ from it, "differs_from_eeprom".
int FormatSet(char *text, int size, const unsigned char values[15], const char *memory,
              const char *readAt, const unsigned char *eeprom);
// The parameters in which `after` differs from `before`, each with both values.
int FormatChanged(char *text, int size, const char *memory, const char *when,
                  const unsigned char before[15], const unsigned char after[15]);

// What the publisher tells of its own health.
struct PublishHealth {
    long records;        // polled since the start
    long missed;         // requests without a reply
    long wrongLength;    // replies of another length than a record's
    double periodMs;     // the median period between records, < 0 while unknown
    double lastReplyAge; // seconds since the last reply, < 0 before the first
    long reconnects;     // connections to the broker after the first
    long dropped;        // records not published while the broker was away
};
int FormatHealth(char *text, int size, const PublishHealth *health, const char *started);

// The set a payload of FormatSet holds, into `values`: 0, or -1 when it holds no whole set.
int ParseSet(const char *payload, unsigned char values[15]);

} // namespace kivrel

#endif
