// Parameter files: the text the writer produces and what the reader accepts or refuses.
#include "formatio.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <array>

#include <csignal>
#include <sys/resource.h>

namespace
{

using Bytes = std::array<unsigned char, 15>;

class ParaFileIo : public ::testing::Test
{
  protected:
    QTemporaryDir dir;
    QByteArray path(const char *name) const { return QFile::encodeName(dir.filePath(name)); }
    QByteArray write(const char *name, const QByteArray &text) const
    {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return path(name);
    }
    static int save(const QByteArray &p, const Bytes &b)
    {
        return ArrayToFile(p.constData(), b.data(), 8, 15, 1, 0, 0, 0, 4, 1, 0);
    }
    static int load(const QByteArray &p, Bytes &b)
    {
        return FileToArray(p.constData(), b.data(), 8, 15, 1, 0, 0, 1);
    }
};

const Bytes kSet{0, 1, 2, 9, 10, 99, 100, 128, 200, 254, 255, 46, 17, 3, 77};

} // namespace

TEST_F(ParaFileIo, WriterUsesFourCharacterFieldsOnePerLine)
{
    const QByteArray p = path("init.dat");
    ASSERT_EQ(save(p, kSet), 0);
    QFile f(QFile::decodeName(p));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("   0\n   1\n   2\n   9\n  10\n  99\n 100\n 128\n 200\n"
                                      " 254\n 255\n  46\n  17\n   3\n  77\n"));
    Bytes back{};
    ASSERT_EQ(load(p, back), 0);
    EXPECT_EQ(back, kSet);
}

TEST_F(ParaFileIo, SavingTwiceKeepsOnlyTheSecondSet)
{
    const QByteArray p = path("twice.dat");
    Bytes second{};
    second.fill(42);
    ASSERT_EQ(save(p, kSet), 0);
    ASSERT_EQ(save(p, second), 0);
    Bytes back{};
    ASSERT_EQ(load(p, back), 0);
    EXPECT_EQ(back, second);
}

TEST_F(ParaFileIo, ReaderAcceptsAnyBlankSeparation)
{
    const Bytes want{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    const QByteArray texts[] = {
        "   1\r\n   2\r\n   3\r\n   4\r\n   5\r\n   6\r\n   7\r\n   8\r\n   9\r\n  10\r\n  11\r\n"
        "  12\r\n  13\r\n  14\r\n  15\r\n",
        "1\t2\t3\t4\t5\t6\t7\t8\t9\t10\t11\t12\t13\t14\t15",
        "   1   2   3   4   5   6   7   8   9  10  11  12  13  14  15\n",
        "\n\n 001 2 3 4 5 6 7 8 9 10 11 12 13 14 15 \r\n\r\n"};
    int i = 0;
    for (const QByteArray &t : texts) {
        Bytes back{};
        ASSERT_EQ(load(write("f.dat", t), back), 0) << i;
        EXPECT_EQ(back, want) << i++;
    }
}

TEST_F(ParaFileIo, ReaderRefusesBadFilesWithoutTouchingTheArray)
{
    struct Case {
        QByteArray text;
        int code;
    } cases[] = {
        {"", FIO_TOO_FEW_VALUES},
        {"1 2 3 4 5 6 7 8 9 10 11 12 13 14", FIO_TOO_FEW_VALUES},
        {"1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16", FIO_TOO_MANY_VALUES},
        {"1 2 3 4 5 6 7 8 9 10 11 12 13 14 256", FIO_BAD_VALUE},
        {"1 2 3 4 5 6 7 8 9 10 11 12 13 14 -1", FIO_BAD_VALUE},
        {"1 2 3 4 5 6 7 8 9 10 11 12 13 14 1.5", FIO_BAD_VALUE},
        {"1 2 3 4 5 6 7 8 9 10 11 12 13 14 x", FIO_BAD_VALUE},
        {"1 2 3 4 5 6 7 8 9 10 11 12 13 14 99999999999999999999", FIO_BAD_VALUE},
        {QByteArray("\x00\x01\xff\xfe", 4), FIO_BAD_VALUE},
        {QByteArray(70000, ' '), FIO_TOO_LARGE},
    };
    for (const Case &c : cases) {
        Bytes back;
        back.fill(0xEE);
        EXPECT_EQ(load(write("bad.dat", c.text), back), c.code) << c.text.left(40).toStdString();
        for (unsigned char b : back)
            ASSERT_EQ(b, 0xEE);
    }
    Bytes back{};
    EXPECT_EQ(load(path("missing.dat"), back), FIO_OPEN_ERROR);
    EXPECT_LT(load(QFile::encodeName(dir.path()), back), 0);
}

TEST_F(ParaFileIo, FailedSaveKeepsThePreviousFile)
{
    const QByteArray p = path("keep.dat");
    ASSERT_EQ(save(p, kSet), 0);
    // A file-size limit below one parameter file makes the write fail as a full disk does,
    // also for root.
    struct rlimit old {
    };
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit tiny = old;
    tiny.rlim_cur = 10;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    Bytes other{};
    const int rc = save(p, other);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(rc, FIO_IO_ERROR);
    Bytes back{};
    ASSERT_EQ(load(p, back), 0);
    EXPECT_EQ(back, kSet);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"keep.dat"});
}

TEST_F(ParaFileIo, OtherSettingsAreRefused)
{
    Bytes b{};
    EXPECT_EQ(ArrayToFile(path("x.dat").constData(), b.data(), 4, 15, 1, 0, 0, 0, 4, 1, 0),
              FIO_UNSUPPORTED);
    EXPECT_EQ(ArrayToFile(path("x.dat").constData(), b.data(), 8, 15, 1, 0, 0, 0, 4, 1, 1),
              FIO_UNSUPPORTED);
    EXPECT_EQ(FileToArray(path("x.dat").constData(), b.data(), 8, 15, 2, 0, 0, 1), FIO_UNSUPPORTED);
    EXPECT_FALSE(QFile::exists(dir.filePath("x.dat")));
}
