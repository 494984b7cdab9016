// What the drive would answer with a parameter error once written, and a write that resets it:
// the editor asks first, the command line warns or refuses.

#include <cmath>
#include <map>

#include "editor/EditorCore.h"
#include "model/DriveFacts.h"

namespace velorin {

namespace {

constexpr int kFirstTerminal = 149, kLastTerminal = 158;  // P05.03-P05.12, M0-M9
struct Curve {
    const char* error;
    int page;
    std::array<int, 5> frequencies;  // fe0 ... fe4
};
// P09.10, P09.08, P09.06, P09.04, P09.02 for motor 1; P10.10 ... P10.02 for motor 2.
constexpr Curve kCurves[] = {{"ErP2", 12, {256, 254, 252, 250, 248}},
                             {"ErP3", 15, {317, 315, 313, 311, 309}}};

}  // namespace

const char* const EditorCore::kResetQuestion =
    "P17.08 將重置變頻機全部參數為出廠值，通訊設定將回到 9600,N,7,2、站號 1。是否繼續？";

std::vector<DriveWarning> EditorCore::driveWarnings() const {
    const Catalogue& catalogue = Catalogue::instance();
    std::vector<DriveWarning> warnings;
    if (pagePresent(pages::kTerminals)) {
        std::map<std::int32_t, std::vector<int>> byFunction;
        for (int reg = kFirstTerminal; reg <= kLastTerminal; ++reg)
            if (!m_unshown[reg] && m_working[reg] != 0 && m_working[reg] != -1)
                byFunction[m_working[reg]].push_back(reg);
        for (const auto& [function, regs] : byFunction) {
            if (regs.size() < 2)
                continue;
            std::string detail;
            for (int reg : regs) detail += (detail.empty() ? "" : "、") + catalogue.codeOf(reg);
            const auto position = catalogue.optionPosition(regs.front(), function);
            detail += " 同為 " + (position ? std::string(catalogue.options(regs.front())[*position])
                                           : std::to_string(function));
            warnings.push_back({"ErP1", detail});
        }
    }
    for (const Curve& curve : kCurves) {
        if (!pagePresent(curve.page))
            continue;
        for (std::size_t i = 0; i + 1 < curve.frequencies.size(); ++i) {
            const int low = curve.frequencies[i], high = curve.frequencies[i + 1];
            if (m_unshown[low] || m_unshown[high] || m_working[low] <= m_working[high])
                continue;
            auto named = [&](int reg, std::size_t index) {
                const Display d = displayValue(reg, m_working[reg]);
                const auto* text = std::get_if<ShowText>(&d);
                return catalogue.codeOf(reg) + " fe" + std::to_string(index) + " " +
                       (text ? text->text : std::to_string(m_working[reg]));
            };
            warnings.push_back({curve.error, named(low, i) + " 大於 " + named(high, i + 1)});
        }
    }
    return warnings;
}

std::vector<VfPoint> EditorCore::vfCurve(int page) const {
    const ConversionContext context = markContext();
    auto value = [&](int reg) -> std::optional<double> {
        const auto raw = convertField(reg, m_fields.content[reg], context);
        const auto decimals = fieldDecimals(reg, context);
        if (!raw || !decimals || m_fields.content[reg].text.find_first_not_of(" \t") == std::string::npos)
            return std::nullopt;
        return *raw / std::pow(10.0, *decimals);
    };
    for (const Curve& curve : kCurves) {
        if (curve.page != page)
            continue;
        std::vector<VfPoint> points;
        for (int reg : curve.frequencies)
            points.push_back({reg, reg + 1, value(reg), value(reg + 1)});
        for (std::size_t i = 0; i + 1 < points.size(); ++i)
            if (points[i].frequency && points[i + 1].frequency &&
                *points[i].frequency > *points[i + 1].frequency)
                points[i].outOfOrder = points[i + 1].outOfOrder = true;
        return points;
    }
    return {};
}

std::string EditorCore::warningQuestion(const std::vector<DriveWarning>& warnings) {
    std::string list;
    for (const DriveWarning& w : warnings)
        list += (list.empty() ? "" : "；") + w.error + " " + w.detail;
    return "寫入後變頻機可能顯示 " + list + "，是否仍要寫入？";
}

std::optional<std::int32_t> EditorCore::resetPending() const {
    const std::int32_t value = m_working[drive::kResetParameter];
    if (!pagePresent(pages::kLockReset) || m_unshown[drive::kResetParameter] ||
        value == m_copies.lockReset || !drive::isFactoryReset(value))
        return std::nullopt;
    return value;
}

}  // namespace velorin
