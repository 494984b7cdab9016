#pragma once
// The home and XDG folders of one test program in a temporary folder of its own, set before Qt
// starts, so no program it runs can reach the user's change log or settings.

#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

namespace velorin::test {

class PrivateHome {
public:
    PrivateHome() : m_folder(QDir::temp().filePath(QStringLiteral("velorin-test-home-XXXXXX"))) {
        if (!m_folder.isValid()) {
            // Without a home of its own a test could write into the user's: stop here.
            std::fprintf(stderr, "cannot make a temporary home: %s\n",
                         qPrintable(m_folder.errorString()));
            std::exit(2);
        }
        const QDir root(m_folder.path());
        const char* const subfolders[] = {nullptr,  ".config",      ".local/share",
                                          ".cache", ".local/state", "runtime"};
        for (int i = 0; i < 6; ++i) {
            const QString path =
                subfolders[i] ? root.filePath(QLatin1String(subfolders[i])) : root.path();
            root.mkpath(path);
            // The runtime folder is the user's alone, as the system makes it.
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            qputenv(kVariables[i], QFile::encodeName(path));
        }
    }
    PrivateHome(const PrivateHome&) = delete;
    PrivateHome& operator=(const PrivateHome&) = delete;

    // The variables set, in the order they are set.
    static constexpr const char* kVariables[6] = {"HOME",           "XDG_CONFIG_HOME",
                                                  "XDG_DATA_HOME",  "XDG_CACHE_HOME",
                                                  "XDG_STATE_HOME", "XDG_RUNTIME_DIR"};

private:
    QTemporaryDir m_folder;
};

}  // namespace velorin::test
