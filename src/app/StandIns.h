#pragma once
// A window that stands in for one still being built, so the program runs from end to end:
// it is captioned like the real one, says what it stands for and offers the way back.

#include <QWidget>

#include "platform/Services.h"

namespace velorin {

// Stands in for the parameter editor: closes the mode menu once shown, as the editor does after
// its first page; returning shows the mode menu (online) or the connection screen (offline).
QWidget* showEditorStandIn(Services& services);

}  // namespace velorin
