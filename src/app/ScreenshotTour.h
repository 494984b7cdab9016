#pragma once
// The README's pictures: the demo's windows as a technician first meets them.

#include <QStringList>

namespace velorin {

struct Services;

// On the demo's drive (a COM port of its own, found at its factory settings through the real
// event-loop wait) brings up the connection screen, connects, opens the run panel, goes back
// and opens the editor, each given time to settle, while a ScreenshotTaker saves every window
// into `folder` as it first comes up; every question is answered No (nobody is there to answer). `atRest` waits for the later pictures too (the menu's
// second, the editor's with its first page read). Ends with every window closed and `services`
// as it was but for its link state; returns the pictures saved.
QStringList takeScreenshotTour(Services& services, const QString& folder, bool atRest);

}  // namespace velorin
