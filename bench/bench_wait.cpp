// CPU and latency of the logic's way of waiting for the sensor.
//
//   silent wait   one WaitRxBuf of 3 s against a peer that never answers
//   latency       byte written on the master until GetInQLen sees it in the logic's spin
//   busy spin     the same 3 s with processEvents() that never sleeps, for comparison
#include "loop.h"
#include "sensor_peer.h"

#include "com232.h"
#include "cvirte.h"
#include "rs232.h"
#include "state.h"
#include "userint.h"
#include "utility.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

using namespace kivrel::test;
using namespace std::chrono_literals;

namespace
{

constexpr int Com = 11;

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * double(v.size() - 1) + 0.5));
    return v[i];
}

void silentWait()
{
    kivrel::order = kivrel::ORDER_GET_RAM;
    kivrel::SendTelegram(1);
    const double t0 = Timer();
    const double c0 = cpuSeconds();
    const int r = kivrel::WaitRxBuf(kivrel::AnzPara, 3.0, 0);
    const double cpu = cpuSeconds() - c0;
    std::printf("silent wait      : %.3f s wall, %.1f ms CPU (%.1f%% of a core), result %d\n",
                Timer() - t0, cpu * 1000, cpu / 3.0 * 100, r);

    // How often the logic's loop turns while nothing arrives.
    long turns = 0;
    const double t1 = Timer();
    const double c1 = cpuSeconds();
    while (Timer() - t1 < 1.0) {
        ProcessSystemEvents();
        (void)GetInQLen(Com);
        ++turns;
    }
    const double cpu1 = cpuSeconds() - c1;
    std::printf("idle spin        : %ld turns/s, %.1f us CPU per turn\n", turns,
                cpu1 * 1e6 / double(std::max(turns, 1L)));
}

void latency(SensorPeer &peer)
{
    std::vector<double> us;
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> pause(0, 3000);
    unsigned char sink[64];
    for (int i = 0; i < 100; ++i) {
        FlushInQ(Com);
        const int before = GetInQLen(Com);
        // Land the byte anywhere in the tick's millisecond.
        std::thread sender([&peer, &pause, &rng] {
            std::this_thread::sleep_for(std::chrono::microseconds(pause(rng)));
            peer.send({static_cast<unsigned char>(0xA5)});
        });
        const double t0 = Timer();
        while (GetInQLen(Com) <= before && Timer() - t0 < 2.0)
            ProcessSystemEvents();
        const auto seen = std::chrono::steady_clock::now();
        sender.join();
        peer.waitUntilSent(1000ms);
        us.push_back(
            std::chrono::duration<double, std::micro>(seen - peer.lastWriteTime()).count());
        ComRd(Com, sink, GetInQLen(Com));
    }
    std::printf("byte to GetInQLen: median %.0f us, p99 %.0f us, max %.0f us (%zu bytes)\n",
                percentile(us, 0.5), percentile(us, 0.99), percentile(us, 1.0), us.size());
}

void busySpin()
{
    const double t0 = Timer();
    const double c0 = cpuSeconds();
    long turns = 0;
    while (Timer() - t0 <= 3.0) {
        QCoreApplication::processEvents();
        (void)GetInQLen(Com);
        ++turns;
    }
    const double cpu = cpuSeconds() - c0;
    std::printf("busy spin        : %.3f s wall, %.1f ms CPU (%.1f%% of a core), %ld turns\n",
                Timer() - t0, cpu * 1000, cpu / 3.0 * 100, turns);
}

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    CviInstance instance{&argc, argv};
    if (!InitCVIRTE(&instance, nullptr, nullptr)) return 2;
    int status = 0;
    {
        SensorPeer peer;
        peer.mapToCom(Com);
        if (!peer.ok() || OpenComConfig(Com, "", 4800, 0, 8, 1, 1024, 1024) != 0) {
            std::fprintf(stderr, "cannot open the peer's line\n");
            status = 1;
        } else {
            kivrel::com = Com;
            kivrel::sync = 0x55;
            silentWait();
            latency(peer);
            busySpin();
            CloseCom(Com);
        }
    }
    CloseCVIRTE();
    return status;
}
