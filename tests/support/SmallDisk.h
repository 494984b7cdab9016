#pragma once
// A tmpfs of a few kilobytes that can be filled up (root only; elsewhere mounted() is false).

#include <QTemporaryDir>
#include <fstream>
#include <string>

#ifdef __linux__
#include <sys/mount.h>
#include <unistd.h>
#endif

namespace velorin::test {

class SmallDisk {
public:
    SmallDisk() {
#ifdef __linux__
        m_mounted =
            ::geteuid() == 0 && ::mount("tmpfs", path().c_str(), "tmpfs", 0, "size=64k") == 0;
#endif
    }
    ~SmallDisk() {
#ifdef __linux__
        if (m_mounted)
            ::umount2(path().c_str(), MNT_DETACH);
#endif
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return m_mounted; }
    std::string path() const { return m_dir.path().toStdString(); }
    // Fills what is left with one file; free() removes it again.
    void fill() {
        std::ofstream filler(path() + "/filler", std::ios::binary);
        const std::string block(512, 'x');
        while (filler.write(block.data(), block.size()) && filler.flush()) {
        }
    }
    void free() { std::remove((path() + "/filler").c_str()); }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

}  // namespace velorin::test
