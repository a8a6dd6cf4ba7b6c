#include "journalreader.h"

#include "journal.h"
#include "state.h"

#include <cstring>

namespace kivrel
{

const char JournalHeaderStart[] = "time,direction,target,port,device,";

// Up to the note: rows written before it, or before the outcome, do not say them.
enum { JournalFields = 25 };

// Splits a CSV line, quotes and all, into fields NUL-terminated in `out`. The number of fields,
// or -1 when a quote is not closed or stands inside a field.
static int SplitQuoted(const char *line, int length, char *out, const char *fields[], int max)
{
    int n = 0, i = 0, o = 0;
    for (;;) {
        if (n < max) fields[n] = out + o;
        if (i < length && line[i] == '"') {
            for (i++;; i++) {
                if (i >= length) return -1;
                if (line[i] == '"') {
                    if (i + 1 < length && line[i + 1] == '"') {
                        out[o++] = '"';
                        i++;
                        continue;
                    }
                    i++;
                    break;
                }
                out[o++] = line[i];
            }
            if (i < length && line[i] != ',') return -1;
        } else {
            for (; i < length && line[i] != ','; i++) {
                if (line[i] == '"') return -1;
                out[o++] = line[i];
            }
        }
        out[o++] = '\0';
        n++;
        if (i >= length) return n;
        i++; // the comma
    }
}

static void CopyText(char *to, int size, const char *from)
{
    int i = 0;
    for (; i < size - 1 && from[i]; i++)
        to[i] = from[i];
    to[i] = '\0';
}

static int ParseJournalRow(char *out, const char *line, int length, JournalRow *row)
{
    const char *f[JournalFields];
    const int n = SplitQuoted(line, length, out, f, JournalFields);
    if (n < 20) return -1;
    if (ParseTimeStamp(f[0], static_cast<int>(std::strlen(f[0])), &row->time) != 0) return -1;
    // The words the journal writes, and nothing else.
    static const int directions[] = {TRANSFER_READ, TRANSFER_WRITE};
    static const int targets[] = {RAM, EEPROM, DATFILE};
    row->direction = -1;
    for (int direction : directions)
        if (std::strcmp(f[1], JournalDirectionName(direction)) == 0) row->direction = direction;
    row->where = -1;
    for (int where : targets)
        if (std::strcmp(f[2], JournalTargetName(where)) == 0) row->where = where;
    if (row->direction < 0 || row->where < 0) return -1;
    // No port for a file; for the sensor the COM number, none when no number mapped its device.
    unsigned port = 0;
    const int portLength = static_cast<int>(std::strlen(f[3]));
    if (portLength != 0 &&
        (row->where == DATFILE || ParseUnsigned(f[3], portLength, 255u, &port) != 0 || port == 0))
        return -1;
    row->port = static_cast<int>(port);
    CopyText(row->device, sizeof row->device, f[4]);
    for (int i = 0; i < AnzPara; i++) {
        unsigned v = 0;
        if (ParseUnsigned(f[5 + i], static_cast<int>(std::strlen(f[5 + i])), 255u, &v) != 0)
            return -1;
        row->values[i] = static_cast<unsigned char>(v);
    }
    row->who[0] = row->user[0] = row->host[0] = row->program[0] = row->note[0] = '\0';
    if (n >= 22 && f[20][0]) {
        CopyText(row->who, sizeof row->who, f[20]);
        const int used = static_cast<int>(std::strlen(row->who));
        if (f[21][0] && used + 2 < static_cast<int>(sizeof row->who)) {
            row->who[used] = '@';
            CopyText(row->who + used + 1, static_cast<int>(sizeof row->who) - used - 1, f[21]);
        }
    }
    if (n >= 22) {
        CopyText(row->user, sizeof row->user, f[20]);
        CopyText(row->host, sizeof row->host, f[21]);
    }
    if (n >= 23) CopyText(row->program, sizeof row->program, f[22]);
    if (n >= 25) CopyText(row->note, sizeof row->note, f[24]);
    row->outcome = -1;
    for (int outcome = TRANSFER_READ; n >= 24 && outcome <= TRANSFER_VERIFY_FAILED; outcome++)
        if (std::strcmp(f[23], JournalOutcomeName(outcome)) == 0) row->outcome = outcome;
    return 0;
}

static void TakeJournalLine(void *owner, const char *line, int length, int overlong, int ended)
{
    JournalReader *r = static_cast<JournalReader *>(owner);
    if (length == 0 && !overlong) return;
    if (!overlong && StartsWith(line, length, JournalHeaderStart)) return;
    JournalRow row{};
    if (!ended || overlong || ParseJournalRow(r->fields, line, length, &row) != 0) {
        r->skipped++;
        return;
    }
    if (r->sink) r->sink(&row, r->sinkData);
}

void BeginJournalReading(JournalReader *reader, JournalRowSink sink, void *sinkData)
{
    reader->sink = sink;
    reader->sinkData = sinkData;
    reader->skipped = 0;
    BeginLines(&reader->splitter, TakeJournalLine, reader);
}

void FeedJournalReading(JournalReader *reader, const char *bytes, int count)
{
    if (count > 0) FeedLines(&reader->splitter, bytes, count);
}

int EndJournalReading(JournalReader *reader)
{
    EndLines(&reader->splitter);
    return reader->skipped;
}

} // namespace kivrel
