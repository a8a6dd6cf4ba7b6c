// The connection and the transfers every command of the command line makes, and its output.
#include "cli.h"

#include "journal.h"
#include "keep.h"
#include "paranames.h"
#include "portname.h"
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

static int stdoutClosed;       // the reader went away, or the output cannot take more: nothing more
static char outputError[128];  // why the output could not be written; empty while it could
static char journalError[512]; // why a journal row could not be written; empty while it could

static void SayV(const char *port, const char *format, va_list args)
{
    std::fprintf(stderr, "%s: ", cliName);
    if (port) std::fprintf(stderr, "%s: ", port);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

void SayPortReport(int port, const char *device, int kind, const char *text)
{
    // A failure comes back as the command's status, said once in the command's own words.
    if (kind == COM_SAYS_FAILURE) return;
    std::fprintf(stderr, "%s: COM%d (%s): %s\n", cliName, port, device, text);
    std::fflush(stderr);
}

int Fail(int status, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    SayV(nullptr, format, args);
    va_end(args);
    return status;
}

const char *SensorName(void)
{
    static char port[400];
    ComLabel(com, port, sizeof port);
    return port;
}

int FailAt(int status, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    SayV(SensorName(), format, args);
    va_end(args);
    return status;
}

int PrintText(const char *text, int length)
{
    if (stdoutClosed) return -1;
    // A reader that closed the pipe (head) makes the write fail with EPIPE (SIGPIPE is
    // ignored): that ends the output quietly. Any other failure (a full disk, /dev/full) is
    // one, and the exit status says so.
    errno = 0;
    if (std::fwrite(text, 1, static_cast<size_t>(length), stdout) != static_cast<size_t>(length) ||
        std::fflush(stdout) != 0) {
        if (errno != EPIPE)
            std::snprintf(outputError, sizeof outputError, "%s",
                          std::strerror(errno ? errno : EIO));
        stdoutClosed = 1;
        return -1;
    }
    return 0;
}

void NoteJournal(int rc)
{
    if (rc == 0 || journalError[0]) return;
    std::snprintf(journalError, sizeof journalError, "%.120s: parameter journal not written: %s",
                  SensorName(), szKeepError);
}

int Finish(int status)
{
    // A sensor that failed says more than a result that could not be kept; so does a broker that
    // refused publishing, which ends a service for good.
    if (status == EXIT_VERIFY || status == EXIT_NO_REPLY || status == EXIT_PORT ||
        status == EXIT_REFUSED)
        return status;
    if (!outputError[0] && !journalError[0]) return status;
    if (outputError[0] && journalError[0])
        return Fail(EXIT_NOT_KEPT, "the output cannot be written: %s; %s", outputError,
                    journalError);
    if (outputError[0]) return Fail(EXIT_NOT_KEPT, "the output cannot be written: %s", outputError);
    return Fail(EXIT_NOT_KEPT, "%s", journalError);
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

int NoReply(const char *what, int expected)
{
    if (nBytesR <= 0)
        return FailAt(EXIT_NO_REPLY, "no reply to %s within %.1f s", what, TIMEOUT_REPLY);
    return FailAt(EXIT_NO_REPLY, "a reply of %d bytes to %s, %d expected", nBytesR, what, expected);
}

int Connect(void)
{
    if (OpenLine(com) < 0) {
        char reason[256] = "";
        const int kind = GetComOpenError(reason, sizeof reason);
        if (kind == COM_OPEN_NETWORK) return FailAt(EXIT_PORT, "cannot open: %s", reason);
        if (ret == RS232_NO_PORT_FOUND)
            return FailAt(EXIT_PORT, "cannot open: no such device (%s)",
                          reason[0] ? reason : OpenErrorText(ret));
        if (kind == COM_OPEN_NO_ACCESS)
            return FailAt(EXIT_PORT,
                          "cannot open: %s; no access: add the user to the dialout group "
                          "(sudo usermod -aG dialout $USER, then log in again)",
                          reason);
        if (kind == COM_OPEN_IN_USE)
            return FailAt(EXIT_PORT, "cannot open: in use by another program (%s)", reason);
        return FailAt(EXIT_PORT, "cannot open: %s (%s)", reason[0] ? reason : "no reason given",
                      OpenErrorText(ret));
    }
    if (CheckLine() == RX_OK) return EXIT_OK;
    if (nBytesR == 3)
        return FailAt(EXIT_NO_REPLY,
                      "line check failed: the reply was %02X %02X %02X, not AA 04 00", szReadBuf[0],
                      szReadBuf[1], szReadBuf[2]);
    return NoReply("the line check", 3);
}

const char *MemoryName(void)
{
    return target == EEPROM ? "EEPROM" : "RAM";
}

// The settle wait and the set of target's memory into pp, without its journal row.
static int ReadSet(void)
{
    SettleWait();
    if (ReadPara() == RX_OK) return EXIT_OK;
    char what[64];
    std::snprintf(what, sizeof what, "the %s read", MemoryName());
    return NoReply(what, AnzPara);
}

int ReadSensorSet(void)
{
    const int status = ReadSet();
    if (status == EXIT_OK) NoteJournal(JournalTransfer(TRANSFER_READ, target));
    return status;
}

// The write's row names how it ended; it goes in before the read-back's own row.
static void JournalWrite(const unsigned char sent[AnzPara], int outcome)
{
    unsigned char read[AnzPara];
    std::memcpy(read, pp, sizeof read);
    std::memcpy(pp, sent, sizeof read);
    NoteJournal(JournalTransfer(outcome, target));
    std::memcpy(pp, read, sizeof read);
}

int WriteSensorSet(int verify)
{
    unsigned char sent[AnzPara];
    std::memcpy(sent, pp, sizeof sent);
    if (WritePara() != RX_OK)
        return FailAt(EXIT_NO_REPLY, "the write to %s did not reach the line (%d of 17 bytes)",
                      MemoryName(), nBytesW < 0 ? 0 : nBytesW);
    if (!verify) {
        JournalWrite(sent, TRANSFER_WRITE);
        return EXIT_OK;
    }

    // Read back from the same memory, after the wait EEPROM needs to settle.
    const int status = ReadSet();
    if (status != EXIT_OK) {
        JournalWrite(sent, TRANSFER_WRITE);
        return status;
    }
    const int differ = std::memcmp(pp, sent, sizeof sent) != 0;
    JournalWrite(sent, differ ? TRANSFER_VERIFY_FAILED : TRANSFER_VERIFIED);
    NoteJournal(JournalTransfer(TRANSFER_READ, target));
    for (int i = 0; i < AnzPara; i++)
        if (pp[i] != sent[i])
            FailAt(EXIT_VERIFY, "verification failed: %s sent %u, read back %u", paraNames[i].name,
                   sent[i], pp[i]);
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
    NoteJournal(JournalTransfer(TRANSFER_READ, DATFILE));
    std::memcpy(pp, held, sizeof held);
    return EXIT_OK;
}

} // namespace kivrel
