// Internals of the serial ports that tests reach into; the logic never sees this header.
#pragma once

namespace kivrel::platform
{

// Every driver request the ports make beyond Qt's own goes through here (::ioctl by default),
// so a test can record the requests and play a driver that refuses them.
using SerialIoctl = int (*)(int fd, unsigned long request, void *arg);
extern SerialIoctl serialIoctl;

} // namespace kivrel::platform
