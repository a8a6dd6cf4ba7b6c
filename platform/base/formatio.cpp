// Parameter-file arrays as text: one value per line, right-aligned in a fixed-width field.
//
// Writing goes through QSaveFile (a temporary file beside the target, renamed over it), so a
// failed save never destroys the file that was there. Reading is strict: every element must be
// present as a whole decimal number in the element's range and nothing may follow, otherwise
// the caller's array is left untouched.
#include "formatio.h"
#include "formatio_p.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <QDir>

#ifdef Q_OS_UNIX
#include <sys/file.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

namespace
{

constexpr int kUnsignedChar = 8;
constexpr int kTextFile = 1;
constexpr int kTruncate = 0;
// A file holding 15 bytes as text is a few dozen characters; anything beyond this is not a
// parameter file and is refused before it is read into memory.
constexpr qint64 kMaxFileSize = 64 * 1024;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

namespace
{

std::map<int, std::unique_ptr<QFile>> &openFiles()
{
    static std::map<int, std::unique_ptr<QFile>> files;
    return files;
}

QByteArray &lastError()
{
    static QByteArray text;
    return text;
}

} // namespace

int fileFailed(int code, const QString &why)
{
    lastError() = why.toLocal8Bit();
    return code;
}

int ArrayToFile(const char *fileName, const void *array, int dataType, int numElements,
                int numGroups, int arrayDataOrder, int fileLayout, int columnSeparation,
                int fieldWidth, int fileType, int fileAction)
{
    if (!fileName || !array || numElements < 1) return FIO_UNSUPPORTED;
    if (dataType != kUnsignedChar || numGroups != 1 || arrayDataOrder != 0 || fileLayout != 0 ||
        columnSeparation != 0 || fieldWidth < 1 || fieldWidth > 32 || fileType != kTextFile ||
        fileAction != kTruncate)
        return FIO_UNSUPPORTED;

    QByteArray text;
    const auto *bytes = static_cast<const unsigned char *>(array);
    for (int i = 0; i < numElements; ++i)
        text += QByteArray::number(bytes[i]).rightJustified(fieldWidth, ' ') + '\n';

    const QString name = QFile::decodeName(fileName);
    // "-" is stdout, and a pipe or a terminal takes the text as it comes: there is no file to
    // replace, and a temporary file renamed over a device would replace the device's name.
    const QFileInfo info(name);
    if (name == QLatin1String("-") || (info.exists() && !info.isFile() && !info.isDir())) {
        QFile stream(name);
        const bool open = name == QLatin1String("-")
                              ? stream.open(stdout, QIODevice::WriteOnly)
                              : stream.open(QIODevice::WriteOnly | QIODevice::Append);
        if (!open) return fileFailed(FIO_OPEN_ERROR, stream.errorString());
        if (stream.write(text) != text.size() || !stream.flush())
            return fileFailed(FIO_IO_ERROR, stream.errorString());
        return 0;
    }
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly)) return fileFailed(FIO_OPEN_ERROR, file.errorString());
    // QSaveFile::commit() does not notice a failing final flush (a full disk), so flush first
    // and give up on the temporary file if that fails.
    if (file.write(text) != text.size() || !file.flush()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return fileFailed(FIO_IO_ERROR, why);
    }
    return file.commit() ? 0 : fileFailed(FIO_IO_ERROR, file.errorString());
}

int FileToArray(const char *fileName, void *array, int dataType, int numElements, int numGroups,
                int arrayDataOrder, int fileLayout, int fileType)
{
    if (!fileName || !array || numElements < 1) return FIO_UNSUPPORTED;
    if (dataType != kUnsignedChar || numGroups != 1 || arrayDataOrder != 0 || fileLayout != 0 ||
        fileType != kTextFile)
        return FIO_UNSUPPORTED;

    QFile file(QFile::decodeName(fileName));
    // A named pipe or a terminal would block the open or the read until its other end acts,
    // and a device never ends: only regular files (and, as before, folders) go further.
    const QFileInfo info(file);
    if (info.exists() && !info.isFile() && !info.isDir())
        return fileFailed(FIO_OPEN_ERROR, QStringLiteral("not a regular file"));
    if (!file.open(QIODevice::ReadOnly)) return fileFailed(FIO_OPEN_ERROR, file.errorString());
    const auto tooLarge = [] {
        return fileFailed(
            FIO_TOO_LARGE,
            QStringLiteral("larger than %1 KiB: not a parameter file").arg(kMaxFileSize / 1024));
    };
    if (file.size() > kMaxFileSize) return tooLarge();
    const QByteArray text = file.read(kMaxFileSize + 1);
    if (file.error() != QFileDevice::NoError) // a directory or a device that cannot be read
        return fileFailed(FIO_IO_ERROR, info.isDir() ? QStringLiteral("a folder, not a file")
                                                     : file.errorString());
    if (text.size() > kMaxFileSize) return tooLarge();

    QByteArray values(numElements, '\0');
    int count = 0;
    int line = 1;
    const char *p = text.constData();
    const char *end = p + text.size();
    for (;;) {
        while (p < end && isBlank(*p))
            line += *p++ == '\n';
        if (p == end) break;
        if (count == numElements)
            return fileFailed(
                FIO_TOO_MANY_VALUES,
                QStringLiteral("line %1: more than %2 values").arg(line).arg(numElements));
        unsigned value = 0;
        const char *start = p;
        bool inRange = true;
        while (p < end && *p >= '0' && *p <= '9') {
            value = value * 10 + unsigned(*p - '0');
            inRange = inRange && value <= 255;
            if (value > 255) value = 256; // kept from overflowing on a long run of digits
            ++p;
        }
        if (p == start || (p < end && !isBlank(*p)) || !inRange) {
            const char *stop = p;
            while (stop < end && !isBlank(*stop) && stop - start < 40)
                ++stop;
            return fileFailed(FIO_BAD_VALUE,
                              QStringLiteral("line %1: \"%2\" is not a value from 0 to 255")
                                  .arg(line)
                                  .arg(QString::fromUtf8(start, stop - start)));
        }
        values[count++] = char(value);
    }
    if (count < numElements)
        return fileFailed(FIO_TOO_FEW_VALUES,
                          QStringLiteral("%1 values, %2 needed").arg(count).arg(numElements));
    std::memcpy(array, values.constData(), size_t(numElements));
    return 0;
}

const char *GetFileErrorText(void)
{
    return lastError().constData();
}

int OpenFile(const char *fileName, int readWriteMode, int action, int fileType)
{
    const bool reading = readWriteMode == VAL_READ_ONLY;
    if (!fileName || (!reading && readWriteMode != VAL_WRITE_ONLY) || fileType != VAL_ASCII ||
        (!reading && action != VAL_TRUNCATE && action != VAL_APPEND))
        return FIO_UNSUPPORTED;
    auto file = std::make_unique<QFile>(QFile::decodeName(fileName));
    if (reading) {
        const QFileInfo info(*file);
        if (info.exists() && !info.isFile())
            return fileFailed(FIO_OPEN_ERROR, QStringLiteral("not a regular file"));
        if (!file->open(QIODevice::ReadOnly))
            return fileFailed(FIO_OPEN_ERROR, file->errorString());
    } else {
        const QIODevice::OpenMode mode =
            QIODevice::WriteOnly | (action == VAL_APPEND ? QIODevice::Append : QIODevice::Truncate);
        // Unbuffered: every WriteFile reaches the system, so a crash loses nothing written.
        if (!file->open(mode | QIODevice::Unbuffered))
            return fileFailed(FIO_OPEN_ERROR, file->errorString());
    }
    int handle = 0;
    while (openFiles().count(handle))
        ++handle;
    openFiles()[handle] = std::move(file);
    return handle;
}

int WriteFile(int handle, const char *buffer, int count)
{
    const auto it = openFiles().find(handle);
    if (it == openFiles().end() || !buffer || count < 0) return FIO_IO_ERROR;
    errno = 0;
    if (it->second->write(buffer, count) != count) {
        // The system's errno says more than Qt's "Unknown error" for a file grown too large.
        const int err = errno;
        return fileFailed(FIO_IO_ERROR, err ? QString::fromLocal8Bit(std::strerror(err))
                                            : it->second->errorString());
    }
    return count;
}

int ReadFile(int handle, char *buffer, int count)
{
    const auto it = openFiles().find(handle);
    if (it == openFiles().end() || !buffer || count < 0 || !it->second->isReadable())
        return FIO_IO_ERROR;
    const qint64 n = it->second->read(buffer, count);
    if (n < 0) return fileFailed(FIO_IO_ERROR, it->second->errorString());
    return static_cast<int>(n);
}

int LockFile(int handle)
{
    const auto it = openFiles().find(handle);
    if (it == openFiles().end()) return FIO_IO_ERROR;
#ifdef Q_OS_UNIX
    int rc = 0;
    do
        rc = ::flock(it->second->handle(), LOCK_EX);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) return fileFailed(FIO_IO_ERROR, QString::fromLocal8Bit(std::strerror(errno)));
#endif
    return 0;
}

int CloseFile(int handle)
{
    const auto it = openFiles().find(handle);
    if (it == openFiles().end()) return FIO_IO_ERROR;
    it->second->close();
    const bool closeFailed = it->second->error() != QFileDevice::NoError;
    if (closeFailed) fileFailed(FIO_IO_ERROR, it->second->errorString());
    openFiles().erase(it);
    return closeFailed ? FIO_IO_ERROR : 0;
}

int GetFileSize(const char *fileName, long *size)
{
    if (!fileName || !size) return FIO_UNSUPPORTED;
    const QFileInfo info(QFile::decodeName(fileName));
    if (!info.exists()) return FIO_OPEN_ERROR;
    *size = static_cast<long>(info.size());
    return 0;
}

int GetFileLastByte(const char *fileName, int *byte)
{
    if (!fileName || !byte) return FIO_UNSUPPORTED;
    QFile file(QFile::decodeName(fileName));
    if (!file.open(QIODevice::ReadOnly)) return FIO_OPEN_ERROR;
    const qint64 size = file.size();
    char last = 0;
    if (size == 0) {
        *byte = -1;
        return 0;
    }
    if (!file.seek(size - 1) || file.read(&last, 1) != 1) return FIO_OPEN_ERROR;
    *byte = static_cast<unsigned char>(last);
    return 0;
}

int FindFileNames(const char *folder, const char *pattern, char first[], char last[], int size)
{
    if (!folder || !pattern || !first || !last || size < 1) return FIO_UNSUPPORTED;
    first[0] = last[0] = '\0';
    const QDir dir(QFile::decodeName(folder));
    if (!dir.exists()) return 0;
    if (!dir.isReadable()) return fileFailed(FIO_OPEN_ERROR, QStringLiteral("Permission denied"));
    QStringList names = dir.entryList(QStringList{QString::fromLatin1(pattern)}, QDir::Files);
    std::sort(names.begin(), names.end()); // by their bytes, not as the locale would
    if (names.isEmpty()) return 0;
    const auto copy = [size](const QString &name, char out[]) {
        const QByteArray bytes = QFile::encodeName(name);
        if (bytes.size() >= size) return false;
        std::memcpy(out, bytes.constData(), size_t(bytes.size()) + 1);
        return true;
    };
    if (!copy(names.first(), first) || !copy(names.last(), last)) return FIO_UNSUPPORTED;
    return int(names.size());
}

int MakeDir(const char *path)
{
    if (!path) return FIO_UNSUPPORTED;
    const QString folder = QFile::decodeName(path);
    if (QDir().mkpath(folder)) return 0;
    // mkpath() does not say why; the first folder on the way that is no folder does.
    QFileInfo info(folder);
    while (!info.exists() && info.absolutePath() != info.absoluteFilePath())
        info = QFileInfo(info.absolutePath());
    return fileFailed(FIO_OPEN_ERROR,
                      info.isDir()
                          ? QStringLiteral("Permission denied in %1").arg(info.absoluteFilePath())
                          : QStringLiteral("%1 is not a folder").arg(info.absoluteFilePath()));
}
