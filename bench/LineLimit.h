#pragma once
// What the line allows for one register per request, the yardstick of every benchmark here: the
// request and the reply on the wire, the drive's response, and in RTU the 3.5-character silence
// before each request (ASCII frames are delimited and need none).

#include "link/LinkSettings.h"
#include "link/Transaction.h"

namespace velorin::bench {

// Request and reply characters of one read (8 + 7 bytes in RTU, 17 + 15 characters in ASCII)
// and of one write (8 + 8, 17 + 17).
inline int readChars(Framing framing) {
    return isRtu(framing) ? 8 + 7 : 17 + 15;
}
inline int writeChars(Framing framing) {
    return isRtu(framing) ? 8 + 8 : 17 + 17;
}

inline double lineSeconds(const LineSettings& line, int chars) {
    return static_cast<double>(chars) * line.bitsPerCharacter() / line.baud;
}

inline double gapSeconds(const LineSettings& line, Framing framing) {
    return isRtu(framing) ? silentGap(line).count() / 1e6 : 0.0;
}

// One request at the line's limit, with the drive answering after `responseSeconds`.
inline double requestSeconds(const LineSettings& line, Framing framing, int chars,
                             double responseSeconds) {
    return lineSeconds(line, chars) + responseSeconds + gapSeconds(line, framing);
}

// Counts the requests a job sends.
class RequestCount : public TransactionObserver {
public:
    void onTransaction(const TransactionRecord&) override { ++requests; }
    int requests = 0;
};

}  // namespace velorin::bench
