#include "transfers.h"

#include "controls.h"
#include "keep.h"
#include "marks.h"
#include "norms.h"
#include "runhistory.h"
#include "setreview.h"
#include "state.h"

#include "userint.h"

#include <cstdio>

namespace kivrel
{

static int journalFailing; // the status line has said the journal cannot be written

void NoteTransfer(int direction, int where)
{
    if (where == DATFILE) {
        // A file is not the sensor: a loaded set shows as edits not yet sent.
        MarkUnsentEdits();
    } else {
        RememberSensorSet();
        if (direction == TRANSFER_WRITE) ForgetNorms(); // measured with the old set
        CompareRamWithEeprom(direction, where);
    }
    NoteHistoryTransfer(direction, where);
    if (JournalTransfer(direction, where) == 0) {
        journalFailing = 0;
    } else if (!journalFailing) {
        // Once, until the journal takes a row again; stderr has every failure.
        char text[sizeof szKeepError + 32];
        std::snprintf(text, sizeof text, "Journal not written: %s", szKeepError);
        SetCtrlVal(panel, PANEL_STATUS, text);
        journalFailing = 1;
    }
}

} // namespace kivrel
