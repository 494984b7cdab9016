// A line session over a line that repeats, delays, reflects, splits, garbles, drops and corrupts
// frames, before drives whose every register holds a value of its own. Shared with tests/link.

#include <array>
#include <map>
#include <memory>
#include <optional>

#include "FuzzCheck.h"
#include "link/LineSession.h"

namespace velorin::fuzz {

namespace {

// The drives behind the line, at stations 1..`stations`: each answers its own station after its
// response time, at the line's pace.
class FaultyLine : public TimedPort {
public:
    FaultyLine(VirtualClock& clock, Framing framing, const LineMix& mix,
               std::function<std::uint32_t()> draw, int stations)
        : TimedPort(clock, isRtu(framing) ? "9600,E,8,1" : "9600,N,7,2"),
          m_framing(framing),
          m_mix(mix),
          m_draw(std::move(draw)),
          m_values(static_cast<std::size_t>(stations)) {
        for (int s = 1; s <= stations; ++s)
            for (int r = 0; r < kRegisters; ++r) setValue(s, r, fresh());
    }
    std::string deviceName() const override { return "faulty"; }
    // A wire: reflections and echoes come while the request is still on it.
    bool carriesWireTime() const override { return true; }

    bool send(std::span<const std::uint8_t> bytes) override {
        const Micros now = timedWait().now();
        const LineSettings line = *parseSettings(m_settings);
        const Micros requestEnd = now + lineTime(line, bytes.size());
        // The session's requests are well-formed (a request that is not throws).
        const std::vector<std::uint8_t> fields = framePayload(bytes, m_framing).value();
        const std::uint8_t station = fields[0];
        const FunctionCode function{fields[1]};
        const int reg = fields[2] << 8 | fields[3], word = fields[4] << 8 | fields[5];
        const std::optional<LineFault> fault = draw();
        if (fault)
            ++faults;
        if (fault == LineFault::Reflect || fault == LineFault::EchoOnly)
            arrive(requestEnd, {bytes.begin(), bytes.end()});
        if (fault == LineFault::DropRequest || fault == LineFault::EchoOnly)
            return true;
        // No drive answers at another station.
        if (station < 1 || station > static_cast<int>(m_values.size()))
            return true;
        std::vector<std::uint8_t> payload{station, wireByte(function)};
        const auto refused = static_cast<std::uint8_t>(wireByte(function) | kExceptionBit);
        if (function == FunctionCode::ReadRegisters && (word > kLineMaxBlock || word == 0)) {
            payload = {station, refused, wireByte(ExceptionCode::IllegalValue)};
        } else if (function == FunctionCode::ReadRegisters && reg + word > kRegisters) {
            payload = {station, refused, wireByte(ExceptionCode::IllegalAddress)};
        } else if (function == FunctionCode::ReadRegisters) {
            blocks += word > 1;
            payload.push_back(static_cast<std::uint8_t>(2 * word));
            for (int r = reg; r < reg + word; ++r)
                payload.insert(payload.end(),
                               {static_cast<std::uint8_t>(value(station, r) >> 8),
                                static_cast<std::uint8_t>(value(station, r) & 0xFF)});
        } else {
            setValue(station, reg, static_cast<std::uint16_t>(word));
            payload.insert(payload.end(), fields.begin() + 2, fields.end());
        }
        std::vector<std::uint8_t> reply = framedPayload(m_framing, payload);
        if (fault == LineFault::DropReply)
            return true;
        if (fault == LineFault::Corrupt)
            reply[reply.size() / 2] ^= 0x24;
        Micros at = requestEnd + Micros{1000 + static_cast<long long>(m_draw() % 3000)} +
                    lineTime(line, reply.size());
        if (fault == LineFault::Late)
            at += Micros{static_cast<long long>(m_draw() % 1000000)};
        if (fault == LineFault::Split) {
            const std::size_t half = 1 + m_draw() % (reply.size() - 1);
            arrive(at - Micros{5000}, {reply.begin(), reply.begin() + half});
            reply.erase(reply.begin(), reply.begin() + half);
            at += Micros{static_cast<long long>(m_draw() % 40000)};
        }
        if (fault == LineFault::Noise)
            arrive(now + Micros{static_cast<long long>(m_draw() % 200000)}, garbage());
        arrive(at, reply);
        if (fault == LineFault::Repeat)
            arrive(at + Micros{static_cast<long long>(m_draw() % 300000)} +
                       lineTime(line, reply.size()),
                   reply);
        return true;
    }

    static constexpr int kRegisters = 64;
    std::uint16_t value(int station, int reg) const { return m_values.at(station - 1).at(reg); }
    // Which drive's register holds `v`: station and register; station 0 when none does.
    std::pair<int, int> holder(std::uint16_t v) const {
        const auto it = m_owner.find(v);
        return it == m_owner.end() ? std::pair{0, 0} : it->second;
    }
    // A value no register of any drive holds yet.
    std::uint16_t fresh() {
        for (;;) {
            const auto v = static_cast<std::uint16_t>(m_draw());
            if (!m_owner.count(v))
                return v;
        }
    }
    long faults = 0, blocks = 0;  // blocks: block replies the drive sent

private:
    void setValue(int station, int reg, std::uint16_t v) {
        std::uint16_t& held = m_values.at(station - 1)[reg];
        m_owner.erase(held);
        held = v;
        m_owner[v] = {station, reg};
    }
    std::optional<LineFault> draw() {
        if (static_cast<int>(m_draw() % 100) >= m_mix.percent)
            return std::nullopt;
        return m_mix.faults[m_draw() % m_mix.faults.size()];
    }
    std::vector<std::uint8_t> garbage() {
        std::vector<std::uint8_t> g(1 + m_draw() % 12);
        for (auto& b : g) b = static_cast<std::uint8_t>(m_draw());
        return g;
    }

    Framing m_framing;
    LineMix m_mix;
    std::function<std::uint32_t()> m_draw;
    std::vector<std::array<std::uint16_t, kRegisters>> m_values;  // by station, from 1
    std::map<std::uint16_t, std::pair<int, int>> m_owner;         // station and register
};

}  // namespace

std::string runLineSequence(Framing framing, const LineMix& mix,
                            std::function<std::uint32_t()> draw, int operations, LineTally& t,
                            bool blockReads, int stations) {
    VirtualClock clock;
    auto owned = std::make_unique<FaultyLine>(clock, framing, mix, draw, stations);
    FaultyLine& line = *owned;
    LineSession session(std::move(owned));
    session.setFraming(framing);
    session.setBlockReads(blockReads);
    if (session.open(1, line.settings()) != OpenResult::Ok)
        return "the line does not open";
    std::string fault;
    const auto where = [&](int station, int reg) {
        return (stations > 1 ? "station " + std::to_string(station) + " " : std::string()) +
               "register " + std::to_string(reg);
    };
    for (int op = 0; op < operations; ++op) {
        // With several drives, the session turns to another one now and then.
        if (stations > 1 && draw() % 4 == 0) {
            session.setStation(static_cast<std::uint8_t>(1 + draw() % stations));
            ++t.switches;
        }
        const int station = session.station();
        const int kind = static_cast<int>(draw() % 10);
        if (kind < 2) {
            const auto reg = static_cast<std::uint16_t>(draw() % FaultyLine::kRegisters);
            const std::uint16_t v = line.fresh();
            const ReplyCheck r = session.write(reg, v);
            ++t.writes;
            // Whether confirmed or not, a value that landed anywhere landed on this drive's
            // register.
            const auto [heldAt, heldReg] = line.holder(v);
            if (heldAt != 0 && (heldAt != station || heldReg != reg)) {
                ++t.misplaced;
                fault =
                    "a write of " + where(station, reg) + " landed on " + where(heldAt, heldReg);
            }
            if (r.outcome == LinkOutcome::Ok) {
                ++t.confirmed;
                if (line.value(station, reg) != v) {
                    ++t.untaken;
                    fault = "a write of " + where(station, reg) +
                            " told confirmed the drive did not take";
                }
            }
            continue;
        }
        std::vector<std::uint16_t> regs;
        const int first = static_cast<int>(draw() % FaultyLine::kRegisters);
        const int count = kind < 5 ? 1 : 1 + static_cast<int>(draw() % 40);
        for (int i = 0; i < count; ++i)
            regs.push_back(static_cast<std::uint16_t>((first + i) % FaultyLine::kRegisters));
        const std::vector<ReplyCheck> got = session.readRegisters(regs);
        for (std::size_t i = 0; i < got.size(); ++i) {
            ++t.reads;
            if (got[i].outcome != LinkOutcome::Ok)
                continue;
            ++t.readsOk;
            if (got[i].value != line.value(station, regs[i])) {
                ++t.wrong;
                fault = std::string(framingName(framing)) + " " + where(station, regs[i]) +
                        " read " + std::to_string(got[i].value) + ", holds " +
                        std::to_string(line.value(station, regs[i]));
                const auto [heldAt, heldReg] = line.holder(got[i].value);
                if (heldAt != 0)
                    fault += " (the value of " + where(heldAt, heldReg) + ")";
            }
        }
    }
    t.faults += line.faults;
    t.blocks += line.blocks;
    ++t.sequences;
    return fault;
}

std::string checkLineSessionInput(std::span<const std::uint8_t> input) {
    InputReader in(input);
    const std::uint8_t kind = in.byte();
    const Framing framing = (kind & 1) ? Framing::Rtu : Framing::Ascii;
    LineMix mix{{}, static_cast<int>(in.byte() % 60)};
    const std::uint16_t kinds = in.word();
    for (int k = 0; k < 9; ++k)
        if (kinds & (1 << k))
            mix.faults.push_back(static_cast<LineFault>(k));
    if (mix.faults.empty())
        mix.percent = 0;
    // The input decides every fault, delay and operation; once used up, a fixed generator goes on
    // so the sequence ends.
    std::uint32_t after = 12345;
    const auto draw = [&]() -> std::uint32_t {
        if (in.empty()) {
            after = after * 1103515245u + 12345u;
            return after >> 8;
        }
        return static_cast<std::uint32_t>(in.byte()) << 16 | in.byte() << 8 | in.byte();
    };
    LineTally t;
    return runLineSequence(framing, mix, draw, 12, t, (kind & 2) != 0, (kind & 4) ? 3 : 1);
}

}  // namespace velorin::fuzz
