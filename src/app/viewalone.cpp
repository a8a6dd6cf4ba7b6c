#include "viewalone.h"

#include "keep.h"
#include "recordingview.h"
#include "state.h"

#include "cvirte.h"
#include "formatio.h"
#include "timeview.h"
#include "userint.h"
#include "utility.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

namespace kivrel
{

// A path that names nothing is told, whole, before any window opens. 0, or -1.
static int CheckExists(const char *path)
{
    long size = 0;
    if (GetFileSize(path, &size) == 0) return 0;
    char absolute[MAX_PATHNAME_LEN];
    GetAbsolutePath(path, absolute, sizeof absolute);
    std::fprintf(stderr, "kivrel: no such file: %s\n", absolute);
    std::fflush(stderr);
    return -1;
}

static int EndsWith(const char *text, const char *end)
{
    const size_t n = std::strlen(text), m = std::strlen(end);
    return n > m && strcasecmp(text + n - m, end) == 0;
}

// The recording's export without a window: written, or one line on stderr saying why not.
static int ExportAlone(const char *path, const char *exportTo)
{
    char why[4096] = "";
    int rows = 0;
    if (!EndsWith(exportTo, ".pdf") && !EndsWith(exportTo, ".png") && !EndsWith(exportTo, ".csv"))
        std::snprintf(why, sizeof why, "name it .pdf, .png or .csv");
    else if ((rows = ReadRecordingNow(path)) < 0)
        return 1;       // the reader has said why
    else if (rows == 0) // a blank page filed without a word would pass for a report
        std::snprintf(why, sizeof why, "%s holds no rows", path);
    else if (ExportTimeView(RecordingView(), exportTo) == 0)
        return 0;
    else // the span's writer keeps its reason, pictures and pages the file services'
        std::snprintf(why, sizeof why, "%s",
                      EndsWith(exportTo, ".csv") ? szKeepError : GetFileErrorText());
    std::fprintf(stderr, "kivrel: not exported: %s: %s\n", exportTo, why);
    std::fflush(stderr);
    return 1;
}

int ViewRecordingAlone(void *hInstance, const char *path, const char *exportTo)
{
    if (CheckExists(path) != 0) return 1;
    if (InitCVIRTE(hInstance, nullptr, nullptr) == 0) return -1;
    GetProjectDir(proj_dir);
    RecordingViewAlone(1);
    int rc = 0;
    if (exportTo) {
        keepSaysWhy = 0; // the one line below says it
        rc = ExportAlone(path, exportTo);
    } else {
        OpenRecordingView(path);
        rc = RecordingView() < 0 ? -1 : 0;
        if (rc == 0) RunUserInterface();
    }
    CloseRecordingView();
    RecordingViewAlone(0);
    return rc;
}

} // namespace kivrel
