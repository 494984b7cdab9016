#pragma once
// The run session's questions and notices as boxes, and the names of the settings it changes.

#include <QString>

#include "drive/RunSession.h"
#include "platform/Services.h"

namespace velorin {

// "P09.02 最高輸出頻率"
const QString& settingName(RunSetting setting);

// The run session's questions and notices as the panel's boxes over `parent`. A lost port is
// told once, and from then on every window names the port as lost.
RunHooks runBoxes(Services& services, QWidget* parent);

}  // namespace velorin
