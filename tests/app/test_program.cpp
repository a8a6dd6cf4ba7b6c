// The built program as a process: what it sends first, and how it ends without its panel.
#include "sensor_peer.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using kivrel::test::Bytes;
using kivrel::test::Reply;
using kivrel::test::SensorPeer;
using std::chrono::milliseconds;

namespace
{

QProcessEnvironment programEnvironment(const SensorPeer &peer)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("KIVREL_COM1", QString::fromStdString(peer.slavePath()));
    return env;
}

} // namespace

TEST(Program, StartsWithTheLineCheckThenReadsTheParameters)
{
    SensorPeer peer;
    ASSERT_TRUE(peer.ok());
    peer.answer(7, Reply({0xAA, 0x04, 0x00}));
    peer.answer(3, Reply(Bytes(15, 42)));
    QProcess program;
    program.setProcessEnvironment(programEnvironment(peer));
    program.start(KIVREL_PROGRAM, {});
    ASSERT_TRUE(program.waitForStarted(5000));
    ASSERT_TRUE(peer.waitForTelegrams(2, milliseconds(10000)));
    const auto t = peer.telegrams();
    // Both carry 15 zero parameter bytes: nothing has filled pp yet.
    Bytes first(17, 0), second(17, 0);
    first[0] = second[0] = 0x55;
    first[1] = 0x07;
    second[1] = 0x03;
    EXPECT_EQ(t[0].bytes, first);
    EXPECT_EQ(t[1].bytes, second);
    EXPECT_EQ(program.state(), QProcess::Running);
    // A termination request closes the panel the program's own way: exit status 0.
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(5000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

TEST(Program, WithoutItsPanelFileEndsWithMinusOneAndOpensNoPort)
{
    SensorPeer peer;
    ASSERT_TRUE(peer.ok());
    QTemporaryDir dir;
    const QString copy = dir.filePath("kivrel");
    ASSERT_TRUE(QFile::copy(KIVREL_PROGRAM, copy));
    QProcess program;
    program.setProcessEnvironment(programEnvironment(peer));
    program.setWorkingDirectory(dir.path());
    program.start(copy, {});
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 255);
    EXPECT_TRUE(peer.received().empty());
    EXPECT_TRUE(program.readAllStandardOutput().isEmpty());
}
