// Replays a fuzz target's corpus as ordinary tests: one test per file, each fed once through the
// same entry point the fuzzer calls. A broken invariant aborts with its message.
#include "scratch_home.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace
{

namespace fs = std::filesystem;

class Replay : public ::testing::Test
{
  public:
    explicit Replay(fs::path file) : file_(std::move(file)) {}
    void TestBody() override
    {
        std::ifstream in(file_, std::ios::binary);
        ASSERT_TRUE(in) << file_;
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>()};
        std::fprintf(stderr, "replaying %s (%zu bytes)\n", file_.c_str(), bytes.size());
        EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), 0);
    }

  private:
    fs::path file_;
};

} // namespace

int main(int argc, char **argv)
{
    const kivrel::test::ScratchHome home; // the targets' scratch files go here
    if (!home.ok()) return 2;
    ::testing::InitGoogleTest(&argc, argv);
    const fs::path dir = KIVREL_FUZZ_CORPUS;
    std::vector<fs::path> files;
    for (const auto &entry : fs::directory_iterator(dir))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::fprintf(stderr, "no corpus files in %s\n", dir.c_str());
        return 1;
    }
    for (const fs::path &file : files) {
        const std::string name = file.filename().string();
        ::testing::RegisterTest(dir.filename().c_str(), name.c_str(), nullptr, nullptr, __FILE__,
                                __LINE__,
                                [file]() -> ::testing::Test * { return new Replay(file); });
    }
    return RUN_ALL_TESTS();
}
