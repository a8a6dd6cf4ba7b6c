// The real panel file with the program's own callbacks, for tests of the program's logic.
#pragma once

#include "Kivrelv40.h"
#include "controls.h"
#include "state.h"

#include "popup_helper.h"
#include "ui_panel_p.h"
#include "userint.h"

#include <QLabel>
#include <QString>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstring>

namespace apptest
{

// The panel file and bitmaps are copied beside the test executables at build time, as they
// are beside the program.
inline const char *kPanelFile = "Kivrelv40.uir";

// Every state variable back to its value at program load.
inline void resetProgramState()
{
    using namespace kivrel;
    com = 0;
    kivrel::sync = 0;
    order = 0;
    target = 0;
    kivrel::poll = 0;
    source = 0;
    para = 0;
    proj_dir[0] = file_name[0] = szStatus[0] = '\0';
    tstart = tdiff = 0.0;
    nBytesW = nBytesR = ret = 0;
    std::memset(pp, 0, sizeof pp);
    std::memset(databuf, 0, sizeof databuf);
    std::memset(szWriteBuf, 0, sizeof szWriteBuf);
    std::memset(szReadBuf, 0, sizeof szReadBuf);
    std::memset(jumpbuf, 0, sizeof jumpbuf);
    std::memset(alldata, 0, sizeof alldata);
    CopyPPtoVars();
    CopyDatatoVars();
}

class PanelTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_NE(InitCVIRTE(nullptr, &kivrel::NameTable, nullptr), 0);
        resetProgramState();
        kivrel::panel = LoadPanel(0, kPanelFile, kivrel::PANEL);
        ASSERT_GE(kivrel::panel, 0) << "panel file not found beside the test";
        window()->resize(window()->size()); // laid out as in the program
    }
    void TearDown() override
    {
        if (kivrel::panel >= 0) DiscardPanel(kivrel::panel);
        kivrel::panel = -1;
    }

    static QWidget *window() { return kivrel::platform::panelWidget(kivrel::panel); }
    static QWidget *widget(int id) { return kivrel::platform::controlWidget(kivrel::panel, id); }
    static bool shown(int id) { return widget(id) && !widget(id)->isHidden(); }
    static bool dimmed(int id) { return widget(id) && !widget(id)->isEnabled(); }
    static QString label(int id)
    {
        QLabel *l = kivrel::platform::controlLabel(kivrel::panel, id);
        return l ? l->text() : QString("<no label>");
    }
    static int intValue(int id)
    {
        int v = -12345;
        EXPECT_EQ(GetCtrlVal(kivrel::panel, id, &v), 0) << "control " << id;
        return v;
    }
    static int byteValue(int id)
    {
        unsigned char v = 0;
        EXPECT_EQ(GetCtrlVal(kivrel::panel, id, &v), 0) << "control " << id;
        return v;
    }
    static QString status()
    {
        char text[256] = "";
        GetCtrlVal(kivrel::panel, kivrel::PANEL_STATUS, text);
        return QString::fromLatin1(text);
    }
};

} // namespace apptest
