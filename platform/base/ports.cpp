#include "ports_p.h"
#include "netport_p.h"
#include "rs232.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kivrel::platform
{
namespace
{

constexpr int kLastNumber = 255;

// Names compared with runs of digits taken as numbers: ttyS2 before ttyS10.
bool naturalLess(const QString &a, const QString &b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype ei = i, ej = j;
            while (ei < a.size() && a[ei].isDigit())
                ++ei;
            while (ej < b.size() && b[ej].isDigit())
                ++ej;
            // Leading zeros aside, the longer number is the larger one.
            QString ta = a.mid(i, ei - i), tb = b.mid(j, ej - j);
            while (ta.size() > 1 && ta[0] == u'0')
                ta.remove(0, 1);
            while (tb.size() > 1 && tb[0] == u'0')
                tb.remove(0, 1);
            if (ta.size() != tb.size()) return ta.size() < tb.size();
            if (ta != tb) return ta < tb;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

QList<MachinePort> systemPorts()
{
    // The by-id links name an adapter by maker, model and serial number, whatever kernel
    // name it got this time.
    std::map<QString, QString> byId;
    const QDir links(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo &link : links.entryInfoList(QDir::System | QDir::Files))
        byId[link.canonicalFilePath()] = link.absoluteFilePath();
    QList<MachinePort> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        MachinePort p;
        p.location = info.systemLocation();
        p.description = info.description();
        p.serialNumber = info.serialNumber();
        const auto it = byId.find(QFileInfo(p.location).canonicalFilePath());
        if (it != byId.end()) p.byId = it->second;
        ports.append(p);
    }
    return ports;
}

// What stays the same when the adapter comes back.
QString identityOf(const MachinePort &p)
{
    if (!p.byId.isEmpty()) return QFileInfo(p.byId).fileName();
    if (!p.serialNumber.isEmpty()) return p.description + u'#' + p.serialNumber;
    return p.location;
}

bool isAdapter(const MachinePort &p)
{
    const QString name = QFileInfo(p.location).fileName();
    return !p.byId.isEmpty() || name.startsWith(u"ttyUSB") || name.startsWith(u"ttyACM");
}

struct Directory {
    PortLister lister;
    std::map<QString, int> numbers;     // identity -> COM number, for the whole run
    std::map<int, MachinePort> present; // COM number -> the port there now
    std::set<int> denied;
};

Directory &dir()
{
    static Directory d;
    return d;
}

// The numbers KIVREL_COM<n> (or --port) give to a device of the operator's choice, and those
// devices as the file system resolves them: such a number belongs to its mapping, and such a
// device is not listed a second time under a number of its own.
struct Mappings {
    std::set<int> numbers;
    std::set<QString> devices;
};

QString mappedDevice(int n)
{
    const QByteArray var = "KIVREL_COM" + QByteArray::number(n);
    return qEnvironmentVariable(var.constData());
}

Mappings mappings()
{
    Mappings m;
    for (int n = 1; n <= kLastNumber; ++n) {
        const QString device = mappedDevice(n);
        if (device.isEmpty()) continue;
        m.numbers.insert(n);
        const QString resolved = QFileInfo(device).canonicalFilePath();
        m.devices.insert(resolved.isEmpty() ? device : resolved);
    }
    return m;
}

} // namespace

void refreshPorts()
{
    Directory &d = dir();
    const QList<MachinePort> ports = d.lister ? d.lister() : systemPorts();
    const Mappings mapped = mappings();
    std::vector<std::pair<QString, MachinePort>> fresh;
    std::set<QString> seen;
    d.present.clear();
    for (const MachinePort &p : ports) {
        const QString resolved = QFileInfo(p.location).canonicalFilePath();
        if (mapped.devices.count(p.location) || mapped.devices.count(resolved) ||
            (!p.byId.isEmpty() && mapped.devices.count(p.byId)))
            continue;
        QString id = identityOf(p);
        if (!seen.insert(id).second) id += u'@' + p.location; // two adapters, one serial number
        const auto known = d.numbers.find(id);
        if (known != d.numbers.end())
            d.present[known->second] = p;
        else
            fresh.emplace_back(id, p);
    }
    std::sort(fresh.begin(), fresh.end(), [](const auto &a, const auto &b) {
        const bool aa = isAdapter(a.second), ba = isAdapter(b.second);
        if (aa != ba) return aa;
        return naturalLess(a.first, b.first);
    });
    std::set<int> held = mapped.numbers;
    for (const auto &entry : d.numbers)
        held.insert(entry.second);
    int next = 1;
    for (const auto &[id, port] : fresh) {
        while (held.count(next))
            ++next;
        if (next > kLastNumber) break;
        d.numbers[id] = next;
        d.present[next] = port;
        held.insert(next);
    }
}

void setPortLister(PortLister lister)
{
    dir() = Directory{};
    dir().lister = std::move(lister);
}

QString comDevice(int n, bool look)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(n);
#else
    const QString mapped = mappedDevice(n);
    if (!mapped.isEmpty()) return mapped;
    if (look) refreshPorts();
    const auto it = dir().present.find(n);
    return it == dir().present.end() ? QString() : it->second.location;
#endif
}

QString comDescription(int n)
{
    QStringList parts;
    const QString mapped = mappedDevice(n);
    if (!mapped.isEmpty()) {
        parts << kernelDeviceName(mapped);
    } else {
        const auto it = dir().present.find(n);
        if (it == dir().present.end()) return QStringLiteral("\u2014");
        const MachinePort &p = it->second;
        parts << shortDeviceName(p.location);
        if (!p.description.isEmpty() && p.description != QLatin1String("n/a"))
            parts << p.description;
        if (!p.serialNumber.isEmpty()) parts << p.serialNumber;
    }
    if (dir().denied.count(n))
        parts << QStringLiteral("no access: add the user to the dialout group");
    return parts.join(QStringLiteral(" \u00B7 "));
}

QString shortDeviceName(const QString &device)
{
    if (device.startsWith(u"/dev/")) return device.mid(5);
    const QString home = QDir::homePath();
    if (home.size() > 1 && device.startsWith(home + u'/')) return u'~' + device.mid(home.size());
    return device;
}

QString kernelDeviceName(const QString &device)
{
    if (isNetworkAddress(device)) return device.trimmed(); // its address is all it has
    const QString resolved = QFileInfo(device).canonicalFilePath();
    return shortDeviceName(resolved.isEmpty() ? device : resolved);
}

int comNumberOf(const QString &device)
{
    if (isNetworkAddress(device)) {
        for (int n = 1; n <= kLastNumber; ++n)
            if (mappedDevice(n).trimmed().compare(device.trimmed(), Qt::CaseInsensitive) == 0)
                return n;
        return 0;
    }
    const QString wanted = QFileInfo(device).canonicalFilePath();
    if (wanted.isEmpty()) return 0;
    for (int n = 1; n <= kLastNumber; ++n) {
        const QString mapped = mappedDevice(n);
        if (!mapped.isEmpty() && QFileInfo(mapped).canonicalFilePath() == wanted) return n;
    }
    refreshPorts();
    for (const auto &[n, port] : dir().present)
        if (QFileInfo(port.location).canonicalFilePath() == wanted) return n;
    return 0;
}

namespace
{
std::map<int, QString> &unnumbered()
{
    static std::map<int, QString> given;
    return given;
}
} // namespace

void setUnnumbered(int n, const QString &given)
{
    if (given.isEmpty())
        unnumbered().erase(n);
    else
        unnumbered()[n] = given;
}

QString unnumberedAs(int n)
{
    const auto it = unnumbered().find(n);
    return it == unnumbered().end() ? QString() : it->second;
}

namespace
{
std::function<void()> &changedHandler()
{
    static std::function<void()> handler;
    return handler;
}
} // namespace

void portsChanged()
{
    if (changedHandler()) changedHandler()();
}

void setPortsChangedHandler(std::function<void()> handler)
{
    changedHandler() = std::move(handler);
}

void noteAccess(int n, bool denied)
{
    if (denied)
        dir().denied.insert(n);
    else
        dir().denied.erase(n);
}

// ---- The C-style port list for the logic ---------------------------------------------------

namespace
{

template <std::size_t N> void copyText(char (&out)[N], const QString &text)
{
    QByteArray bytes = text.toLocal8Bit();
    if (bytes.size() >= qsizetype(N)) bytes.truncate(qsizetype(N) - 1);
    std::memcpy(out, bytes.constData(), size_t(bytes.size()));
    out[bytes.size()] = '\0';
}

} // namespace

bool userMayOpen(const QString &device)
{
    if (isNetworkAddress(device)) return true; // no file to have permissions
#ifdef Q_OS_UNIX
    // As an open is judged: by the effective (file-system) user.
    return ::faccessat(AT_FDCWD, QFile::encodeName(device).constData(), R_OK | W_OK, AT_EACCESS) ==
           0;
#else
    Q_UNUSED(device);
    return true;
#endif
}

} // namespace kivrel::platform

using namespace kivrel::platform;

int RefreshComPorts(void)
{
    refreshPorts();
    int highest = 0;
    for (int n = 1; n <= kLastNumber; ++n)
        if (!comDevice(n, false).isEmpty()) highest = n;
    return highest;
}

int GetComPortInfo(int port, ComPortInfo *info)
{
    if (port < 1 || port > kLastNumber) return RS232_INVALID_PORT;
    if (!info) return RS232_ERROR;
    *info = ComPortInfo{};
    const QString mapped = mappedDevice(port);
    QString device = mapped;
    if (mapped.isEmpty()) {
        const auto it = dir().present.find(port);
        if (it == dir().present.end()) return 0;
        device = it->second.location;
        copyText(info->description, it->second.description == QLatin1String("n/a")
                                        ? QString()
                                        : it->second.description);
        copyText(info->serialNumber, it->second.serialNumber);
    }
    info->mapped = !mapped.isEmpty();
    copyText(info->device, device);
    copyText(info->name, kernelDeviceName(device));
    info->present = QFileInfo::exists(device) ? 1 : 0;
    info->access = userMayOpen(device) ? 1 : 0;
    return 0;
}

int GetComName(int port, ComName *name)
{
    if (port < 1 || port > kLastNumber) return RS232_INVALID_PORT;
    if (!name) return RS232_ERROR;
    *name = ComName{};
    const QString given = unnumberedAs(port);
    name->number = given.isEmpty() ? port : 0;
    copyText(name->device, kernelDeviceName(comDevice(port, false)));
    copyText(name->given, given);
    return 0;
}
