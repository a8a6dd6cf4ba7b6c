// The built program as a process: what it sends first, and how it ends without its panel.
#include "sensor_fixture.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

using namespace kivrel::test;

TEST(Program, StartsWithTheLineCheckThenReadsTheParameters)
{
    SensorPeer peer;
    ASSERT_TRUE(peer.ok());
    peer.answer(7, Reply(kLineOk));
    peer.answer(3, Reply(Bytes(15, 42)));
    QProcess program;
    program.setProcessEnvironment(programEnvironment(peer));
    program.start(KIVREL_PROGRAM, {});
    ASSERT_TRUE(program.waitForStarted(5000));
    ASSERT_TRUE(peer.waitForTelegrams(2, milliseconds(10000)));
    const auto t = peer.telegrams();
    // Both carry 15 zero parameter bytes: nothing has filled pp yet.
    EXPECT_EQ(t[0].bytes, telegram(7, zeros(15)));
    EXPECT_EQ(t[1].bytes, telegram(3, zeros(15)));
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
