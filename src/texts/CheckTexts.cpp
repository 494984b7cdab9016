#include "texts/CheckTexts.h"

namespace velorin {

std::string rangeText(const std::vector<RangeInForce>& ranges) {
    std::string text;
    for (const RangeInForce& r : ranges) {
        text += (text.empty() ? "" : "；") + r.range;
        if (!r.source)
            continue;
        const std::string code = Catalogue::codeOf(r.source->reg);
        text += "（" +
                (r.source->ratedShare.empty()
                     ? code + " = " + r.source->shown
                     : code + " 額定電流 " + r.source->shown + " A 的 " + r.source->ratedShare) +
                "）";
    }
    return text;
}

std::string checkFailureText(const CheckFailure& f) {
    return f.code + " 範圍不在" + rangeText({f.inForce}) + "。";
}

}  // namespace velorin
