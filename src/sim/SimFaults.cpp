// The simulated drive's fault history: what it remembers, what it records when a run command
// meets a bad setting, and the clearing through P17.08.

#include <algorithm>
#include <charconv>

#include "model/FaultRegisters.h"
#include "model/Rules.h"
#include "model/ValueCheck.h"
#include "sim/SimulatedDrive.h"

namespace velorin {

namespace {

using namespace faultregs;

// The numbers of P12.03's list the simulated drive trips with.
constexpr int kErP0 = 19, kErP1 = 20, kErP2 = 21, kErP3 = 22;
constexpr int kFirstTerminal = 149, kLastTerminal = 158;  // P05.03-P05.12, M0-M9
// fe0 ... fe4 of motor 1 (P09.10 ... P09.02) and motor 2 (P10.10 ... P10.02).
constexpr int kCurves[2][5] = {{256, 254, 252, 250, 248}, {317, 315, 313, 311, 309}};

std::optional<int> word(std::string_view text) {
    int v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc{} || end != text.data() + text.size() || text.empty() || v < 0 || v > 65535)
        return std::nullopt;
    return v;
}

}  // namespace

std::optional<std::vector<RecordedFault>> parseFaultHistory(std::string_view text) {
    std::vector<RecordedFault> faults;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        const std::size_t at = item.find('@');
        const auto number = word(item.substr(0, at));
        const auto hours = at == std::string_view::npos ? std::nullopt : word(item.substr(at + 1));
        if (!number || !hours || faults.size() == kSlots)
            return std::nullopt;
        faults.push_back({*number, *hours});
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
        if (text.empty())
            return std::nullopt;  // a trailing comma
    }
    return faults;
}

void SimulatedDrive::setFaultHistory(std::span<const RecordedFault> faults) {
    clearFaultHistory();
    const std::size_t count = std::min<std::size_t>(faults.size(), kSlots);
    for (std::size_t i = 0; i < count; ++i) {
        m_regs[kFirstCode + i] = static_cast<std::uint16_t>(faults[i].number);
        m_regs[kFirstHours + i] = static_cast<std::uint16_t>(faults[i].hours);
    }
    if (count > 0 && m_regs[kRunHours] < m_regs[kFirstHours])
        m_regs[kRunHours] = m_regs[kFirstHours];
}

void SimulatedDrive::clearFaultHistory() {
    for (int reg = kFirstCode; reg < kFirstHours + kSlots; ++reg) m_regs[reg] = 0;
}

void SimulatedDrive::recordFault(int number) {
    for (int slot = kSlots - 1; slot > 0; --slot) {
        m_regs[kFirstCode + slot] = m_regs[kFirstCode + slot - 1];
        m_regs[kFirstHours + slot] = m_regs[kFirstHours + slot - 1];
    }
    m_regs[kFirstCode] = static_cast<std::uint16_t>(number);
    m_regs[kFirstHours] = m_regs[kRunHours];
    // Standing still at the trip: no speed or current; the DC bus and the heat sink as they were.
    for (int reg = kFirstSeen; reg <= kLastSeen; ++reg) m_regs[reg] = 0;
    m_regs[416] = 3110;  // P12.16: 311.0 V
    m_regs[423] = 352;   // P12.23: 35.2 °C
}

int SimulatedDrive::settingFault() const {
    for (int a = kFirstTerminal; a <= kLastTerminal; ++a)
        for (int b = a + 1; b <= kLastTerminal; ++b)
            if (m_regs[a] != 0 && m_regs[a] == m_regs[b])
                return kErP1;
    for (int motor = 0; motor < 2; ++motor)
        for (int i = 0; i + 1 < 5; ++i)
            if (m_regs[kCurves[motor][i]] > m_regs[kCurves[motor][i + 1]])
                return motor == 0 ? kErP2 : kErP3;
    std::array<std::int32_t, kRegisterCount> value{};
    for (int reg = 0; reg < kRegisterCount; ++reg)
        value[reg] = registerSigned(reg) ? static_cast<std::int16_t>(m_regs[reg])
                                         : std::int32_t{m_regs[reg]};
    std::array<std::int16_t, kPageCount + 1> pages{};
    std::fill(pages.begin(), pages.begin() + 29, std::int16_t{1});
    // A value beyond a constant bound the drive refuses when it is written; what it finds only
    // at a run is a value beyond a bound another setting gives (P02.36 above P02.37, a motor
    // current beyond the drive's rating). Its own factory values are never a bad setting.
    static const auto factory = factoryRegisterValues();
    const auto relative = [](const CheckBound& bound) {
        return bound.kind != CheckBound::Kind::Constant;
    };
    for (const RangeFailure& failure : valueCheck(value, pages, value[382], value[470]))
        for (const RangeCheck& check : Catalogue::instance().checks())
            if (check.reg == failure.reg && (relative(check.lower) || relative(check.upper)) &&
                m_regs[failure.reg] != factory[failure.reg])
                return kErP0;
    return 0;
}

}  // namespace velorin
