#include "recload.h"

#include "formatio.h"
#include "utility.h"

namespace kivrel
{

int BeginRecordingLoad(RecordingLoad *load, const char *path, RecRowSink sink, void *sinkData)
{
    EndRecordingLoad(load, nullptr);
    load->file = OpenFile(path, VAL_READ_ONLY, 0, VAL_ASCII);
    if (load->file < 0) return -1;
    load->size = 0;
    GetFileSize(path, &load->size);
    load->read = 0;
    BeginRecReading(&load->reader, sink, sinkData);
    return 0;
}

int RecordingLoadOpen(const RecordingLoad *load)
{
    return load->file >= 0;
}

int ContinueRecordingLoad(RecordingLoad *load, double seconds)
{
    if (load->file < 0) return 0;
    const double start = Timer();
    int n = 0;
    do {
        n = RecReadingRefused(&load->reader)
                ? 0
                : ReadFile(load->file, load->chunk, sizeof load->chunk);
        if (n > 0) {
            FeedRecReading(&load->reader, load->chunk, n);
            load->read += n;
        }
    } while (n > 0 && Timer() - start < seconds);
    return n > 0 ? 1 : n;
}

int RecordingLoadPercent(const RecordingLoad *load)
{
    return load->size > 0 ? static_cast<int>(100.0 * double(load->read) / double(load->size)) : 0;
}

void EndRecordingLoad(RecordingLoad *load, RecTally *tally)
{
    if (load->file < 0) return;
    CloseFile(load->file);
    load->file = -1;
    RecTally ignored{};
    EndRecReading(&load->reader, tally ? tally : &ignored);
}

} // namespace kivrel
