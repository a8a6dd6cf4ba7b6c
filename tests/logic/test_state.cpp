// Program state: wire order of the copy routines and the 16-bit pairs.
#include "state.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace kivrel;

TEST(ProgramState, ParameterSetRoundTripsInWireOrder)
{
    for (int i = 0; i < AnzPara; i++)
        pp[i] = static_cast<unsigned char>(i + 1);
    CopyPPtoVars();
    const unsigned char vars[AnzPara] = {threshold, hysteresis, power,   pmod,      hold,
                                         trigger,   backlim,    regcnt,  average,   deadtimemode,
                                         deadtime,  outmode,    trshmod, deltatrsh, frei15};
    for (int i = 0; i < AnzPara; i++)
        EXPECT_EQ(vars[i], i + 1) << "wire index " << i;

    std::memset(pp, 0, sizeof pp);
    CopyVarsToPP();
    for (int i = 0; i < AnzPara; i++)
        EXPECT_EQ(pp[i], i + 1) << "wire index " << i;
}

TEST(ProgramState, MeasurementRecordUnpacksInWireOrder)
{
    const unsigned char record[AnzData] = {200,  55,   201,  0x3C, 0x00, 0x34,
                                           0x12, 0x78, 0x00, 90,   110};
    std::memcpy(databuf, record, sizeof record);
    CopyDatatoVars();
    EXPECT_EQ(dataDat0, 200);
    EXPECT_EQ(dataDat1, 55);
    EXPECT_EQ(dataNorm, 201);
    EXPECT_EQ(dataAdjedgeL, 0x3C);
    EXPECT_EQ(dataAdjedgeH, 0x00);
    EXPECT_EQ(dataAdjin1L, 0x78);
    EXPECT_EQ(dataAdjin1H, 0x00);
    EXPECT_EQ(dataTrshWork, 90);
    EXPECT_EQ(dataHystWork, 110);
    EXPECT_EQ(dataAdjin0L + 256u * dataAdjin0H, 0x1234u);
}

TEST(ProgramState, ConstantsAndBufferSizes)
{
    EXPECT_EQ(AnzPara, 15);
    EXPECT_EQ(AnzData, 11);
    EXPECT_EQ(RAM, 1);
    EXPECT_EQ(EEPROM, 2);
    EXPECT_EQ(DATFILE, 3);
    EXPECT_EQ(sizeof szWriteBuf, 1024u);
    EXPECT_EQ(sizeof szReadBuf, 1024u);
    EXPECT_EQ(sizeof alldata / sizeof alldata[0], 500u);
    EXPECT_EQ(sizeof szStatus, 64u);
    EXPECT_EQ(sizeof proj_dir, 260u);
}
