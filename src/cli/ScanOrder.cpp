#include "ScanOrder.h"

namespace velorin {

ScanOrder::ScanOrder(int first, int last) : m_first(first), m_last(last) {}

ScanStep ScanOrder::step(long index) const {
    const long withinStation = index % kProbesPerStation;
    const int rates = static_cast<int>(kRates.size());
    return {m_first + static_cast<int>(index / kProbesPerStation),
            static_cast<int>(withinStation / rates), static_cast<int>(withinStation % rates)};
}

}  // namespace velorin
