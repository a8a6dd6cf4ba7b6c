// The machine's serial ports behind the COM numbers; internals of the platform and its tests.
//
// COM n is the device named by KIVREL_COM<n> when that is set. Otherwise the machine's ports
// are numbered in the order of their stable identity (the /dev/serial/by-id name of a USB
// adapter, the kernel name of an on-board port), adapters first; a port seen later takes the
// lowest number nobody holds. A number once given stays with its port while the program runs,
// so an adapter pulled out and plugged in again (perhaps as ttyUSB1) comes back as the same COM.
#pragma once

#include <QList>
#include <QString>

#include <functional>

namespace kivrel::platform
{

struct MachinePort {
    QString location;     // /dev/ttyUSB0
    QString description;  // what the system calls it: "FT232R USB UART"
    QString serialNumber; // of a USB adapter, when it has one
    QString byId;         // its /dev/serial/by-id link, when there is one
};

// Where the port list comes from: the system by default; tests put a fake list here, and an
// empty function brings the system back. Either way the numbers given so far are forgotten.
using PortLister = std::function<QList<MachinePort>()>;
void setPortLister(PortLister lister);

// Looks at the machine's ports again; a new one gets its number here. A look costs some 25 ms
// on a machine with many terminals, so only opening a port and opening the list look.
void refreshPorts();
// The device of COM n, looked up afresh or as of the last look; empty when there is none.
QString comDevice(int n, bool look = true);
// As of the last look (refreshPorts), what the port selector says of COM n: "ttyUSB0 · FT232R USB
// UART · A50285BI",
// "~/sim/com2" for a device given by KIVREL_COM<n>, "—" for none.
QString comDescription(int n);
// /dev/ttyUSB0 reads as ttyUSB0, a path in the home folder as ~/..., anything else as is.
QString shortDeviceName(const QString &device);
// The kernel's name of a device, whatever link names it: a /dev/serial/by-id link or a link to a
// pseudo-terminal reads as "ttyUSB2" or "pts/3"; a path that does not resolve, and a network
// address ("rfc2217://10.0.0.7:4001"), as it stands.
QString kernelDeviceName(const QString &device);
// The COM number that maps a device, by KIVREL_COM<n> or the machine's port list, compared as
// the file system resolves both (network addresses as written); 0 when none does.
int comNumberOf(const QString &device);
// COM n carries, for this run, a device no number maps, given as `given`; an empty `given` makes
// n a number of its own again.
void setUnnumbered(int n, const QString &given);
QString unnumberedAs(int n);
// This user may read and write `device` (the dialout group on Linux).
bool userMayOpen(const QString &device);
// The last open of COM n failed for lack of permission (true) or worked (false).
void noteAccess(int n, bool denied);

// Something about the ports changed (an open found out more); whoever shows ports is told
// through the handler it registered here (the port selectors of a panel, in ui/).
void portsChanged();
void setPortsChangedHandler(std::function<void()> handler);

} // namespace kivrel::platform
