// The connection and the transfers every command of the command line makes, and its output.
#include "cli.h"

#include "journal.h"
#include "paranames.h"
#include "state.h"
#include "transfer.h"

#include "formatio.h"
#include "rs232.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace kivrel
{

const char cliName[] = "kivrel-cli";

static int stdoutClosed; // the reader went away: nothing more to say

int Fail(int status, const char *format, ...)
{
    std::fprintf(stderr, "%s: ", cliName);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    return status;
}

int PrintText(const char *text, int length)
{
    if (stdoutClosed) return -1;
    // A reader that closed the pipe (head) makes the write fail with EPIPE; SIGPIPE is ignored.
    if (std::fwrite(text, 1, static_cast<size_t>(length), stdout) != static_cast<size_t>(length) ||
        std::fflush(stdout) != 0) {
        stdoutClosed = 1;
        return -1;
    }
    return 0;
}

int Print(const char *format, ...)
{
    char text[4096];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0) return -1;
    if (n >= static_cast<int>(sizeof text)) n = static_cast<int>(sizeof text) - 1;
    return PrintText(text, n);
}

void JsonString(char *out, int size, const char *text)
{
    int n = 0;
    auto put = [&](char c) {
        if (n < size - 1) out[n++] = c;
    };
    put('"');
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; p++) {
        if (*p == '"' || *p == '\\') {
            put('\\');
            put(static_cast<char>(*p));
        } else if (*p < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", *p);
            for (const char *e = escaped; *e; e++)
                put(*e);
        } else {
            put(static_cast<char>(*p));
        }
    }
    put('"');
    out[n] = '\0';
}

// "COM1 (ttyUSB0)", the port as the messages name it.
static const char *PortName(void)
{
    static char text[300];
    char device[260] = "";
    GetComDeviceName(com, device, sizeof device);
    if (device[0])
        std::snprintf(text, sizeof text, "COM%d (%s)", com, device);
    else
        std::snprintf(text, sizeof text, "COM%d", com);
    return text;
}

int NoReply(const char *what, int expected)
{
    if (nBytesR <= 0)
        return Fail(EXIT_NO_REPLY, "%s: no reply to %s within %.1f s", PortName(), what,
                    TIMEOUT_REPLY);
    return Fail(EXIT_NO_REPLY, "%s: a reply of %d bytes to %s, %d expected", PortName(), nBytesR,
                what, expected);
}

int Connect(void)
{
    if (OpenLine(com) < 0) {
        char reason[256] = "";
        const int kind = GetComOpenError(reason, sizeof reason);
        if (kind == COM_OPEN_NO_ACCESS)
            return Fail(EXIT_PORT,
                        "%s: cannot open: %s; no access: add the user to the dialout group "
                        "(sudo usermod -aG dialout $USER, then log in again)",
                        PortName(), reason);
        if (kind == COM_OPEN_IN_USE)
            return Fail(EXIT_PORT, "%s: cannot open: in use by another program (%s)", PortName(),
                        reason);
        return Fail(EXIT_PORT, "%s: cannot open: %s (%s)", PortName(),
                    reason[0] ? reason : "no reason given", OpenErrorText(ret));
    }
    if (CheckLine() == RX_OK) return EXIT_OK;
    if (nBytesR == 3)
        return Fail(EXIT_NO_REPLY,
                    "%s: line check failed: the reply was %02X %02X %02X, not AA 04 00", PortName(),
                    szReadBuf[0], szReadBuf[1], szReadBuf[2]);
    return NoReply("the line check", 3);
}

const char *MemoryName(void)
{
    return target == EEPROM ? "EEPROM" : "RAM";
}

int ReadSensorSet(void)
{
    SettleWait();
    if (ReadPara() != RX_OK) {
        char what[64];
        std::snprintf(what, sizeof what, "the %s read", MemoryName());
        return NoReply(what, AnzPara);
    }
    JournalTransfer(TRANSFER_READ, target);
    return EXIT_OK;
}

int WriteSensorSet(int verify)
{
    unsigned char sent[AnzPara];
    std::memcpy(sent, pp, sizeof sent);
    if (WritePara() != RX_OK)
        return Fail(EXIT_NO_REPLY, "%s: the write to %s did not reach the line (%d of 17 bytes)",
                    PortName(), MemoryName(), nBytesW < 0 ? 0 : nBytesW);
    JournalTransfer(TRANSFER_WRITE, target);
    if (!verify) return EXIT_OK;

    // Read back from the same memory, after the wait EEPROM needs to settle.
    const int status = ReadSensorSet();
    if (status != EXIT_OK) return status;
    int differ = 0;
    for (int i = 0; i < AnzPara; i++)
        if (pp[i] != sent[i]) {
            Fail(EXIT_VERIFY, "verification failed: %s sent %u, read back %u", paraNames[i].name,
                 sent[i], pp[i]);
            differ = 1;
        }
    return differ ? EXIT_VERIFY : EXIT_OK;
}

int LoadParaFile(const char *path, unsigned char values[15])
{
    if (FileToArray(path, values, VAL_UNSIGNED_CHAR, AnzPara, 1, 0, 0, 1) < 0)
        return Fail(EXIT_BAD_FILE, "%s: %s", path, GetFileErrorText());
    std::snprintf(file_name, sizeof file_name, "%s", path);
    unsigned char held[AnzPara];
    std::memcpy(held, pp, sizeof held);
    std::memcpy(pp, values, sizeof held);
    JournalTransfer(TRANSFER_READ, DATFILE);
    std::memcpy(pp, held, sizeof held);
    return EXIT_OK;
}

} // namespace kivrel
