#include "viewalone.h"

#include "recordingview.h"
#include "state.h"

#include "cvirte.h"
#include "userint.h"
#include "utility.h"

namespace kivrel
{

int ViewRecordingAlone(void *hInstance, const char *path)
{
    if (InitCVIRTE(hInstance, nullptr, nullptr) == 0) return -1;
    GetProjectDir(proj_dir);
    RecordingViewAlone(1);
    OpenRecordingView(path);
    const int rc = RecordingView() < 0 ? -1 : 0;
    if (rc == 0) RunUserInterface();
    CloseRecordingView();
    RecordingViewAlone(0);
    return rc;
}

} // namespace kivrel
