// The platform's panels without the program: a test panel file whose callbacks record every
// event, loaded with their name table.
#pragma once

#include "loop.h"

#include "cvirte.h"
#include "panel_p.h"
#include "userint.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QString>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace kivrel::test
{

struct Event {
    int panel;
    int control; // 0 for panel events
    int event;
    int data1;
    int data2;
};

inline std::vector<Event> &events()
{
    static std::vector<Event> e;
    return e;
}

// Run inside the callbacks after recording, when a test wants them to act.
inline std::function<void(int panel, int control, int event)> &onControl()
{
    static std::function<void(int, int, int)> f;
    return f;
}
inline std::function<void(int panel, int event)> &onPanel()
{
    static std::function<void(int, int)> f;
    return f;
}

inline int CtrlCb(int panel, int control, int event, void *, int data1, int data2)
{
    events().push_back({panel, control, event, data1, data2});
    if (onControl()) onControl()(panel, control, event);
    return 0;
}

inline int PanelCb(int panel, int event, void *, int data1, int data2)
{
    events().push_back({panel, 0, event, data1, data2});
    if (onPanel()) onPanel()(panel, event);
    return 0;
}

inline const CviNameTable &nameTable()
{
    // Sorted by name, byte order.
    static const CviNameEntry entries[] = {
        {"_CtrlCb", reinterpret_cast<const void *>(&CtrlCb), CVI_NAME_FUNCTION},
        {"_PanelCb", reinterpret_cast<const void *>(&PanelCb), CVI_NAME_FUNCTION},
    };
    static const CviNameTable table{entries, 2};
    return table;
}

// Control identifiers of tests/ui/data/testpanel.uir.
enum {
    kPanelId = 1,
    kByte = 2,
    kInt = 3,
    kSelector = 4,
    kToggle = 5,
    kCheck = 6,
    kCmdF8 = 7,
    kCmdF9 = 8,
    kLcd = 10,
    kStatus = 11,
    kTextLine = 12,
    kDecoration = 13,
    kPicture = 14,
    kGraph = 15,
    kIntIndicator = 16
};

// The copy beside the test executable, where a plain panel-file name finds it.
inline QString panelPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/testpanel.uir");
}

inline QByteArray panelText()
{
    QFile f(panelPath());
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

class UiTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(InitCVIRTE(nullptr, &nameTable(), nullptr));
        events().clear();
        onControl() = nullptr;
        onPanel() = nullptr;
        panel = LoadPanel(0, panelPath().toLocal8Bit().constData(), kPanelId);
        ASSERT_GE(panel, 1) << "loading " << panelPath().toStdString();
    }

    void TearDown() override
    {
        onControl() = nullptr;
        onPanel() = nullptr;
        if (panel > 0) DiscardPanel(panel);
        spin(0.005);
    }

    // Shows the panel and makes it the active window, as function keys need.
    void show()
    {
        ASSERT_EQ(DisplayPanel(panel), 0);
        QWidget *w = kivrel::platform::panelWidget(panel);
        ASSERT_TRUE(w);
        ASSERT_TRUE(spinUntil([w] { return w->isActiveWindow(); }));
    }

    QWidget *widget(int control) { return kivrel::platform::controlWidget(panel, control); }

    int panel = -1;
};

} // namespace kivrel::test
