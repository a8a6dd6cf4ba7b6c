// A COM port on a serial device of this machine, on Qt SerialPort. Internals of the serial
// ports.
#pragma once

#include "port_p.h"

namespace kivrel::platform
{

// COM `number` on `device` ("/dev/ttyUSB0"), not yet open.
std::shared_ptr<Port> makeSerialPort(int number, const QString &device);

} // namespace kivrel::platform
