#include "line.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace kivrel::sim
{

namespace
{

std::string sysError(const std::string &what)
{
    return what + ": " + std::strerror(errno);
}

bool makeRaw(int fd)
{
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return false;
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS | CSIZE);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, B4800);
    ::cfsetospeed(&tio, B4800);
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

} // namespace

Port::~Port()
{
    close();
}

bool Port::openPty(const std::string &linkPath, std::string &error)
{
    fd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) {
        error = sysError("cannot create a pseudo-terminal");
        return false;
    }
    char name[PATH_MAX];
    if (::grantpt(fd_) != 0 || ::unlockpt(fd_) != 0 || ::ptsname_r(fd_, name, sizeof name) != 0) {
        error = sysError("cannot set up the pseudo-terminal");
        close();
        return false;
    }
    path_ = name;
    slaveFd_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slaveFd_ < 0 || !makeRaw(slaveFd_)) {
        error = sysError("cannot open " + path_);
        close();
        return false;
    }
    if (!linkPath.empty()) {
        struct stat st {
        };
        if (::lstat(linkPath.c_str(), &st) == 0) {
            // Replace a link left behind by an earlier run, but never a real file.
            if (!S_ISLNK(st.st_mode)) {
                error = "cannot make link " + linkPath + ": a file of that name exists";
                close();
                return false;
            }
            ::unlink(linkPath.c_str());
        }
        if (::symlink(path_.c_str(), linkPath.c_str()) != 0) {
            error = sysError("cannot make link " + linkPath);
            close();
            return false;
        }
        link_ = linkPath;
    }
    return true;
}

bool Port::openDevice(const std::string &devicePath, std::string &error)
{
    fd_ = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) {
        error = sysError("cannot open " + devicePath);
        return false;
    }
    if (!::isatty(fd_) || !makeRaw(fd_)) {
        error = devicePath + " is not a serial device";
        close();
        return false;
    }
    ::tcflush(fd_, TCIOFLUSH);
    path_ = devicePath;
    return true;
}

bool Port::openListen(int port, std::string &error)
{
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        error = sysError("cannot make a socket");
        return false;
    }
    const int on = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK); // loopback only: no sensor for the network
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    socklen_t length = sizeof address;
    if (::bind(listenFd_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 1) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        error = sysError("cannot listen on 127.0.0.1:" + std::to_string(port));
        close();
        return false;
    }
    path_ = "tcp://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    return true;
}

bool Port::acceptClient(int stopFd, std::string &error)
{
    for (;;) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listenFd_, &readable);
        FD_SET(stopFd, &readable);
        if (::select(std::max(listenFd_, stopFd) + 1, &readable, nullptr, nullptr, nullptr) < 0) {
            if (errno == EINTR) continue;
            error = sysError("waiting for a client failed");
            return false;
        }
        if (FD_ISSET(stopFd, &readable)) return false;
        fd_ = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd_ < 0) continue; // gone again before it was taken
        // Each paced reply byte leaves when due, not when Nagle's algorithm lets it.
        const int on = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        return true;
    }
}

void Port::dropClient()
{
    if (listenFd_ >= 0 && fd_ >= 0) ::close(fd_);
    if (listenFd_ >= 0) fd_ = -1;
}

int Port::unreadByClient() const
{
    int n = 0;
    if (slaveFd_ < 0 || ::ioctl(slaveFd_, FIONREAD, &n) != 0) return 0;
    return n;
}

void Port::close()
{
    if (!link_.empty()) {
        // Only our own link: another run may have taken the name meanwhile.
        char target[PATH_MAX];
        const ssize_t n = ::readlink(link_.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == path_)
            ::unlink(link_.c_str());
        link_.clear();
    }
    if (fd_ >= 0) ::close(fd_);
    if (slaveFd_ >= 0) ::close(slaveFd_);
    if (listenFd_ >= 0) ::close(listenFd_);
    fd_ = slaveFd_ = listenFd_ = -1;
}

} // namespace kivrel::sim
