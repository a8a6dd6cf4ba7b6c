#include "utility.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSysInfo>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstring>
#include <thread>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

double Timer(void)
{
    using clock = std::chrono::steady_clock;
    static const clock::time_point origin = clock::now();
    return std::chrono::duration<double>(clock::now() - origin).count();
}

void Sleep(unsigned int milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

namespace
{

// A folder into a MAX_PATHNAME_LEN buffer; an empty string and -1 when it does not fit.
int copyFolder(const QString &folder, char directory[])
{
    if (!directory) return -1;
    const QByteArray bytes = QDir::toNativeSeparators(folder).toLocal8Bit();
    if (bytes.size() >= MAX_PATHNAME_LEN) {
        directory[0] = '\0';
        return -1;
    }
    std::memcpy(directory, bytes.constData(), size_t(bytes.size()) + 1);
    return 0;
}

} // namespace

int GetProjectDir(char directory[])
{
    return copyFolder(QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                                   : QDir::currentPath(),
                      directory);
}

namespace
{

LocalDateTime localOf(const QDateTime &t)
{
    const QDate d = t.date();
    const QTime tm = t.time();
    return {d.year(),    d.month(),   d.day(),   tm.hour(),
            tm.minute(), tm.second(), tm.msec(), t.offsetFromUtc() / 60};
}

} // namespace

void GetLocalDateTime(LocalDateTime *now)
{
    if (now) *now = localOf(QDateTime::currentDateTime());
}

void GetLocalDateTimeAt(double seconds, LocalDateTime *t)
{
    if (t) *t = localOf(QDateTime::fromMSecsSinceEpoch(qint64(std::llround(seconds * 1000.0))));
}

int LocalDateTimeToEpoch(const LocalDateTime *t, double *seconds)
{
    if (!t || !seconds) return -1;
    const QDate d(t->year, t->month, t->day);
    const QTime tm(t->hour, t->minute, t->second, t->millisecond);
    const QDateTime local(d, tm, Qt::LocalTime);
    // A time the clock skipped (the hour a summer time begins) names no moment.
    if (!d.isValid() || !tm.isValid() || !local.isValid() || local.time() != tm) return -1;
    *seconds = double(local.toMSecsSinceEpoch()) / 1000.0;
    return 0;
}

int GetUserDataDir(char directory[])
{
    return copyFolder(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                          QStringLiteral("/kivrel"),
                      directory);
}

namespace
{

void copyName(const QByteArray &bytes, char name[], int size)
{
    if (!name || size < 1) return;
    // Cut at a whole UTF-8 character, never inside one.
    qsizetype n = std::min<qsizetype>(bytes.size(), size - 1);
    while (n > 0 && n < bytes.size() && (static_cast<unsigned char>(bytes[n]) & 0xC0) == 0x80)
        --n;
    std::memcpy(name, bytes.constData(), size_t(n));
    name[n] = '\0';
}

} // namespace

// Looked up once a run: neither changes while the program runs, and each look reads files.
void GetLoginName(char name[], int size)
{
    static const QByteArray login = [] {
        QByteArray l;
#ifdef Q_OS_UNIX
        // The account the process runs as, not what $USER claims after su or sudo -E.
        if (const passwd *pw = ::getpwuid(::geteuid())) l = pw->pw_name;
#endif
        if (l.isEmpty()) l = qgetenv("USER");
        if (l.isEmpty()) l = qgetenv("USERNAME");
        return l;
    }();
    copyName(login, name, size);
}

void GetMachineName(char name[], int size)
{
    static const QByteArray host = QSysInfo::machineHostName().toUtf8();
    copyName(host, name, size);
}

int GetAbsolutePath(const char *path, char absolute[], int size)
{
    if (!path || !absolute || size < 1) return -1;
    const QByteArray full =
        QFile::encodeName(QFileInfo(QFile::decodeName(path)).absoluteFilePath());
    if (full.size() < size) {
        std::memcpy(absolute, full.constData(), size_t(full.size()) + 1);
        return 0;
    }
    copyName(QByteArray(path), absolute, size);
    return -1;
}
