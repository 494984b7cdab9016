#pragma once
// How a port and the link in use are named to the technician, the same in every window.

#include <QString>
#include <chrono>

#include "platform/Services.h"

namespace velorin {

// "COM3", or "COM3（/dev/ttyUSB0）" where the device's name is not the COM name itself, so the
// technician can tell which adapter the number stands for.
QString portDisplayName(int comNumber, const QString& device);

// The port in use as the status line names it.
QString linkPortText(const Services& services);

// The link in use: "COM3（/dev/ttyUSB0）　9600,N,7,2　ASCII　站號 1". A technician who connected
// through the search learns the drive's settings here. After a lost port:
// "COM3（…）　通訊埠已中斷".
QString linkStatusText(const Services& services);

// Said beside the link once the drive was seen to answer late and the wait was lengthened.
QString slowDriveText(std::chrono::microseconds wait);

}  // namespace velorin
