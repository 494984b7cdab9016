#pragma once
// The program's folder and the user's desktop, from Qt's standard locations.

#include "Services.h"

namespace velorin {

class QtFolders : public Folders {
public:
    QString programFolder() const override;
    // Falls back to the home folder where the system has no desktop folder.
    QString desktopFolder() const override;
};

}  // namespace velorin
