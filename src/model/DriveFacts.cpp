#include "DriveFacts.h"

#include "link/Transaction.h"

namespace velorin {

bool drive::probeFound(const ReplyCheck& reply, Framing framing) {
    if (reply.outcome != LinkOutcome::Ok)
        return false;
    const int value = isBinary(framing) ? reply.value : static_cast<std::int16_t>(reply.value);
    return value > 0;
}

ScanOrder::ScanOrder(int first, int last) : m_first(first), m_last(last) {}

ScanStep ScanOrder::step(long index) const {
    const long withinStation = index % kProbesPerStation;
    const int rates = static_cast<int>(kRates.size());
    return {m_first + static_cast<int>(index / kProbesPerStation),
            static_cast<int>(withinStation / rates), static_cast<int>(withinStation % rates)};
}

}  // namespace velorin
