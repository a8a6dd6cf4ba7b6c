// The first rung: the program's real panel file, loaded offscreen with the program's own name
// table and the program state as at load; helpers that read the panel and act on it as the
// operator does.
#pragma once

#include "Kivrelv40.h"
#include "assistant.h"
#include "controls.h"
#include "marks.h"
#include "norms.h"
#include "recording.h"
#include "state.h"

#include "loop.h"
#include "graph.h"
#include "panel_p.h"
#include "userint.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QString>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace kivrel::test
{

// Copied beside the test executables at build time, as it is beside the program.
inline const char *kPanelFile = "Kivrelv40.uir";

// What the logic modules keep to themselves, back to how a fresh program has it: no
// recording, no NORM history, no jump buffer read. Every such reset belongs here.
inline void resetModuleState()
{
    kivrel::StopRecording();
    kivrel::ForgetNorms();
    kivrel::ForgetJumpBuffer();
    kivrel::ForgetSensorSet();
}

// Every state variable back to its value at program load.
inline void resetProgramState()
{
    using namespace kivrel;
    resetModuleState();
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

// The program's own folder, where the file dialogs start: a test's temporary folder.
inline void setProjectDir(const QString &dir)
{
    std::snprintf(kivrel::proj_dir, sizeof kivrel::proj_dir, "%s",
                  QFile::encodeName(dir).constData());
}

// Command buttons by their identifiers in the panel file.
enum {
    BUTTON_SEND = 3,
    BUTTON_GET = 4,
    BUTTON_GO = 5,
    BUTTON_STOP = 6,
    BUTTON_GETBUFF = 15,
    BUTTON_SUGGEST = 47
};

inline QWidget *window()
{
    return platform::panelWidget(kivrel::panel);
}
inline QWidget *widget(int id)
{
    return platform::controlWidget(kivrel::panel, id);
}
inline platform::GraphControl *graph(int id)
{
    return qobject_cast<platform::GraphControl *>(widget(id));
}
inline bool shown(int id)
{
    return widget(id) && !widget(id)->isHidden();
}
inline bool dimmed(int id)
{
    return widget(id) && !widget(id)->isEnabled();
}
inline QString label(int id)
{
    QLabel *l = platform::controlLabel(kivrel::panel, id);
    return l ? l->text() : QString("<no label>");
}
inline int intValue(int id)
{
    int v = -12345;
    EXPECT_EQ(GetCtrlVal(kivrel::panel, id, &v), 0) << "control " << id;
    return v;
}
inline int byteValue(int id)
{
    unsigned char v = 0;
    EXPECT_EQ(GetCtrlVal(kivrel::panel, id, &v), 0) << "control " << id;
    return v;
}
inline QString status()
{
    char text[256] = "";
    GetCtrlVal(kivrel::panel, PANEL_STATUS, text);
    return QString::fromLatin1(text);
}

// Operator actions on the real widgets.
inline void click(int id)
{
    QTest::mouseClick(widget(id), Qt::LeftButton);
}
inline void rightClick(int id)
{
    QTest::mouseClick(widget(id), Qt::RightButton);
}
inline void pressKey(Qt::Key key)
{
    QTest::keyClick(window(), key);
}
// Picks COM n in the port selector, which connects.
inline void pickPort(int n)
{
    auto *box = qobject_cast<QComboBox *>(widget(PANEL_COMPORT));
    const int index = box->findData(n);
    box->setCurrentIndex(index);
    Q_EMIT box->activated(index);
}

class PanelTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_NE(InitCVIRTE(nullptr, &kivrel::NameTable, nullptr), 0);
        resetProgramState();
        kivrel::panel = LoadPanel(0, kPanelFile, PANEL);
        ASSERT_GE(kivrel::panel, 0) << "panel file not found beside the test";
        window()->resize(window()->size()); // laid out as in the program
    }
    void TearDown() override
    {
        if (kivrel::panel >= 0) DiscardPanel(kivrel::panel);
        kivrel::panel = -1;
    }
};

} // namespace kivrel::test
