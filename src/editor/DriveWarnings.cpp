#include <cmath>
#include <map>

#include "editor/DriveWarnings.h"
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

std::vector<DriveWarning> DriveWarningCheck::warnings() const {
    const Catalogue& catalogue = Catalogue::instance();
    std::vector<DriveWarning> warnings;
    if (m_core.pagePresent(pages::kTerminals)) {
        std::map<std::int32_t, std::vector<int>> byFunction;
        for (int reg = kFirstTerminal; reg <= kLastTerminal; ++reg)
            if (!m_core.m_unshown[reg] && m_core.m_working[reg] != 0 && m_core.m_working[reg] != -1)
                byFunction[m_core.m_working[reg]].push_back(reg);
        for (const auto& [function, regs] : byFunction) {
            if (regs.size() < 2)
                continue;
            const auto position = catalogue.optionPosition(regs.front(), function);
            warnings.push_back(
                {"ErP1", regs, 0,
                 {position ? std::string(catalogue.options(regs.front())[*position])
                           : std::to_string(function)}});
        }
    }
    for (const Curve& curve : kCurves) {
        if (!m_core.pagePresent(curve.page))
            continue;
        for (std::size_t i = 0; i + 1 < curve.frequencies.size(); ++i) {
            const int low = curve.frequencies[i], high = curve.frequencies[i + 1];
            if (m_core.m_unshown[low] || m_core.m_unshown[high] ||
                m_core.m_working[low] <= m_core.m_working[high])
                continue;
            auto shown = [&](int reg) {
                const Display d = displayValue(reg, m_core.m_working[reg]);
                const auto* text = std::get_if<ShowText>(&d);
                return text ? text->text : std::to_string(m_core.m_working[reg]);
            };
            warnings.push_back(
                {curve.error, {low, high}, static_cast<int>(i), {shown(low), shown(high)}});
        }
    }
    return warnings;
}

std::vector<VfPoint> DriveWarningCheck::vfCurve(int page) const {
    const ConversionContext context = m_core.markContext();
    auto value = [&](int reg) -> std::optional<double> {
        const auto raw = convertField(reg, m_core.m_marking.content(reg), context);
        const auto decimals = fieldDecimals(reg, context);
        if (!raw || !decimals ||
            m_core.m_marking.content(reg).text.find_first_not_of(" \t") == std::string::npos)
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

std::optional<std::int32_t> DriveWarningCheck::resetPending() const {
    const std::int32_t value = m_core.m_working[drive::kResetParameter];
    if (!m_core.pagePresent(pages::kLockReset) || m_core.m_unshown[drive::kResetParameter] ||
        value == m_core.m_copies.lockReset || !drive::isFactoryReset(value))
        return std::nullopt;
    return value;
}

}  // namespace velorin
