// Message and file-selection popups, driven by the popup recorder.
#include "popup_helper.h"
#include "testpanel_fixture.h"
#include "utility.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstring>

using namespace kivrel::test;

namespace
{

class Popups : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(InitCVIRTE(nullptr, &nameTable(), nullptr));
        ASSERT_TRUE(dir.isValid());
        QFile existing(dir.filePath(QStringLiteral("old.dat")));
        ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
        existing.write("x");
    }

    int select(char *out, int restrictExtension = 1)
    {
        return FileSelectPopup(dir.path().toLocal8Bit().constData(), "proposed.dat", "*.dat",
                               "Save parameters", 0, 0, restrictExtension, 1, 1, out);
    }

    QTemporaryDir dir;
    PopupRecorder recorder;
};

} // namespace

TEST_F(Popups, MessageKeepsTextExactlyAndHasOneOkButton)
{
    const char *text = "   Line one, indented\n\n  second line  \nend";
    EXPECT_EQ(MessagePopup("Notice", text), 0);
    ASSERT_EQ(recorder.count(), 1);
    const RecordedPopup &p = recorder.popups()[0];
    EXPECT_EQ(p.kind, RecordedPopup::Kind::Message);
    EXPECT_EQ(p.title, QStringLiteral("Notice"));
    EXPECT_EQ(p.text, QString::fromLatin1(text));
    EXPECT_EQ(p.buttons, QStringList{QStringLiteral("OK")});

    EXPECT_EQ(MessagePopup("Second", "<b>not bold</b>"), 0);
    ASSERT_EQ(recorder.count(), 2);
    EXPECT_EQ(recorder.popups()[1].text, QStringLiteral("<b>not bold</b>"));
    recorder.clear();
    EXPECT_EQ(recorder.count(), 0);
}

TEST_F(Popups, FileSelectExistingFile)
{
    char out[MAX_PATHNAME_LEN] = "";
    recorder.answerFileDialog(dir.filePath(QStringLiteral("old.dat")));
    EXPECT_EQ(select(out), VAL_EXISTING_FILE_SELECTED);
    EXPECT_EQ(QFileInfo(QString::fromLocal8Bit(out)).canonicalFilePath(),
              QFileInfo(dir.filePath(QStringLiteral("old.dat"))).canonicalFilePath());
    ASSERT_EQ(recorder.count(), 1);
    const RecordedPopup &p = recorder.popups()[0];
    EXPECT_EQ(p.kind, RecordedPopup::Kind::FileDialog);
    EXPECT_EQ(p.title, QStringLiteral("Save parameters"));
    EXPECT_EQ(QFileInfo(p.directory).canonicalFilePath(),
              QFileInfo(dir.path()).canonicalFilePath());
    EXPECT_EQ(p.text, QStringLiteral("proposed.dat"));
    EXPECT_EQ(p.acceptLabel, QStringLiteral("OK"));
    EXPECT_TRUE(p.nameFilters.join(QLatin1Char(';')).contains(QStringLiteral("*.dat")));
}

TEST_F(Popups, FileSelectNewNameGetsTheExtension)
{
    char out[MAX_PATHNAME_LEN] = "";
    recorder.answerFileDialog(dir.filePath(QStringLiteral("fresh")));
    EXPECT_EQ(select(out), VAL_NEW_FILE_SELECTED);
    EXPECT_EQ(QFileInfo(QString::fromLocal8Bit(out)).fileName(), QStringLiteral("fresh.dat"));
}

TEST_F(Popups, FileSelectRefusesOtherExtensions)
{
    char out[MAX_PATHNAME_LEN] = "";
    recorder.answerFileDialog(dir.filePath(QStringLiteral("wrong.txt")));
    recorder.answerFileDialog(dir.filePath(QStringLiteral("right.dat")));
    EXPECT_EQ(select(out), VAL_NEW_FILE_SELECTED);
    EXPECT_EQ(QFileInfo(QString::fromLocal8Bit(out)).fileName(), QStringLiteral("right.dat"));
    EXPECT_EQ(recorder.count(), 1); // one dialog, answered twice
}

TEST_F(Popups, FileSelectAnyExtensionWhenNotRestricted)
{
    char out[MAX_PATHNAME_LEN] = "";
    recorder.answerFileDialog(dir.filePath(QStringLiteral("notes.txt")));
    EXPECT_EQ(select(out, 0), VAL_NEW_FILE_SELECTED);
    EXPECT_EQ(QFileInfo(QString::fromLocal8Bit(out)).fileName(), QStringLiteral("notes.txt"));
}

TEST_F(Popups, FileSelectCancelled)
{
    char out[MAX_PATHNAME_LEN] = "untouched";
    recorder.cancelFileDialog();
    EXPECT_EQ(select(out), VAL_NO_FILE_SELECTED);
    EXPECT_STREQ(out, "untouched");
    EXPECT_EQ(recorder.count(), 1);
}

TEST_F(Popups, FileSelectRefusesTooLongPath)
{
    QString deep = dir.path();
    const QString part(60, QLatin1Char('d'));
    while (deep.toLocal8Bit().size() < 240)
        deep += QLatin1Char('/') + part;
    ASSERT_TRUE(QDir().mkpath(deep));
    const QString target =
        deep + QLatin1Char('/') + QString(40, QLatin1Char('n')) + QStringLiteral(".dat");
    ASSERT_GT(target.toLocal8Bit().size(), 259);
    char out[MAX_PATHNAME_LEN];
    std::memset(out, '#', sizeof out);
    recorder.answerFileDialog(target);
    EXPECT_EQ(select(out), UIE_PATH_TOO_LONG);
    for (char c : out)
        ASSERT_EQ(c, '#');
}
