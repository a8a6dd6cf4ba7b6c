// Whole-file writes through QSaveFile, and the direct write of targets that are no file.
#include "wholefile.h"
#include "formatio.h"
#include "formatio_p.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>

namespace
{

// One write under way: a QSaveFile for a file, a plain QFile for a device, a FIFO or stdout.
struct WholeFile {
    std::unique_ptr<QFileDevice> device;
    bool direct = false;
    bool failed = false;
};

std::map<int, WholeFile> &wholeFiles()
{
    static std::map<int, WholeFile> files;
    return files;
}

// The reason of the failure `device` reports: the system's words where errno kept them, since
// Qt says "Unknown error" for some (a PNG written to a full disk did).
QString reasonOf(const QFileDevice &device)
{
    const int err = errno;
    if (err != 0) return QString::fromLocal8Bit(std::strerror(err));
    return device.errorString();
}

bool isDevice(const QString &name)
{
    if (name == QLatin1String("-")) return true;
    const QFileInfo info(name); // follows links
    return info.exists() && !info.isFile() && !info.isDir();
}

} // namespace

int OpenWholeFile(const char *fileName)
{
    if (!fileName || !*fileName) return fileFailed(FIO_OPEN_ERROR, QStringLiteral("no file name"));
    const QString name = QFile::decodeName(fileName);
    WholeFile file;
    errno = 0;
    if (isDevice(name)) {
        // Nothing to replace: a temporary file beside a device would land in /dev, and a
        // rename over it would replace the device's name.
        auto stream = std::make_unique<QFile>(name);
        const bool open = name == QLatin1String("-")
                              ? stream->open(stdout, QIODevice::WriteOnly)
                              : stream->open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        if (!open) return fileFailed(FIO_OPEN_ERROR, reasonOf(*stream));
        file.device = std::move(stream);
        file.direct = true;
    } else {
        // QSaveFile follows a link to the file it names and keeps the link. It never falls back
        // to writing the target directly, which could truncate it: where no temporary file can
        // be made beside the target, the write is refused.
        auto save = std::make_unique<QSaveFile>(name);
        if (!save->open(QIODevice::WriteOnly)) return fileFailed(FIO_OPEN_ERROR, reasonOf(*save));
        file.device = std::move(save);
    }
    int handle = 0;
    while (wholeFiles().count(handle))
        ++handle;
    wholeFiles()[handle] = std::move(file);
    return handle;
}

int WriteWholeFile(int handle, const char *bytes, int count)
{
    const auto it = wholeFiles().find(handle);
    if (it == wholeFiles().end() || !bytes || count < 0) return FIO_IO_ERROR;
    WholeFile &file = it->second;
    if (file.failed) return FIO_IO_ERROR;
    errno = 0;
    if (file.device->write(bytes, count) != count) {
        file.failed = true;
        return fileFailed(FIO_IO_ERROR, reasonOf(*file.device));
    }
    return count;
}

int EndWholeFile(int handle, int keep)
{
    const auto it = wholeFiles().find(handle);
    if (it == wholeFiles().end()) return FIO_IO_ERROR;
    WholeFile file = std::move(it->second);
    wholeFiles().erase(it);
    if (file.direct) { // what reached a device stays there
        errno = 0;
        const bool flushed = file.failed || file.device->flush();
        const int rc = !keep || flushed ? 0 : fileFailed(FIO_IO_ERROR, reasonOf(*file.device));
        file.device->close();
        return keep && file.failed ? FIO_IO_ERROR : rc;
    }
    auto *save = static_cast<QSaveFile *>(file.device.get());
    if (!keep || file.failed) {
        save->cancelWriting();
        return keep ? FIO_IO_ERROR : 0;
    }
    // commit() does not notice a final flush that fails (a full disk): flush first.
    errno = 0;
    if (!save->flush()) {
        const QString why = reasonOf(*save);
        save->cancelWriting();
        return fileFailed(FIO_IO_ERROR, why);
    }
    errno = 0;
    return save->commit() ? 0 : fileFailed(FIO_IO_ERROR, reasonOf(*save));
}

int SaveWholeFile(const char *fileName, const char *bytes, long count)
{
    if (!bytes || count < 0 || count > 0x7fffffffL) return FIO_IO_ERROR;
    const int handle = OpenWholeFile(fileName);
    if (handle < 0) return handle;
    if (WriteWholeFile(handle, bytes, int(count)) < 0) {
        EndWholeFile(handle, 0);
        return FIO_IO_ERROR;
    }
    return EndWholeFile(handle, 1);
}

int SameFile(const char *a, const char *b)
{
    if (!a || !b) return 0;
#ifdef Q_OS_UNIX
    struct stat sa {
    }, sb{};
    if (::stat(a, &sa) != 0 || ::stat(b, &sb) != 0) return 0;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
#else
    const QString ca = QFileInfo(QFile::decodeName(a)).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(QFile::decodeName(b)).canonicalFilePath();
#endif
}
