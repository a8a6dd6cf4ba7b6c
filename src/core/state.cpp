#include "state.h"

namespace kivrel
{

int com;
unsigned char sync;
unsigned char order;
int target;
int poll;
int source;
unsigned char para;
int panel;
char proj_dir[260];
char file_name[260];
char szStatus[64];
double tstart;
double tdiff;
int nBytesW;
int nBytesR;
int ret;

unsigned char pp[AnzPara];
unsigned char databuf[AnzData];
unsigned char szWriteBuf[1024];
unsigned char szReadBuf[1024];
unsigned char jumpbuf[16];
double alldata[500];

unsigned char threshold, hysteresis, power, pmod, hold, trigger, backlim, regcnt, average,
    deadtimemode, deadtime, outmode, trshmod, deltatrsh, frei15;

unsigned char dataDat0, dataDat1, dataNorm, dataAdjedgeL, dataAdjedgeH, dataAdjin0L, dataAdjin0H,
    dataAdjin1L, dataAdjin1H, dataTrshWork, dataHystWork;

// Wire index i of the parameter set and of the measurement record is entry i of these.
static unsigned char *const paraVars[AnzPara] = {
    &threshold, &hysteresis,   &power,    &pmod,    &hold,    &trigger,   &backlim, &regcnt,
    &average,   &deadtimemode, &deadtime, &outmode, &trshmod, &deltatrsh, &frei15};

static unsigned char *const dataVars[AnzData] = {
    &dataDat0,    &dataDat1,    &dataNorm,    &dataAdjedgeL, &dataAdjedgeH, &dataAdjin0L,
    &dataAdjin0H, &dataAdjin1L, &dataAdjin1H, &dataTrshWork, &dataHystWork};

void CopyVarsToPP(void)
{
    for (int i = 0; i < AnzPara; i++)
        pp[i] = *paraVars[i];
}

void CopyPPtoVars(void)
{
    for (int i = 0; i < AnzPara; i++)
        *paraVars[i] = pp[i];
}

void CopyDatatoVars(void)
{
    for (int i = 0; i < AnzData; i++)
        *dataVars[i] = databuf[i];
}

} // namespace kivrel
