#include "LinkStatus.h"

namespace velorin {

QString portDisplayName(int comNumber, const QString& device) {
    const QString com = QStringLiteral("COM%1").arg(comNumber);
    if (device.isEmpty() || device.compare(com, Qt::CaseInsensitive) == 0)
        return com;
    return com + QStringLiteral("（%1）").arg(device);
}

QString linkPortText(const Services& services) {
    if (services.link().gateway)
        return QString::fromStdString(services.link().gateway->text());
    const int com = services.link().comPort;
    return portDisplayName(com, services.ports ? services.ports->deviceOf(com) : QString());
}

QString linkStatusText(const Services& services) {
    const LinkState& link = services.link();
    if (services.portLost)
        return linkPortText(services) + QStringLiteral("　") + portLostStatus();
    if (link.gateway)  // "192.168.1.50:502　Modbus TCP　站號 1"
        return QStringLiteral("%1　%2　站號 %3")
            .arg(QString::fromStdString(link.gateway->text()),
                 QString::fromUtf8(framingName(link.framing).data()))
            .arg(link.station);
    return QStringLiteral("%1　%2　%3　站號 %4")
        .arg(linkPortText(services), QString::fromStdString(link.settings),
             QString::fromUtf8(framingName(link.framing).data()))
        .arg(link.station);
}

}  // namespace velorin
