// The parameter-file reader on arbitrary file contents, with the settings the program uses:
// 15 unsigned bytes, one group, as text. Its result must match a reader written here from the
// file format alone, a refused file must leave the array as it was, and what the writer saves
// must read back unchanged.
#include "formatio.h"
#include "fuzz_check.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace
{

constexpr int kCount = 15;
constexpr size_t kMaxFileSize = 64 * 1024;

// The files live in a directory of this process's own: under TMPDIR when it is set (the test
// suite points it at the run's own folder), else on tmpfs when there is one.
class Scratch
{
  public:
    Scratch()
    {
        const char *base = std::getenv("TMPDIR");
        if (!base || !*base) base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string templ = std::string(base) + "/kivrel-fuzz-XXXXXX";
        FUZZ_CHECK(mkdtemp(templ.data()) != nullptr, "a scratch directory");
        dir_ = templ;
        in_ = dir_ + "/in.dat";
        out_ = dir_ + "/out.dat";
    }
    ~Scratch()
    {
        unlink(in_.c_str());
        unlink(out_.c_str());
        rmdir(dir_.c_str());
    }
    const char *in() const { return in_.c_str(); }
    const char *out() const { return out_.c_str(); }

  private:
    std::string dir_, in_, out_;
};

Scratch &scratch()
{
    static Scratch s;
    return s;
}

void writeFile(const char *path, const uint8_t *data, size_t size)
{
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    FUZZ_CHECK(fd >= 0, "the input file can be created");
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        FUZZ_CHECK(n > 0, "the input file can be written");
        done += size_t(n);
    }
    close(fd);
}

std::string readFile(const char *path)
{
    std::string text;
    FILE *f = std::fopen(path, "rb");
    FUZZ_CHECK(f != nullptr, "the saved file can be opened");
    char buf[512];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    std::fclose(f);
    return text;
}

int load(const char *path, unsigned char *array)
{
    return FileToArray(path, array, 8, kCount, 1, 0, 0, 1);
}

int save(const char *path, const unsigned char *array)
{
    return ArrayToFile(path, array, 8, kCount, 1, 0, 0, 0, 4, 1, 0);
}

// The file format: fields separated by runs of spaces, tabs, CR and LF; each field a decimal
// number (leading zeros allowed) from 0 to 255; exactly 15 fields.
bool isSeparator(uint8_t c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

int referenceRead(const uint8_t *data, size_t size, unsigned char out[kCount])
{
    if (size > kMaxFileSize) return FIO_TOO_LARGE;
    unsigned char values[kCount];
    int count = 0;
    size_t i = 0;
    for (;;) {
        while (i < size && isSeparator(data[i]))
            ++i;
        if (i == size) break;
        size_t end = i;
        while (end < size && !isSeparator(data[end]))
            ++end;
        const std::string field(reinterpret_cast<const char *>(data + i), end - i);
        i = end;
        if (count == kCount) return FIO_TOO_MANY_VALUES;
        if (field.find_first_not_of("0123456789") != std::string::npos) return FIO_BAD_VALUE;
        const size_t first = field.find_first_not_of('0');
        const std::string digits = first == std::string::npos ? "0" : field.substr(first);
        if (digits.size() > 3 || std::stoi(digits) > 255) return FIO_BAD_VALUE;
        values[count++] = static_cast<unsigned char>(std::stoi(digits));
    }
    if (count < kCount) return FIO_TOO_FEW_VALUES;
    std::memcpy(out, values, kCount);
    return 0;
}

// Saving then loading gives back the same bytes, and the text is the program's format.
void roundTrip(const unsigned char *values)
{
    FUZZ_CHECK(save(scratch().out(), values) == 0, "the writer saves 15 bytes");
    std::string expected;
    for (int i = 0; i < kCount; i++) {
        char line[8];
        std::snprintf(line, sizeof line, "%4u\n", unsigned(values[i]));
        expected += line;
    }
    FUZZ_CHECK(readFile(scratch().out()) == expected, "one right-aligned field of 4 per line");
    std::unique_ptr<unsigned char[]> back(new unsigned char[kCount]);
    FUZZ_CHECK(load(scratch().out(), back.get()) == 0, "a saved file loads");
    FUZZ_CHECK(std::memcmp(back.get(), values, kCount) == 0, "a saved file loads unchanged");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    writeFile(scratch().in(), data, size);

    // Exactly 15 bytes, so the sanitizer catches any write past the array.
    std::unique_ptr<unsigned char[]> array(new unsigned char[kCount]);
    unsigned char canary[kCount];
    for (int i = 0; i < kCount; i++)
        canary[i] = static_cast<unsigned char>(0xA5 ^ (i * 29) ^ size);
    std::memcpy(array.get(), canary, kCount);

    const int rc = load(scratch().in(), array.get());
    unsigned char expected[kCount];
    const int expectedRc = referenceRead(data, size, expected);
    FUZZ_CHECK(rc == expectedRc, "the reader's result matches the file format");
    if (rc == 0) {
        FUZZ_CHECK(std::memcmp(array.get(), expected, kCount) == 0, "the values read");
        roundTrip(array.get());
    } else {
        FUZZ_CHECK(rc < 0, "a refusal is a negative code");
        FUZZ_CHECK(std::memcmp(array.get(), canary, kCount) == 0,
                   "a refused file leaves the array");
    }
    // Any 15 bytes survive the trip through a file.
    if (size >= size_t(kCount)) roundTrip(data + size - kCount);
    return 0;
}
