#pragma once
// The home, data, settings, cache, state and runtime folders of one test program: a temporary folder of
// its own, set in the environment before Qt starts, so neither the program nor the velorin-cli
// and velorin-drive-sim it runs can reach the user's change log or settings. Removed at the end.

#include <QString>
#include <QTemporaryDir>

namespace velorin::test {

class PrivateHome {
public:
    PrivateHome();
    PrivateHome(const PrivateHome&) = delete;
    PrivateHome& operator=(const PrivateHome&) = delete;

    QString path() const { return m_folder.path(); }
    // The home the program was started with (the user's).
    QString userHome() const { return m_userHome; }

    // The variables set, in the order they are set.
    static const char* const kVariables[6];

private:
    QString m_userHome;
    QTemporaryDir m_folder;
};

}  // namespace velorin::test
