#pragma once
// What the drive would answer with a parameter error once the working values are written (ErP1:
// two terminals with one function; ErP2, ErP3: a motor's V/F frequencies out of order), the V/F
// curves as their fields hold them, and a write that resets the drive to its factory values. The
// editor asks first, the command line warns or refuses; the drive itself judges. Works on the
// editor core's state; the core's methods hand over here.

#include <optional>
#include <vector>

#include "editor/EditorCore.h"

namespace velorin {

class DriveWarningCheck {
public:
    explicit DriveWarningCheck(const EditorCore& core) : m_core(core) {}

    std::vector<DriveWarning> warnings() const;
    std::vector<VfPoint> vfCurve(int page) const;
    std::optional<std::int32_t> resetPending() const;

private:
    const EditorCore& m_core;
};

}  // namespace velorin
