#include "columns.h"

#include "journal.h"
#include "state.h"

namespace kivrel
{

const char RecordingHeader[] =
    "time,seconds,dat0,dat1,norm,threshold,hysteresis,in0_period,active_window,edge_time,"
    "active_percent,edge_percent\n";

const char JournalHeader[] =
    "time,direction,target,port,device,threshold,hysteresis,power,pmod,hold,trigger,backlim,"
    "regcnt,average,deadtimemode,deadtime,outmode,trshmod,deltatrsh,frei15,user,host,program,"
    "outcome,note\n";

const char *JournalDirectionName(int direction)
{
    return direction == TRANSFER_READ ? "read" : "write";
}

const char *JournalOutcomeName(int outcome)
{
    switch (outcome) {
    case TRANSFER_READ: return "read";
    case TRANSFER_VERIFIED: return "written and verified";
    case TRANSFER_VERIFY_FAILED: return "verification failed";
    default: return "written without verification";
    }
}

const char *JournalTargetName(int where)
{
    return where == EEPROM ? "EEPROM" : where == DATFILE ? "FILE" : "RAM";
}

} // namespace kivrel
