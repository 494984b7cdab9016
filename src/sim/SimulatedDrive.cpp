#include "SimulatedDrive.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "link/Frames.h"
#include "model/FaultRegisters.h"
#include "link/NumberText.h"
#include "link/Transaction.h"

namespace velorin {

namespace {

using drive::kCommandRegister;
using drive::kStatusRegister;
constexpr std::uint16_t kStationRegister = drive::kStationParameter,
                        kRateRegister = drive::kRateParameter,
                        kFormatRegister = drive::kFormatParameter,
                        kLockResetRegister = drive::kResetParameter;

bool isRunWord(std::uint16_t w) {
    return w == drive::kRunForward || w == drive::kRunReverse || w == drive::kJogForward ||
           w == drive::kJogReverse;
}

}  // namespace

SimulatedDrive::SimulatedDrive() {
    resetToFactory();
}

void SimulatedDrive::resetToFactory() {
    m_regs = factoryRegisterValues();
    setLink(1, 1, 0);  // 9600,N,7,2, Modbus ASCII, station 1
}

void SimulatedDrive::setLink(std::uint8_t station, int rateIndex, int formatIndex) {
    m_station = station;
    m_rate = rateIndex;
    m_format = formatIndex;
    m_regs[kStationRegister] = station;
    m_regs[kRateRegister] = static_cast<std::uint16_t>(kRates.at(rateIndex).driveValue);
    m_regs[kFormatRegister] = static_cast<std::uint16_t>(formatIndex);
}

void SimulatedDrive::injectFault(DriveFault fault, int count) {
    for (int i = 0; i < count; ++i) m_faults.push_back(fault);
}

void SimulatedDrive::setFaultMix(std::vector<DriveFault> faults, int percent, std::uint32_t seed) {
    m_faultMix = std::move(faults);
    m_faultPercent = std::clamp(percent, 0, 100);
    m_faultDraw.seed(seed);
}

std::optional<DriveFault> SimulatedDrive::nextFault(std::uint16_t reg) {
    if (!m_faults.empty() && m_faults.front().onlyRegister >= 0 &&
        m_faults.front().onlyRegister != reg)
        return std::nullopt;
    if (!m_faults.empty()) {
        const DriveFault f = m_faults.front();
        m_faults.pop_front();
        return f;
    }
    if (m_faultMix.empty())
        return std::nullopt;
    // Drawn by hand from the engine's output: the standard distributions differ between
    // libraries, and a seed must give the same run everywhere.
    if (m_faultPercent < 100 && static_cast<int>(m_faultDraw() % 100) >= m_faultPercent)
        return std::nullopt;
    return m_faultMix[m_faultMix.size() == 1 ? 0 : m_faultDraw() % m_faultMix.size()];
}

std::vector<ReplyChunk> SimulatedDrive::hear(std::span<const std::uint8_t> bytes,
                                             const LineSettings& master, LineMatch match) {
    const LineSettings own = line();
    const bool matches = match == LineMatch::Full
                             ? master == own
                             : master.baud == own.baud && master.stopBits == own.stopBits;
    if (!matches) {
        // At other line settings the drive hears only garbage.
        m_reader.clear();
        return {};
    }
    std::vector<ReplyChunk> replies;
    for (std::uint8_t c : bytes) {
        // The framing can change with a request (a write to P498): each character is read in
        // the framing in force when it arrives.
        m_reader.setFraming(framing());
        const auto heard = m_reader.push(c);
        if (!heard)
            continue;
        const DriveRequest& rq = *heard;
        const std::size_t chars =
            isRtu(framing()) ? RequestReader::kRtuFrame : RequestReader::kAsciiFrame;
        ++m_heard;
        if (rq.station == 0 && rq.function == wireByte(FunctionCode::WriteRegister)) {
            ExceptionCode ex = ExceptionCode::None;
            execute(rq, ex);  // a broadcast write is carried out and never answered
            applyPendingLinkChange();
            continue;
        }
        if (rq.station != m_station)
            continue;
        auto r = answer(rq, chars);
        replies.insert(replies.end(), r.begin(), r.end());
    }
    return replies;
}

bool SimulatedDrive::inGap(unsigned r) const {
    return std::find(m_gaps.begin(), m_gaps.end(), r) != m_gaps.end();
}

std::optional<std::vector<std::uint8_t>> SimulatedDrive::shiftedBlock(
    const DriveRequest& rq) const {
    if (rq.function != wireByte(FunctionCode::ReadRegisters) || rq.word < 2 ||
        rq.word > m_maxBlock || inGap(rq.reg))
        return std::nullopt;
    bool crossesGap = false;
    for (unsigned r = rq.reg; r < rq.reg + rq.word; ++r) crossesGap = crossesGap || inGap(r);
    if (!crossesGap)
        return std::nullopt;
    std::vector<std::uint8_t> p{m_station, rq.function, static_cast<std::uint8_t>(2 * rq.word)};
    for (unsigned r = rq.reg; p.size() < 3u + 2u * rq.word && r < kParameterCount; ++r) {
        if (inGap(r))
            continue;
        p.push_back(m_regs[r] >> 8);
        p.push_back(m_regs[r] & 0xFF);
    }
    p.resize(3u + 2u * rq.word, 0);
    return p;
}

std::vector<std::uint8_t> SimulatedDrive::execute(const DriveRequest& rq,
                                                  ExceptionCode& exception) {
    auto exists = [](unsigned r) {
        return r < kParameterCount || r == kCommandRegister || r == kStatusRegister;
    };
    auto valueOf = [this](unsigned r) -> std::uint16_t {
        if (r == kCommandRegister)
            return m_command;
        if (r == kStatusRegister)
            return m_status;
        return m_regs[r];
    };
    if (rq.function == wireByte(FunctionCode::ReadRegisters)) {
        if (rq.word == 0 || rq.word > kMostBlockRegisters ||
            (rq.word > 1 && rq.word > m_maxBlock)) {
            exception = ExceptionCode::IllegalValue;
            return {};
        }
        std::vector<std::uint8_t> p{m_station, rq.function, static_cast<std::uint8_t>(2 * rq.word)};
        for (unsigned r = rq.reg; r < rq.reg + rq.word; ++r) {
            if (!exists(r) || (rq.word > 1 && inGap(r))) {
                exception = ExceptionCode::IllegalAddress;
                return {};
            }
            p.push_back(valueOf(r) >> 8);
            p.push_back(valueOf(r) & 0xFF);
        }
        return p;
    }
    if (rq.function != wireByte(FunctionCode::WriteRegister)) {
        exception = ExceptionCode::IllegalFunction;
        return {};
    }
    if (!exists(rq.reg) || rq.reg == kStatusRegister) {
        exception = ExceptionCode::IllegalAddress;
        return {};
    }
    const std::uint16_t v = rq.word;
    bool valid = true;
    switch (rq.reg) {
        case kCommandRegister:
            valid = v == drive::kStop || isRunWord(v);
            break;
        case kStationRegister:
            valid = v <= 254;
            break;
        case kRateRegister:
            valid = std::any_of(kRates.begin(), kRates.end(),
                                [v](const RateEntry& e) { return e.driveValue == v; });
            break;
        case kFormatRegister:
            valid = v < kFormats.size();
            break;
        default:
            break;
    }
    if (!valid) {
        exception = ExceptionCode::IllegalValue;
        return {};
    }
    if (rq.reg == kCommandRegister) {
        m_command = v;
        // A run command that meets a bad setting trips the drive: the motor stays still.
        const int fault = isRunWord(v) && !running() ? settingFault() : 0;
        if (fault != 0)
            recordFault(fault);
        m_status = isRunWord(v) && fault == 0 ? (m_status | 1) : (m_status & ~1);
    } else {
        m_regs[rq.reg] = v;
        if (rq.reg == kStationRegister || rq.reg == kRateRegister || rq.reg == kFormatRegister)
            m_linkChangePending = true;
        if (rq.reg == kLockResetRegister && drive::isFactoryReset(v))
            m_resetPending = true;
        if (rq.reg == kLockResetRegister && v == faultregs::kClearHistory)
            clearFaultHistory();
    }
    m_writeLog.push_back({rq.reg, v});
    return {m_station,
            rq.function,
            static_cast<std::uint8_t>(rq.reg >> 8),
            static_cast<std::uint8_t>(rq.reg & 0xFF),
            static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v & 0xFF)};
}

void SimulatedDrive::applyPendingLinkChange() {
    if (m_resetPending) {
        m_resetPending = m_linkChangePending = false;
        resetToFactory();
        return;
    }
    if (!m_linkChangePending)
        return;
    m_linkChangePending = false;
    int rate = m_rate;
    for (int i = 0; i < static_cast<int>(kRates.size()); ++i)
        if (kRates[i].driveValue == m_regs[kRateRegister])
            rate = i;
    setLink(static_cast<std::uint8_t>(m_regs[kStationRegister]), rate, m_regs[kFormatRegister]);
}

std::vector<std::uint8_t> SimulatedDrive::frame(std::vector<std::uint8_t> payload,
                                                bool corrupt) const {
    if (m_mbapAnswering) {
        // No checksum to spoil: a corrupt frame has a header no reply has (protocol 1).
        auto f = framedPayload(Framing::Mbap, std::move(payload), *m_mbapAnswering);
        f[3] = corrupt ? 1 : 0;
        return f;
    }
    if (isRtu(framing())) {
        const std::uint16_t crc = crc16(payload) ^ (corrupt ? 0x5A5A : 0);
        payload.push_back(crc & 0xFF);
        payload.push_back(crc >> 8);
        return payload;
    }
    std::string body;
    for (auto b : payload) body += hex2(b);
    std::string check = lrc(body);
    if (corrupt)
        check = hex2((hexDigit(check[0]) * 16 + hexDigit(check[1]) + 1) & 0xFF);
    const std::string text = ":" + body + check + "\r\n";
    return {text.begin(), text.end()};
}

std::vector<ReplyChunk> SimulatedDrive::answer(const DriveRequest& rq, std::size_t requestChars) {
    const std::optional<DriveFault> fault = nextFault(rq.reg);
    using K = DriveFault::Kind;
    ExceptionCode exception = ExceptionCode::None;
    std::vector<std::uint8_t> payload;
    const auto shifted = fault && fault->kind == K::BlockShift ? shiftedBlock(rq) : std::nullopt;
    if (fault && fault->kind == K::Exception)
        exception = fault->exceptionCode;
    else if (shifted)
        payload = *shifted;
    else
        payload = execute(rq, exception);
    if (exception != ExceptionCode::None)
        payload = {m_station, static_cast<std::uint8_t>(rq.function | kExceptionBit),
                   wireByte(exception)};
    if (fault && fault->kind == K::OtherStation)
        payload[0] = m_station + 1;

    std::vector<std::uint8_t> reply = frame(payload, fault && fault->kind == K::CorruptChecksum);
    const LineSettings own = line();
    applyPendingLinkChange();  // new station, rate or format count from the next request on

    if (fault && fault->kind == K::NoReply)
        return {};
    if (fault && fault->kind == K::Truncated)
        reply.resize(reply.size() - 3);
    if (fault && fault->kind == K::Noise) {
        for (auto& b : reply) {
            m_noiseSeed = m_noiseSeed * 1103515245u + 12345u;
            b = static_cast<std::uint8_t>(m_noiseSeed >> 16);
            if (b == ':')
                b = '?';
        }
    }
    const auto onLine = [&](std::size_t chars) {
        return m_wireTime ? lineTime(own, chars) : Micros{0};
    };
    Micros start = answerStart(onLine(requestChars));
    if (fault && fault->kind == K::Slow)
        start += fault->delay;
    if (fault && fault->kind == K::Split) {
        const std::size_t half = reply.size() / 2;
        std::vector<std::uint8_t> first(reply.begin(), reply.begin() + half),
            second(reply.begin() + half, reply.end());
        const Micros firstAt = start + onLine(first.size());
        return delivered(
            {{first, firstAt}, {second, firstAt + fault->delay + onLine(second.size())}});
    }
    if (fault && fault->kind == K::Duplicate) {
        const Micros firstAt = start + onLine(reply.size());
        return delivered(
            {{reply, firstAt}, {reply, firstAt + fault->delay + onLine(reply.size())}});
    }
    const Micros end = start + onLine(reply.size());
    return delivered({{std::move(reply), end}});
}

Micros SimulatedDrive::drawn(Micros low, Micros high) {
    if (high <= low)
        return low;
    // By hand from the engine's output, as the fault draws: the same run everywhere.
    return low + Micros{static_cast<long long>(
                     m_timingDraw() % static_cast<std::uint32_t>((high - low).count() + 1))};
}

Micros SimulatedDrive::answerStart(Micros requestOnLine) {
    const AnswerProfile& p = m_profile;
    Micros start = requestOnLine +
                   (p.answerLow >= Micros{0} ? drawn(p.answerLow, p.answerHigh) : m_responseDelay);
    if (p.loopPeriod > Micros{0})
        start += drawn(Micros{0}, p.loopPeriod - Micros{1});
    if (p.pausePercent > 0 && static_cast<int>(m_timingDraw() % 100) < p.pausePercent)
        start += drawn(Micros{0}, p.pauseLongest);
    return start;
}

std::vector<ReplyChunk> SimulatedDrive::delivered(std::vector<ReplyChunk> chunks) {
    const Micros tick = m_profile.usbLatency;
    if (tick <= Micros{0})
        return chunks;
    // Each byte reaches the adapter at the line's pace (all at once without wire time); the
    // adapter hands on what it holds when its timer runs out, the timer's phase unknown to us.
    const LineSettings own = line();
    const Micros phase = drawn(Micros{0}, tick - Micros{1});
    const auto tickAfter = [&](Micros t) {
        const long long n =
            (t - phase).count() <= 0 ? 0 : ((t - phase).count() + tick.count() - 1) / tick.count();
        return phase + tick * n;
    };
    std::vector<ReplyChunk> out;
    for (const ReplyChunk& c : chunks) {
        const std::size_t n = c.bytes.size();
        for (std::size_t i = 0; i < n; ++i) {
            const Micros byteAt = m_wireTime ? c.at - lineTime(own, n - 1 - i) : c.at;
            const Micros at = tickAfter(byteAt);
            if (out.empty() || out.back().at != at)
                out.push_back({{}, at});
            out.back().bytes.push_back(c.bytes[i]);
        }
    }
    // Now and then the adapter's buffer boundary falls inside a piece: its rest a tick later.
    if (!out.empty() && out.back().bytes.size() > 2 && m_timingDraw() % 4 == 0) {
        ReplyChunk& last = out.back();
        const std::size_t cut = 1 + m_timingDraw() % (last.bytes.size() - 1);
        ReplyChunk rest{{last.bytes.begin() + static_cast<std::ptrdiff_t>(cut), last.bytes.end()},
                        last.at + tick};
        last.bytes.resize(cut);
        out.push_back(std::move(rest));
    }
    return out;
}

AnswerProfile SimulatedDrive::realisticProfile() {
    AnswerProfile p;
    p.answerLow = Micros{1000};
    p.answerHigh = Micros{6000};
    return p;
}

std::vector<ReplyChunk> hearOnBus(const std::vector<SimulatedDrive*>& drives,
                                  std::span<const std::uint8_t> bytes, const LineSettings& master,
                                  LineMatch match) {
    std::vector<ReplyChunk> replies;
    for (SimulatedDrive* drive : drives) {
        auto heard = drive->hear(bytes, master, match);
        replies.insert(replies.end(), std::make_move_iterator(heard.begin()),
                       std::make_move_iterator(heard.end()));
    }
    std::stable_sort(replies.begin(), replies.end(),
                     [](const ReplyChunk& a, const ReplyChunk& b) { return a.at < b.at; });
    return replies;
}

}  // namespace velorin
