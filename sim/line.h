// The serial line: a pseudo-terminal the simulator owns, a real serial device, or a TCP port on
// loopback standing in for a serial device server that passes raw bytes.
#pragma once

#include <string>

namespace kivrel::sim
{

class Port
{
  public:
    Port() = default;
    Port(const Port &) = delete;
    Port &operator=(const Port &) = delete;
    ~Port();

    // New pseudo-terminal; path() is then the slave a client opens. With a link path, a
    // symbolic link to it is made as well (and removed by close()).
    bool openPty(const std::string &linkPath, std::string &error);
    // Real device set to 4800 baud, 8N1, no handshake, raw.
    bool openDevice(const std::string &devicePath, std::string &error);
    // Listens on 127.0.0.1:port (0: any free port); path() is then "tcp://127.0.0.1:PORT", and
    // fd() the client's connection once acceptClient has taken one.
    bool openListen(int port, std::string &error);
    // Waits for a client, one at a time; false when `stopFd` became readable first.
    bool acceptClient(int stopFd, std::string &error);
    // The client left: the next one may come.
    void dropClient();
    bool isListening() const { return listenFd_ >= 0; }

    int fd() const { return fd_; }
    bool isPty() const { return slaveFd_ >= 0; }
    const std::string &path() const { return path_; }

    // Bytes written but not yet read by the client (pseudo-terminal only, else 0).
    int unreadByClient() const;
    // Closes everything; for a pseudo-terminal the client sees a hang-up.
    void close();

  private:
    int fd_ = -1;
    int slaveFd_ = -1; // held open so a client closing its end does not make reads fail
    int listenFd_ = -1;
    std::string path_;
    std::string link_;
};

} // namespace kivrel::sim
