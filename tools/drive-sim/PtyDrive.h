#pragma once
// The simulated drive behind a pseudo-terminal: the program under test opens the terminal's
// device as if it were a serial adapter. The drive answers only while the line settings the
// other side set match its own; a pseudo-terminal carries the rate and the stop bits but
// always 8 data bits without parity, so those two cannot be compared here.

#include <atomic>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "sim/SimulatedDrive.h"

namespace velorin {

class PtyDrive {
public:
    // The drives on the line, each answering its own station (one in the usual case).
    explicit PtyDrive(std::vector<SimulatedDrive*> drives);
    ~PtyDrive();

    // Opens the pseudo-terminal; false (with errno) on failure.
    bool open();
    // The device the program under test opens ("/dev/pts/5").
    const std::string& devicePath() const { return m_path; }

    // Serves requests until `stop` is set or `stdinFd` (if >= 0) reaches its end. A reply the
    // other end does not take within a second is dropped, as a line would lose it.
    void serve(const std::atomic<bool>& stop, int stdinFd);

    // Called for every write a drive carried out, with the drive's station.
    void onWrite(std::function<void(std::uint8_t, const WriteRecord&)> f) {
        m_onWrite = std::move(f);
    }

private:
    bool lineSettings(LineSettings& out) const;
    // Puts a reply on the terminal; false when (part of) it could not be delivered in time.
    bool put(std::span<const std::uint8_t> bytes, const std::atomic<bool>& stop);

    std::vector<SimulatedDrive*> m_drives;
    int m_master = -1;
    int m_slave = -1;  // held open so the line survives between the other side's opens
    std::string m_path;
    std::function<void(std::uint8_t, const WriteRecord&)> m_onWrite;
};

}  // namespace velorin
