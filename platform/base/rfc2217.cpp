#include "rfc2217.h"

#include <initializer_list>

namespace kivrel::platform::rfc2217
{
namespace
{

constexpr std::uint8_t SE = 240, SB = 250, WILL = 251, WONT = 252, DO = 253, DONT = 254, IAC = 255;

// COM-PORT-OPTION's commands as the client sends them; the server answers with 100 added.
constexpr std::uint8_t SetBaudRate = 1, SetDataSize = 2, SetParity = 3, SetStopSize = 4,
                       SetControl = 5, PurgeData = 12, ServerOffset = 100;
constexpr std::uint8_t NoFlowControl = 1, DtrOn = 8, RtsOn = 11;
constexpr std::uint8_t PurgeReceived = 1, PurgeToSend = 2, PurgeBoth = 3;
constexpr std::uint8_t ComPortOption = 44;

void appendEscaped(QByteArray &out, const char *data, qsizetype count)
{
    for (qsizetype i = 0; i < count; ++i) {
        out += data[i];
        if (std::uint8_t(data[i]) == IAC) out += char(IAC);
    }
}

QByteArray bytesOf(std::initializer_list<std::uint8_t> list)
{
    QByteArray out;
    for (std::uint8_t b : list)
        out += char(b);
    return out;
}

QByteArray command(std::uint8_t verb, std::uint8_t option)
{
    return bytesOf({IAC, verb, option});
}

QByteArray subnegotiation(std::uint8_t code, const QByteArray &value)
{
    QByteArray out = bytesOf({IAC, SB, ComPortOption, code});
    appendEscaped(out, value.constData(), value.size());
    out += char(IAC);
    out += char(SE);
    return out;
}

QByteArray oneByte(std::uint32_t value)
{
    return QByteArray(1, char(value));
}

} // namespace

QByteArray escape(const char *data, qsizetype count)
{
    QByteArray out;
    out.reserve(count);
    appendEscaped(out, data, count);
    return out;
}

QByteArray Session::greeting()
{
    local_[Binary] = local_[SuppressGoAhead] = local_[ComPort] = Asked;
    remote_[Binary] = remote_[SuppressGoAhead] = Asked;
    return command(WILL, Binary) + command(DO, Binary) + command(WILL, SuppressGoAhead) +
           command(DO, SuppressGoAhead) + command(WILL, ComPortOption);
}

QByteArray Session::configure(const Line &line)
{
    // The RS-232 library counts parity from 0 for none; the option from 1.
    asked_ = {line.baudRate, std::uint32_t(line.dataBits), std::uint32_t(line.parity + 1),
              std::uint32_t(line.stopBits), NoFlowControl};
    answeredYet_ = {};
    const std::uint32_t baud = line.baudRate;
    const QByteArray baudBytes = bytesOf({std::uint8_t(baud >> 24), std::uint8_t(baud >> 16),
                                          std::uint8_t(baud >> 8), std::uint8_t(baud)});
    return subnegotiation(SetBaudRate, baudBytes) +
           subnegotiation(SetDataSize, oneByte(asked_[1])) +
           subnegotiation(SetParity, oneByte(asked_[2])) +
           subnegotiation(SetStopSize, oneByte(asked_[3])) +
           subnegotiation(SetControl, oneByte(NoFlowControl)) +
           subnegotiation(SetControl, oneByte(DtrOn)) + subnegotiation(SetControl, oneByte(RtsOn));
}

QByteArray Session::purgeInput()
{
    purging_ = true;
    ++purgesOwed_;
    return subnegotiation(PurgeData, oneByte(PurgeReceived));
}

QByteArray Session::purgeOutput()
{
    return subnegotiation(PurgeData, oneByte(PurgeToSend));
}

bool Session::configured(QString *why) const
{
    static const char *const names[] = {"baud rate", "data bits", "parity", "stop bits",
                                        "flow control"};
    for (bool yet : answeredYet_)
        if (!yet) return false;
    if (why) why->clear();
    for (std::size_t i = 0; i < asked_.size(); ++i)
        if (answered_[i] != asked_[i] && why) {
            *why = QStringLiteral("the server set %1 %2, not %3")
                       .arg(QLatin1String(names[i]))
                       .arg(answered_[i])
                       .arg(asked_[i]);
            break;
        }
    return true;
}

void Session::receive(const char *bytes, qsizetype count, QByteArray &data, QByteArray &reply)
{
    // Data goes to the program, or while a purge awaits its answer to what was dropped.
    const auto take = [&](char b) {
        QByteArray &to = purging_ ? purged_ : data;
        to += b;
        if (purging_ && purged_.size() > 256) purged_.remove(0, purged_.size() - 256);
    };
    for (qsizetype i = 0; i < count; ++i) {
        const auto b = std::uint8_t(bytes[i]);
        switch (parse_) {
        case Parse::Data:
            if (b == IAC)
                parse_ = Parse::Iac;
            else
                take(char(b));
            break;
        case Parse::Iac:
            if (b == IAC) { // a doubled 0xFF is one data byte
                take(char(b));
                parse_ = Parse::Data;
            } else if (b >= WILL) {
                command_ = b;
                parse_ = Parse::Option;
            } else if (b == SB) {
                sub_.clear();
                parse_ = Parse::Sub;
            } else {
                parse_ = Parse::Data; // NOP, go-ahead and the like: nothing to do
            }
            break;
        case Parse::Option:
            onOption(command_, b, reply);
            parse_ = Parse::Data;
            break;
        case Parse::Sub:
            if (b == IAC)
                parse_ = Parse::SubIac;
            else if (!keepInSubnegotiation(char(b)))
                take(char(b));
            break;
        case Parse::SubIac:
            if (b == IAC) {
                parse_ = Parse::Sub;
                if (!keepInSubnegotiation(char(b))) take(char(b));
            } else {
                if (b == SE) onSubnegotiation();
                parse_ = Parse::Data; // anything else broke the subnegotiation off
            }
            break;
        }
    }
}

bool Session::keepInSubnegotiation(char b)
{
    if (sub_.size() < kMaxSubnegotiation) {
        sub_ += b;
        return true;
    }
    // No answer of a COM-PORT server comes near this length: the end was lost, and whatever
    // follows would otherwise be swallowed for good.
    sub_.clear();
    ++droppedSubnegotiations_;
    parse_ = Parse::Data;
    return false;
}

// Each side's options by the rules of RFC 1143, shortened: an option is answered only when its
// state changes, so two sides never answer each other forever.
void Session::onOption(std::uint8_t verb, std::uint8_t option, QByteArray &reply)
{
    State &remote = remote_[option];
    State &local = local_[option];
    const bool theirsWanted = option == Binary || option == SuppressGoAhead;
    const bool oursOffered = theirsWanted || option == ComPortOption;
    switch (verb) {
    case WILL:
        if (remote == On) break;
        if (!theirsWanted) {
            reply += command(DONT, option); // an echo of our own bytes, above all
            break;
        }
        if (remote == Off) reply += command(DO, option);
        remote = On;
        break;
    case WONT:
        if (remote == On) reply += command(DONT, option);
        remote = Off;
        break;
    case DO:
        if (local == On) break;
        if (!oursOffered) {
            reply += command(WONT, option);
            break;
        }
        if (local == Off) reply += command(WILL, option);
        local = On;
        break;
    case DONT:
        if (local == On) reply += command(WONT, option);
        local = Off;
        if (option == ComPortOption) refused_ = true;
        break;
    default: break;
    }
}

void Session::onSubnegotiation()
{
    if (sub_.size() < 3 || std::uint8_t(sub_[0]) != ComPortOption) return;
    const auto code = std::uint8_t(sub_[1]);
    const auto value = [this](int i) { return std::uint32_t(std::uint8_t(sub_[i])); };
    int setting = -1;
    std::uint32_t answer = value(2);
    switch (code) {
    case ServerOffset + SetBaudRate:
        if (sub_.size() < 6) return;
        setting = 0;
        answer = value(2) << 24 | value(3) << 16 | value(4) << 8 | value(5);
        break;
    case ServerOffset + SetDataSize: setting = 1; break;
    case ServerOffset + SetParity: setting = 2; break;
    case ServerOffset + SetStopSize: setting = 3; break;
    case ServerOffset + SetControl:
        // Only the answer about flow control; those about DTR and RTS are not waited for.
        if (answer >= 1 && answer <= 3) setting = 4;
        break;
    case ServerOffset + PurgeData:
        if (answer != PurgeReceived && answer != PurgeBoth) return;
        ++purgeAnswers_;
        // An answer owed to a purge given up is not the answer to the one awaited now.
        if (purgesOwed_ > 0) --purgesOwed_;
        if (purgesOwed_ == 0) purging_ = false;
        return;
    default: return; // line and modem state notices, signatures
    }
    if (setting < 0) return;
    answered_[std::size_t(setting)] = answer;
    answeredYet_[std::size_t(setting)] = true;
}

} // namespace kivrel::platform::rfc2217
