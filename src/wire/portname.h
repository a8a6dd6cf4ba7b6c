// src/wire: the sensor's protocol below the panel, shared by the panel program and the command
// line; uses core and util.
// The one name of the sensor's port that messages, titles, captions and the journal use.
#ifndef KIVREL_WIRE_PORTNAME_H
#define KIVREL_WIRE_PORTNAME_H

namespace kivrel
{

// "COM3 (ttyUSB2)"; "COM3" when the number has no device; for a device no COM number maps, the
// path it was given by: "/dev/serial/by-id/usb-FTDI_X-if00-port0 (ttyUSB2)". A network sensor's
// device is its address: "COM4 (rfc2217://10.0.0.7:4001)", or unnumbered "tcp://[::1]:4001".
void ComLabel(int port, char *text, int size);

} // namespace kivrel

#endif
