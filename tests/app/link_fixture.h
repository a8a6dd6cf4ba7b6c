// The real panel with a scripted sensor on COM 1 and a popup recorder.
#pragma once

#include "app_fixture.h"

#include "com232.h"
#include "sensor.h"

#include "rs232.h"
#include "sensor_peer.h"
#include "utility.h"

#include <QTimer>

#include <algorithm>
#include <functional>

namespace apptest
{

using kivrel::test::Bytes;
using kivrel::test::Reply;
using kivrel::test::SensorPeer;

inline Bytes telegram(int order, const unsigned char *params)
{
    Bytes t(17);
    t[0] = 0x55;
    t[1] = static_cast<unsigned char>(order);
    std::copy(params, params + kivrel::AnzPara, t.begin() + 2);
    return t;
}

inline Bytes zeros(int n)
{
    return Bytes(static_cast<std::size_t>(n), 0);
}

inline Bytes sequence(int n, int first)
{
    Bytes b;
    for (int i = 0; i < n; i++)
        b.push_back(static_cast<unsigned char>(first + i));
    return b;
}

// Runs `f` once, `ms` milliseconds from now, inside whatever loop processes events then.
inline void later(int ms, std::function<void()> f)
{
    QTimer::singleShot(ms, std::move(f));
}

// Spins the event loop the way the program's waits do, for `seconds`.
inline void spin(double seconds)
{
    const double start = Timer();
    while (Timer() - start < seconds)
        ProcessSystemEvents();
}

class LinkTest : public PanelTest
{
  protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        ASSERT_TRUE(peer.ok());
        peer.mapToCom(1);
        kivrel::InitVars();
        popups.clear(); // nothing before this point is the test's
    }
    void TearDown() override
    {
        kivrel::poll = 0;
        CloseCom(kivrel::com);
        PanelTest::TearDown();
    }

    // Opens COM 1 and runs the line check with a sensor that answers it and the read.
    void connect(const Bytes &params)
    {
        peer.answer(7, Reply({0xAA, 0x04, 0x00}));
        peer.answer(kivrel::target == kivrel::EEPROM ? 4 : 3, Reply(params));
        kivrel::InitRS232(kivrel::com);
        ASSERT_TRUE(peer.waitForTelegrams(2, std::chrono::milliseconds(2000)));
        ASSERT_EQ(popups.count(), 0);
        peer.clearReceived();
    }

    int timeoutReports() const
    {
        int n = 0;
        for (const RecordedPopup &p : popups.popups())
            n += p.title == "INFO" &&
                 p.text == " ATTENTION! \n \n TIMEOUT \n NO SERIAL CONNECTION TO SENSOR";
        return n;
    }

    SensorPeer peer;
    PopupRecorder popups;
};

} // namespace apptest
