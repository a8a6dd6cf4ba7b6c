// The protocol engine: answers per order code, parameter storage, EEPROM file,
// resynchronisation and the fault flags.
#include "protocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <unistd.h>

using namespace kivrel::sim;

namespace
{

using Bytes = std::vector<std::uint8_t>;

Bytes telegram(std::uint8_t order, const ParamBytes &payload = {})
{
    Bytes t(kTelegramSize, 0);
    t[0] = kSync;
    t[1] = order;
    std::copy(payload.begin(), payload.end(), t.begin() + 2);
    return t;
}

ParamBytes sample()
{
    return {101, 131, 7, 0, 20, 0, 12, 9, 2, 1, 3, 1, 0, 25, 0xA5};
}

// Feeds bytes all at once at nowMs and collects every answer.
std::vector<Answer> feed(Engine &engine, const Bytes &bytes, double nowMs = 0)
{
    std::vector<Answer> out;
    for (auto b : bytes)
        if (auto a = engine.feed(b, nowMs)) out.push_back(std::move(*a));
    return out;
}

Bytes ask(Engine &engine, std::uint8_t order, const ParamBytes &payload = {}, double nowMs = 0)
{
    auto answers = feed(engine, telegram(order, payload), nowMs);
    EXPECT_EQ(answers.size(), 1u);
    return answers.empty() ? Bytes{} : answers.front().bytes;
}

struct Rig {
    explicit Rig(const Faults &faults = {}) : engine(model, faults, nullptr, factoryDefaults()) {}
    Model model;
    Engine engine;
};

std::string tempPath(const char *name)
{
    return ::testing::TempDir() + "kivrel_sim_" + std::to_string(::getpid()) + "_" + name;
}

} // namespace

TEST(ProtocolOrders, LineCheckAnswersAa0400)
{
    Rig r;
    EXPECT_EQ(ask(r.engine, LineCheck), (Bytes{0xAA, 0x04, 0x00}));
}

TEST(ProtocolOrders, ReplyLengthPerOrderCode)
{
    Rig r;
    const std::size_t expected[8] = {0, 0, 0, 15, 15, 11, 16, 3};
    for (std::uint8_t order = 1; order <= 7; ++order) {
        EXPECT_EQ(replyLength(order), expected[order]) << "order " << int(order);
        const ParamBytes payload = order <= 2 ? factoryDefaults() : ParamBytes{};
        EXPECT_EQ(ask(r.engine, order, payload).size(), expected[order]) << "order " << int(order);
    }
}

TEST(ProtocolOrders, PowerUpRamIsTheEeprom)
{
    Rig r;
    const ParamBytes d = factoryDefaults();
    EXPECT_EQ(ask(r.engine, GetRam), Bytes(d.begin(), d.end()));
    EXPECT_EQ(ask(r.engine, GetEeprom), Bytes(d.begin(), d.end()));
}

TEST(ProtocolOrders, SendRamIsReadBackWithTheSpareByte)
{
    Rig r;
    const ParamBytes s = sample();
    EXPECT_TRUE(ask(r.engine, SendRam, s).empty());
    EXPECT_EQ(ask(r.engine, GetRam), Bytes(s.begin(), s.end()));
    EXPECT_EQ(ask(r.engine, GetRam)[Spare], 0xA5);
    const ParamBytes d = factoryDefaults();
    EXPECT_EQ(ask(r.engine, GetEeprom), Bytes(d.begin(), d.end())); // EEPROM untouched
    EXPECT_EQ(r.model.params(), s);                                 // and it works with it
}

TEST(ProtocolOrders, SendEepromStoresInBothAndWorksWithIt)
{
    Rig r;
    const ParamBytes s = sample();
    EXPECT_TRUE(ask(r.engine, SendEeprom, s).empty());
    EXPECT_EQ(ask(r.engine, GetEeprom), Bytes(s.begin(), s.end()));
    EXPECT_EQ(ask(r.engine, GetRam), Bytes(s.begin(), s.end()));
    EXPECT_EQ(r.model.params(), s);
}

TEST(ProtocolOrders, GetDataIsTheModelRecordAtThatTime)
{
    Rig r;
    const Bytes data = ask(r.engine, GetData, {}, 1234.0);
    EXPECT_EQ(r.model.timeMs(), 1234);
    const Record rec = r.model.record();
    EXPECT_EQ(data, Bytes(rec.begin(), rec.end()));
    EXPECT_EQ(data[RecNorm], normOf(data[RecDat0], data[RecDat1]));
    EXPECT_EQ(data[RecThreshold], 120);
    EXPECT_EQ(data[RecHysteresis], 150);
}

TEST(ProtocolOrders, GetJumpBufferAfterSomeMarks)
{
    Rig r;
    const Bytes j = ask(r.engine, GetJumpBuffer, {}, 5000.0);
    ASSERT_EQ(j.size(), 16u);
    const JumpBuffer mj = r.model.jumpBuffer();
    EXPECT_EQ(j, Bytes(mj.begin(), mj.end()));
    for (auto v : j) {
        EXPECT_GT(v, 60);
        EXPECT_LT(v, 120);
    }
}

TEST(ProtocolOrders, NewThresholdChangesTheEdgesFromThen)
{
    Rig r;
    feed(r.engine, telegram(GetData), 2000.0);
    EXPECT_EQ(r.model.edgeCount(), 10u);
    ParamBytes low = factoryDefaults();
    low[Threshold] = 60;
    feed(r.engine, telegram(SendRam, low), 2000.0);
    feed(r.engine, telegram(GetData), 4000.0);
    EXPECT_EQ(r.model.edgeCount(), 10u);
}

TEST(ProtocolOrders, OnlyParameterWritesRestartTheMarkCount)
{
    for (std::uint8_t order = SendRam; order <= LineCheck; ++order) {
        Rig r;
        const auto answers = feed(r.engine, telegram(order, factoryDefaults()), 1000.0);
        ASSERT_EQ(answers.size(), 1u);
        const bool write = order == SendRam || order == SendEeprom;
        // Five marks passed before; the answer carries the window the write closed.
        EXPECT_EQ(answers[0].closed.value_or(PassCount{}).marks, write ? 5u : 0u) << int(order);
        EXPECT_EQ(r.model.passCount().marks, write ? 0u : 5u) << int(order);
        EXPECT_EQ(r.model.passCount().sinceWrite, write) << int(order);
    }
}

TEST(ProtocolSync, ResynchronisesAfterGarbage)
{
    Rig r;
    Bytes stream{0x00, 0x12, 0xFF, 0x55, 0x09, 0x55, 0x00};
    const Bytes check = telegram(LineCheck);
    stream.insert(stream.end(), check.begin(), check.end());
    const auto answers = feed(r.engine, stream);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].bytes, (Bytes{0xAA, 0x04, 0x00}));
    EXPECT_EQ(r.engine.skippedBytes(), 7u);
}

TEST(ProtocolSync, UnknownOrderCodeGetsNoAnswer)
{
    Rig r;
    Bytes stream = telegram(8);
    const Bytes check = telegram(LineCheck);
    stream.insert(stream.end(), check.begin(), check.end());
    const auto answers = feed(r.engine, stream);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].order, LineCheck);
    EXPECT_EQ(r.engine.telegrams(), 1u);
}

TEST(ProtocolSync, BrokenTelegramIsAbandonedAfterAPause)
{
    Rig r;
    const Bytes check = telegram(LineCheck);
    EXPECT_TRUE(feed(r.engine, Bytes(check.begin(), check.begin() + 9), 0.0).empty());
    const auto answers = feed(r.engine, check, 500.0);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].bytes, (Bytes{0xAA, 0x04, 0x00}));
}

TEST(ProtocolSync, BackToBackTelegramsEachAnswered)
{
    Rig r;
    Bytes stream;
    for (auto order : {LineCheck, GetData, GetRam, LineCheck}) {
        const Bytes t = telegram(order);
        stream.insert(stream.end(), t.begin(), t.end());
    }
    const auto answers = feed(r.engine, stream);
    ASSERT_EQ(answers.size(), 4u);
    EXPECT_EQ(answers[1].bytes.size(), 11u);
    EXPECT_EQ(answers[2].bytes.size(), 15u);
    EXPECT_EQ(answers[3].bytes, (Bytes{0xAA, 0x04, 0x00}));
}

TEST(ProtocolEeprom, SurvivesARestartThroughTheFile)
{
    const std::string path = tempPath("eeprom.txt");
    std::remove(path.c_str());
    EepromFile file(path);
    std::string error;
    EXPECT_FALSE(file.load(error).has_value());
    EXPECT_TRUE(error.empty()) << error;
    {
        Model model;
        Engine engine(model, {}, &file, factoryDefaults());
        feed(engine, telegram(SendEeprom, sample()));
        EXPECT_TRUE(engine.lastError().empty()) << engine.lastError();
    }
    const auto stored = file.load(error);
    ASSERT_TRUE(stored.has_value()) << error;
    EXPECT_EQ(*stored, sample());
    Model model;
    Engine restarted(model, {}, &file, *stored);
    const ParamBytes s = sample();
    EXPECT_EQ(ask(restarted, GetRam), Bytes(s.begin(), s.end()));
    EXPECT_EQ(ask(restarted, GetEeprom), Bytes(s.begin(), s.end()));
    std::remove(path.c_str());
}

TEST(ProtocolEeprom, FileIsPlainTextOneValueALine)
{
    const std::string path = tempPath("eeprom_text.txt");
    EepromFile file(path);
    std::string error;
    ASSERT_TRUE(file.save(sample(), error)) << error;
    std::ifstream in(path);
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first, " 101  # threshold");
    // Hand-edited values, blank lines and comments are fine.
    {
        std::ofstream out(path);
        out << "# edited\n";
        for (int i = 0; i < 15; ++i)
            out << (i == 14 ? "7" : " 40") << "\n\n";
    }
    const auto loaded = file.load(error);
    ASSERT_TRUE(loaded.has_value()) << error;
    EXPECT_EQ((*loaded)[0], 40);
    EXPECT_EQ((*loaded)[Spare], 7);
    std::remove(path.c_str());
}

TEST(ProtocolEeprom, BadFilesAreReported)
{
    const std::string path = tempPath("eeprom_bad.txt");
    EepromFile file(path);
    auto tryContent = [&](const std::string &content) {
        std::ofstream(path) << content;
        std::string error;
        const bool loaded = file.load(error).has_value();
        EXPECT_FALSE(loaded);
        return error;
    };
    EXPECT_NE(tryContent("1\n2\n3\n").find("expected 15 values"), std::string::npos);
    EXPECT_NE(tryContent("300\n").find("out of range"), std::string::npos);
    EXPECT_NE(tryContent("ten\n").find("not a number"), std::string::npos);
    std::ostringstream many;
    for (int i = 0; i < 16; ++i)
        many << i << "\n";
    EXPECT_NE(tryContent(many.str()).find("more than 15"), std::string::npos);
    std::remove(path.c_str());
}

TEST(ProtocolFaults, SilentNeverAnswers)
{
    Faults f;
    f.silent = true;
    Rig r(f);
    for (std::uint8_t order = 3; order <= 7; ++order) {
        const auto answers = feed(r.engine, telegram(order));
        ASSERT_EQ(answers.size(), 1u);
        EXPECT_TRUE(answers[0].bytes.empty());
        EXPECT_TRUE(answers[0].faulted);
    }
}

TEST(ProtocolFaults, ShortAndLongChangeTheLengthByOne)
{
    Faults s;
    s.shortReply = true;
    Rig shortRig(s);
    Faults l;
    l.longReply = true;
    Rig longRig(l);
    for (std::uint8_t order = 3; order <= 7; ++order) {
        EXPECT_EQ(ask(shortRig.engine, order).size(), replyLength(order) - 1) << int(order);
        EXPECT_EQ(ask(longRig.engine, order).size(), replyLength(order) + 1) << int(order);
    }
    EXPECT_EQ(ask(shortRig.engine, LineCheck), (Bytes{0xAA, 0x04}));
    const Bytes longCheck = ask(longRig.engine, LineCheck);
    EXPECT_EQ(Bytes(longCheck.begin(), longCheck.begin() + 3), (Bytes{0xAA, 0x04, 0x00}));
    // Orders that have no answer get one stray byte.
    EXPECT_EQ(ask(longRig.engine, SendRam, factoryDefaults()).size(), 1u);
    EXPECT_TRUE(ask(shortRig.engine, SendRam, factoryDefaults()).empty());
}

TEST(ProtocolFaults, NoiseAnswersRandomBytesOfRandomLength)
{
    Faults f;
    f.noise = true;
    Rig r(f);
    std::set<std::size_t> lengths;
    int unlikeLineCheck = 0;
    for (int i = 0; i < 50; ++i) {
        const Bytes b = ask(r.engine, LineCheck);
        ASSERT_GE(b.size(), 1u);
        ASSERT_LE(b.size(), 32u);
        lengths.insert(b.size());
        unlikeLineCheck += b != Bytes{0xAA, 0x04, 0x00};
    }
    EXPECT_GT(lengths.size(), 5u);
    EXPECT_EQ(unlikeLineCheck, 50);
}

TEST(ProtocolFaults, FaultOrderLimitsTheFaultToOneCode)
{
    Faults f;
    f.silent = true;
    f.order = GetData;
    Rig r(f);
    EXPECT_TRUE(ask(r.engine, GetData).empty());
    EXPECT_EQ(ask(r.engine, LineCheck), (Bytes{0xAA, 0x04, 0x00}));
    EXPECT_EQ(ask(r.engine, GetRam).size(), 15u);
}

TEST(ProtocolFaults, DropAfterHangsUpAfterTheNthTelegram)
{
    Faults f;
    f.dropAfter = 3;
    Rig r(f);
    Bytes stream;
    for (int i = 0; i < 3; ++i) {
        const Bytes t = telegram(LineCheck);
        stream.insert(stream.end(), t.begin(), t.end());
    }
    const auto answers = feed(r.engine, stream);
    ASSERT_EQ(answers.size(), 3u);
    EXPECT_FALSE(answers[0].hangUp);
    EXPECT_FALSE(answers[1].hangUp);
    EXPECT_TRUE(answers[2].hangUp);
    EXPECT_EQ(answers[2].bytes, (Bytes{0xAA, 0x04, 0x00})); // the last one is still answered
}
