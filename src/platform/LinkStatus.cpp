#include "LinkStatus.h"

namespace velorin {

QString portDisplayName(int comNumber, const QString& device) {
    const QString com = QStringLiteral("COM%1").arg(comNumber);
    if (device.isEmpty() || device.compare(com, Qt::CaseInsensitive) == 0)
        return com;
    return com + QStringLiteral("（%1）").arg(device);
}

QString linkStatusText(const Services& services) {
    const LinkState& link = services.link;
    const QString device = services.ports ? services.ports->deviceOf(link.comPort) : QString();
    return QStringLiteral("%1　%2　%3　站號 %4")
        .arg(portDisplayName(link.comPort, device), QString::fromStdString(link.settings),
             QString::fromUtf8(framingName(link.framing).data()))
        .arg(link.station);
}

}  // namespace velorin
