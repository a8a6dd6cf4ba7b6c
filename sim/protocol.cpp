#include "protocol.h"

#include <algorithm>

namespace kivrel::sim
{

std::size_t replyLength(std::uint8_t order)
{
    switch (order) {
    case GetRam:
    case GetEeprom: return kParamCount;
    case GetData: return std::tuple_size_v<Record>;
    case GetJumpBuffer: return std::tuple_size_v<JumpBuffer>;
    case LineCheck: return 3;
    default: return 0;
    }
}

Engine::Engine(Model &model, const Faults &faults, const EepromFile *eeprom,
               const ParamBytes &eepromContents, std::uint64_t seed)
    : model_(model), faults_(faults), eepromFile_(eeprom), eeprom_(eepromContents),
      rng_(seed * 0x9E3779B97F4A7C15ull + 7)
{
    // Power-up: the sensor works with what its EEPROM holds.
    ram_ = eeprom_;
    model_.setParams(ram_);
}

std::optional<Answer> Engine::feed(std::uint8_t byte, double nowMs)
{
    if (!pending_.empty() && nowMs - lastByteMs_ > kGapMs) {
        skipped_ += pending_.size();
        pending_.clear();
    }
    lastByteMs_ = nowMs;
    pending_.push_back(byte);

    // Resynchronise: a telegram starts with the sync byte followed by a known order code.
    // Anything else is dropped a byte at a time, so a stray 0x55 costs one byte only.
    while (!pending_.empty()) {
        if (pending_[0] != kSync) {
            pending_.erase(pending_.begin());
            ++skipped_;
            continue;
        }
        if (pending_.size() >= 2 && (pending_[1] < SendRam || pending_[1] > LineCheck)) {
            pending_.erase(pending_.begin());
            ++skipped_;
            continue;
        }
        break;
    }
    if (pending_.size() < kTelegramSize) return std::nullopt;

    // A noisy line garbles what the sensor receives too: a parameter write arrives with one
    // byte wrong, which only reading the set back can show.
    const std::uint8_t received = pending_[1];
    const bool hit = (faults_.order == 0 || faults_.order == received) &&
                     (received == SendRam || received == SendEeprom);
    if (hit && faults_.noise)
        pending_[2 + randomByte() % kParamCount] ^=
            static_cast<std::uint8_t>(1 + randomByte() % 255);
    if (hit && faults_.garble >= 0) pending_[2 + faults_.garble] ^= 0xFF;

    Answer answer = execute(pending_.data(), nowMs);
    pending_.clear();
    ++telegrams_;
    applyFaults(answer);
    if (faults_.dropAfter >= 0 && telegrams_ >= static_cast<std::uint64_t>(faults_.dropAfter))
        answer.hangUp = true;
    return answer;
}

Answer Engine::execute(const std::uint8_t *telegram, double nowMs)
{
    Answer answer;
    answer.order = telegram[1];
    const std::uint8_t *payload = telegram + 2;

    // Bring the measurement up to the moment the request arrived, under the old parameters.
    model_.advanceTo(nowMs);

    switch (answer.order) {
    case SendRam:
        std::copy_n(payload, kParamCount, ram_.begin());
        model_.setParams(ram_);
        answer.closed = model_.restartPassCount();
        break;
    case SendEeprom:
        std::copy_n(payload, kParamCount, eeprom_.begin());
        std::copy_n(payload, kParamCount, ram_.begin());
        model_.setParams(ram_);
        answer.closed = model_.restartPassCount();
        if (eepromFile_) {
            std::string error;
            if (!eepromFile_->save(eeprom_, error)) lastError_ = error;
        }
        break;
    case GetRam: answer.bytes.assign(ram_.begin(), ram_.end()); break;
    case GetEeprom: answer.bytes.assign(eeprom_.begin(), eeprom_.end()); break;
    case GetData: {
        const Record r = model_.record();
        answer.bytes.assign(r.begin(), r.end());
        break;
    }
    case GetJumpBuffer: {
        const JumpBuffer j = model_.jumpBuffer();
        answer.bytes.assign(j.begin(), j.end());
        break;
    }
    case LineCheck: answer.bytes = {0xAA, 0x04, 0x00}; break;
    default: break;
    }
    return answer;
}

std::uint8_t Engine::randomByte()
{
    rng_ ^= rng_ << 13;
    rng_ ^= rng_ >> 7;
    rng_ ^= rng_ << 17;
    return static_cast<std::uint8_t>(rng_ >> 24);
}

void Engine::applyFaults(Answer &answer)
{
    if (faults_.order != 0 && faults_.order != answer.order) return;
    auto &b = answer.bytes;
    if (faults_.silent) {
        answer.faulted = !b.empty();
        b.clear();
        return;
    }
    if (faults_.noise) {
        const std::size_t length = 1 + randomByte() % 32;
        b.resize(length);
        for (auto &x : b)
            x = randomByte();
        answer.faulted = true;
        return;
    }
    if (faults_.shortReply && !b.empty()) {
        b.pop_back();
        answer.faulted = true;
    }
    if (faults_.longReply) {
        b.push_back(randomByte());
        answer.faulted = true;
    }
}

} // namespace kivrel::sim
