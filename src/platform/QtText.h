#pragma once
// The one bridge from the cores' UTF-8 texts to Qt's strings, for the windows and velorin-cli.

#include <QString>
#include <string>

namespace velorin {

inline QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace velorin
