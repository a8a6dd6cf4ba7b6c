// The third rung: the built simulator as a child process in place of the scripted sensor.
#pragma once

#include "sensor_fixture.h"

#include <QByteArray>
#include <QProcess>
#include <QStringList>

#include <memory>
#include <string>

namespace kivrel::test
{

// The simulator as a child process; its port becomes COM n while it lives.
class SimProcess
{
  public:
    explicit SimProcess(const QStringList &args)
    {
        process_.setProgram(QStringLiteral(KIVREL_SIM));
        process_.setArguments(args);
        process_.start();
        if (!process_.waitForStarted(5000)) return;
        QByteArray line;
        for (int i = 0; i < 100 && !line.contains('\n'); i++) {
            process_.waitForReadyRead(100);
            line += process_.readLine();
        }
        path_ = line.trimmed().toStdString();
    }
    ~SimProcess()
    {
        if (!stop()) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    // The port it serves, a pseudo-terminal.
    bool ok() const { return path_.starts_with("/dev/"); }
    const std::string &path() const { return path_; }
    void mapToCom(int n) { coms_.map(n, path_); }
    // Asks it to end as on shutdown; true once it has.
    bool stop()
    {
        if (process_.state() == QProcess::NotRunning) return true;
        process_.terminate();
        return process_.waitForFinished(5000);
    }
    // What it wrote on stderr so far (its --stats lines once it has stopped).
    QString errorOutput() { return QString::fromLocal8Bit(process_.readAllStandardError()); }
    // True once the simulator has ended by itself, with its exit code.
    bool ended(int *exitCode)
    {
        if (process_.state() != QProcess::NotRunning) process_.waitForFinished(0);
        if (process_.state() != QProcess::NotRunning) return false;
        *exitCode = process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
        return true;
    }

  private:
    QProcess process_;
    std::string path_;
    ComMapping coms_;
};

class SimTest : public SensorTest
{
  protected:
    void TearDown() override
    {
        SensorTest::TearDown();
        sim.reset();
    }
    // A simulator started with `args` becomes COM 1 in place of the scripted sensor (or of the
    // simulator before it).
    void startSim(const QStringList &args)
    {
        peer.reset();
        sim.reset();
        sim = std::make_unique<SimProcess>(args);
        ASSERT_TRUE(sim->ok()) << sim->path();
        sim->mapToCom(1);
    }

    std::unique_ptr<SimProcess> sim;
};

} // namespace kivrel::test
