#pragma once
// The order in which a scan tries the line: station by station; within a station the ASCII
// formats before the RTU formats (format index 0..6, the drive's P498 order); within a format
// the rates from 4800 upwards. A drive at station 1 with 9600,N,7,2 answers the second probe.

#include <string>

#include "link/Global.h"

namespace velorin {

struct ScanStep {
    int station = 1;
    int format = 0;  // index in kFormats
    int rate = 0;    // index in kRates

    bool rtu() const { return kFormats[format].rtu; }
    std::string settings() const { return settingsString(rate, format); }
};

class ScanOrder {
public:
    static constexpr int kFirstStation = 1;
    static constexpr int kLastStation = 254;
    static constexpr long kProbesPerStation =
        static_cast<long>(kFormats.size()) * static_cast<long>(kRates.size());  // 35

    // Stations `first`..`last`, both within 1..254 and first <= last.
    ScanOrder(int first = kFirstStation, int last = kLastStation);

    int firstStation() const { return m_first; }
    int lastStation() const { return m_last; }
    // Probes in the whole scan (8890 for all stations).
    long total() const { return (m_last - m_first + 1) * kProbesPerStation; }
    // The probe numbered `index` (0-based) in the scan.
    ScanStep step(long index) const;

private:
    int m_first;
    int m_last;
};

}  // namespace velorin
