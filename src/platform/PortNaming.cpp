#include "PortNaming.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>
#include <algorithm>

#ifdef Q_OS_LINUX
#include <sys/stat.h>
#include <sys/sysmacros.h>
#endif

namespace velorin {

namespace {

// USB serial adapters (the RS-485 converters technicians carry) come first.
int rank(const QString& device) {
    if (device.contains(QLatin1String("ttyUSB")))
        return 0;
    if (device.contains(QLatin1String("ttyACM")))
        return 1;
    if (device.contains(QLatin1String("ttyS")))
        return 3;
    return 2;
}

// Names compared with their numbers as numbers: ttyUSB2 before ttyUSB10.
bool naturalLess(const QString& a, const QString& b) {
    int i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            int ei = i, ej = j;
            while (ei < a.size() && a[ei].isDigit()) ++ei;
            while (ej < b.size() && b[ej].isDigit()) ++ej;
            const qulonglong x = a.mid(i, ei - i).toULongLong(), y = b.mid(j, ej - j).toULongLong();
            if (x != y)
                return x < y;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

}  // namespace

QStringList orderDevices(QStringList devices) {
    std::stable_sort(devices.begin(), devices.end(), [](const QString& a, const QString& b) {
        if (rank(a) != rank(b))
            return rank(a) < rank(b);
        return naturalLess(a, b);
    });
    devices.removeDuplicates();
    return devices;
}

QString resolvedDevice(const QString& device) {
#ifdef Q_OS_WIN
    return device;
#else
    const QString real = QFileInfo(device).canonicalFilePath();
    return real.isEmpty() ? device : real;
#endif
}

bool isPseudoTerminal(const QString& device) {
    const QString real = QFileInfo(device).canonicalFilePath();
    if (real.isEmpty())
        return false;
#ifdef Q_OS_LINUX
    // By what the device is: the character devices 136..143 are pseudo-terminal ends.
    struct stat st {};
    if (::stat(QFile::encodeName(real).constData(), &st) == 0 && S_ISCHR(st.st_mode)) {
        const unsigned kind = major(st.st_rdev);
        if (kind >= 136 && kind <= 143)
            return true;
    }
#endif
    return real.startsWith(QLatin1String("/dev/pts/"));
}

std::optional<int> comNumberOf(const QString& name) {
    static const QRegularExpression re(QStringLiteral("^COM([0-9]{1,3})$"),
                                       QRegularExpression::CaseInsensitiveOption);
    const auto m = re.match(name.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    return m.captured(1).toInt();
}

std::vector<PortName> systemPorts(const QStringList& extraDevices) {
    std::vector<PortName> out;
#ifdef Q_OS_WIN
    for (const auto& info : QSerialPortInfo::availablePorts()) {
        if (auto n = comNumberOf(info.portName()); n && *n >= 1 && *n <= kComPorts)
            out.push_back({*n, info.portName(), info.description()});
    }
    int next = 1;
    for (const auto& dev : extraDevices) {
        while (next <= kComPorts &&
               std::any_of(out.begin(), out.end(), [&](auto& p) { return p.comNumber == next; }))
            ++next;
        if (next > kComPorts)
            break;
        out.push_back({next, dev, QString()});
    }
    std::sort(out.begin(), out.end(), [](auto& a, auto& b) { return a.comNumber < b.comNumber; });
#else
    QStringList devices;
    QHash<QString, QString> descriptions;
    for (const auto& info : QSerialPortInfo::availablePorts()) {
        devices << info.systemLocation();
        descriptions.insert(info.systemLocation(), info.description());
    }
    devices = orderDevices(devices);
    for (const auto& dev : extraDevices)
        if (!devices.contains(dev))
            devices << dev;
    for (int i = 0; i < devices.size() && i < kComPorts; ++i)
        out.push_back({i + 1, devices[i], descriptions.value(devices[i])});
#endif
    return out;
}

}  // namespace velorin
