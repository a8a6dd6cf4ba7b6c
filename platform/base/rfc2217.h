// The client's side of telnet's COM-PORT-OPTION (RFC 2217), without a socket: what to send to a
// serial device server, and what its bytes mean. The network port (netport.cpp) moves the bytes.
#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

namespace kivrel::platform::rfc2217
{

// The line as the server's serial port is to carry it.
struct Line {
    std::uint32_t baudRate = 4800;
    int dataBits = 8;
    int parity = 0; // the RS-232 library's codes: 0 none, 1 odd, 2 even, 3 mark, 4 space
    int stopBits = 1;
};

// Data bytes on their way out: every 0xFF doubled, as telnet wants it.
QByteArray escape(const char *data, qsizetype count);

class Session
{
  public:
    // What the client says as soon as it is connected: binary both ways, no go-ahead, and that
    // it will send COM-PORT commands.
    QByteArray greeting();
    // The line settings and no flow control, then DTR and RTS on. Only the first five are
    // waited for: a server may leave the modem lines as they are and not answer (ser2net does on
    // a pseudo-terminal).
    QByteArray configure(const Line &line);
    // Empties the server's buffer of bytes from the device (PURGE-DATA 1): until the server has
    // answered it, and every purge before it, whatever arrives was read before and is dropped.
    QByteArray purgeInput();
    // Empties the server's buffer of bytes for the device (PURGE-DATA 2); nothing is waited for.
    QByteArray purgeOutput();
    // The purge of the input went unanswered for too long: bytes count again. Its answer, when
    // it comes, still counts as the answer to it.
    void givePurgeUp() { purging_ = false; }

    // Takes bytes from the server: data for the program goes to `data`, what the client owes
    // the server in answer (option refusals) to `reply`.
    void receive(const char *bytes, qsizetype count, QByteArray &data, QByteArray &reply);

    bool accepted() const { return localState(ComPort) == On; }
    bool refused() const { return refused_; }
    bool purging() const { return purging_; }
    // Purges of the input the server has answered so far.
    int purgeAnswers() const { return purgeAnswers_; }
    // Subnegotiations dropped so far because they ran past kMaxSubnegotiation bytes without
    // their end; reading went on with the byte that was one too many, as data.
    int droppedSubnegotiations() const { return droppedSubnegotiations_; }
    static constexpr qsizetype kMaxSubnegotiation = 256;
    // The last data bytes dropped while a purge awaited its answer (a server's words as it
    // hangs up, say).
    const QByteArray &purged() const { return purged_; }
    // The server has answered every line setting of the last configure(); `why` says which
    // one it set otherwise, empty when it set them all as asked.
    bool configured(QString *why) const;

  private:
    enum Option : std::uint8_t { Binary = 0, Echo = 1, SuppressGoAhead = 3, ComPort = 44 };
    enum State : std::uint8_t { Off, Asked, On };
    State localState(int option) const { return local_[std::size_t(option)]; }

    void onOption(std::uint8_t command, std::uint8_t option, QByteArray &reply);
    void onSubnegotiation();
    // Adds a byte to the subnegotiation; false when that would make it too long, and it was
    // dropped instead.
    bool keepInSubnegotiation(char b);

    // Telnet's own framing of what arrives.
    enum class Parse { Data, Iac, Option, Sub, SubIac };
    Parse parse_ = Parse::Data;
    std::uint8_t command_ = 0;
    QByteArray sub_;

    std::array<State, 256> local_{};  // what we do (WILL), as agreed so far
    std::array<State, 256> remote_{}; // what the server does (DO), as agreed so far
    bool refused_ = false;
    bool purging_ = false;
    int purgesOwed_ = 0; // sent, not yet answered: the server answers them in order
    int purgeAnswers_ = 0;
    int droppedSubnegotiations_ = 0;
    QByteArray purged_;

    // Line settings asked for and answered: baud rate, data bits, parity, stop bits, flow.
    std::array<std::uint32_t, 5> asked_{};
    std::array<std::uint32_t, 5> answered_{};
    std::array<bool, 5> answeredYet_{};
};

} // namespace kivrel::platform::rfc2217
