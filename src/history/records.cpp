#include "records.h"

#include "csv.h"
#include "measure.h"
#include "numbers.h"
#include "state.h"

#include <cstdio>

namespace kivrel
{

// The record's values beyond time and seconds, as both formats take them.
struct RecordValues {
    unsigned adjedge, adjin0, adjin1;
    int havePeriod;
    unsigned activePercent, edgePercent;
};

static RecordValues ValuesOf(unsigned adjin0, unsigned adjin1, unsigned adjedge)
{
    RecordValues v{};
    v.adjedge = adjedge;
    v.adjin0 = adjin0;
    v.adjin1 = adjin1;
    // The percentages as the displays compute them; none without an IN0 period.
    v.havePeriod = v.adjin0 != 0;
    if (v.havePeriod) {
        v.activePercent = PercentOfIn0(v.adjin1, v.adjin0);
        v.edgePercent = PercentOfIn0(v.adjedge, v.adjin0);
    }
    return v;
}

static RecordValues Values(void)
{
    return ValuesOf(Word(dataAdjin0L, dataAdjin0H), Word(dataAdjin1L, dataAdjin1H),
                    Word(dataAdjedgeL, dataAdjedgeH));
}

static int Fitted(int n, int size)
{
    return n >= 0 && n < size ? n : -1;
}

int FormatRecRow(char *row, int size, const char *stamp, double seconds, const RecRow *r)
{
    const RecordValues v = ValuesOf(r->in0Period, r->activeWindow, r->edgeTime);
    char percents[24] = ",";
    char secs[32];

    FormatDecimal(secs, sizeof secs, seconds, 3);
    if (v.havePeriod)
        std::snprintf(percents, sizeof percents, "%u,%u", v.activePercent, v.edgePercent);
    return Fitted(std::snprintf(row, static_cast<size_t>(size),
                                "%s,%s,%u,%u,%u,%u,%u,%u,%u,%u,%s\n", stamp, secs, r->dat0, r->dat1,
                                r->norm, r->threshold, r->hysteresis, v.adjin0, v.adjin1, v.adjedge,
                                percents),
                  size);
}

int FormatRecordRow(char *row, int size, double seconds)
{
    const RecordValues v = Values();
    RecRow r{};
    char stamp[40];

    CsvTimeStamp(stamp, sizeof stamp);
    r.dat0 = dataDat0;
    r.dat1 = dataDat1;
    r.norm = dataNorm;
    r.threshold = dataTrshWork;
    r.hysteresis = dataHystWork;
    r.in0Period = v.adjin0;
    r.activeWindow = v.adjin1;
    r.edgeTime = v.adjedge;
    return FormatRecRow(row, size, stamp, seconds, &r);
}

int FormatRecordJson(char *line, int size, double seconds)
{
    const RecordValues v = Values();
    char stamp[40];
    char percents[64] = "\"active_percent\":null,\"edge_percent\":null";
    char secs[32];

    CsvTimeStamp(stamp, sizeof stamp);
    FormatDecimal(secs, sizeof secs, seconds, 3);
    if (v.havePeriod)
        std::snprintf(percents, sizeof percents, "\"active_percent\":%u,\"edge_percent\":%u",
                      v.activePercent, v.edgePercent);
    return Fitted(
        std::snprintf(line, static_cast<size_t>(size),
                      "{\"time\":\"%s\",\"seconds\":%s,\"dat0\":%u,\"dat1\":%u,\"norm\":%u,"
                      "\"threshold\":%u,\"hysteresis\":%u,\"in0_period\":%u,"
                      "\"active_window\":%u,\"edge_time\":%u,%s}\n",
                      stamp, secs, dataDat0, dataDat1, dataNorm, dataTrshWork, dataHystWork,
                      v.adjin0, v.adjin1, v.adjedge, percents),
        size);
}

} // namespace kivrel
