#include "LinkStatus.h"

#include "ui/texts/WindowTexts.h"

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
    const QString gap = QStringLiteral("　");
    if (services.portLost)
        return linkPortText(services) + gap + QString::fromUtf8(kPortLostText);
    const QString station = QString::fromUtf8(kStationText).arg(link.station);
    const QString framing = QString::fromUtf8(framingName(link.framing).data());
    if (link.gateway)  // "192.168.1.50:502　Modbus TCP　站號 1"
        return QString::fromStdString(link.gateway->text()) + gap + framing + gap + station;
    return linkPortText(services) + gap + QString::fromStdString(link.settings) + gap + framing +
           gap + station;
}

QString slowDriveText(std::chrono::microseconds wait) {
    return QString::fromUtf8(kSlowDriveText).arg(static_cast<qlonglong>(wait.count() / 1000));
}

}  // namespace velorin
