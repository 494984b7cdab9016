// The frame oracle, then the checks held to it: the reply checks and transact() accept only a
// valid reply and never refuse one behind noise; transact() sends the one right request and never
// waits without end; the drive's request reader takes exactly the well-formed frames however the
// bytes are cut, never holds more than a frame, and always hears a request after a quiet spell.

#include <array>
#include <cstdio>

#include "FuzzCheck.h"
#include "link/TimedWait.h"
#include "sim/RequestReader.h"
#include "sim/SimulatedDrive.h"

namespace velorin::fuzz {

namespace {

constexpr std::array<std::uint16_t, 256> kCrcTable = [] {
    std::array<std::uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xA001 : c >> 1;
        t[i] = static_cast<std::uint16_t>(c);
    }
    return t;
}();

int hexDigit(char c, bool upperOnly) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f' && !upperOnly)
        return c - 'a' + 10;
    return -1;
}

std::string describe(const ReplyCheck& c) {
    std::string s(linkOutcomeName(c.outcome));
    if (c.outcome == LinkOutcome::Ok)
        s += " value " + std::to_string(c.value);
    if (c.outcome == LinkOutcome::Exception)
        s += " code " + std::to_string(wireByte(c.exceptionCode));
    return s;
}

std::string hexDump(std::span<const std::uint8_t> bytes) {
    std::string s;
    char buf[4];
    for (std::size_t i = 0; i < bytes.size() && i < 96; ++i) {
        std::snprintf(buf, sizeof buf, "%02X ", bytes[i]);
        s += buf;
    }
    if (bytes.size() > 96)
        s += "... (" + std::to_string(bytes.size()) + " bytes)";
    return s;
}

// The reply a payload (station .. last data byte) stands for, if it is a valid one to `rq`.
std::optional<ReplyCheck> replyOf(const OracleRequest& rq, std::span<const std::uint8_t> p) {
    if (p.size() == 3 && p[0] == rq.station && p[1] == (wireByte(rq.function) | kExceptionBit))
        return ReplyCheck{LinkOutcome::Exception, 0, ExceptionCode{p[2]}};
    if (rq.function == FunctionCode::ReadRegisters) {
        // Modbus reads 1 to 125 registers a request.
        const unsigned count = 2u * rq.word;
        if (rq.word == 0 || rq.word > 125 || p.size() != 3 + count)
            return std::nullopt;
        if (p[0] != rq.station || p[1] != wireByte(rq.function) || p[2] != count)
            return std::nullopt;
        return ReplyCheck{LinkOutcome::Ok, static_cast<std::uint16_t>(p[3] << 8 | p[4])};
    }
    const auto f = rq.fields();
    if (!std::equal(p.begin(), p.end(), f.begin(), f.end()))
        return std::nullopt;
    return ReplyCheck{LinkOutcome::Ok, rq.word};
}

}  // namespace

std::vector<std::uint8_t> OracleRequest::fields() const {
    return {station,
            wireByte(function),
            static_cast<std::uint8_t>(reg >> 8),
            static_cast<std::uint8_t>(reg & 0xFF),
            static_cast<std::uint8_t>(word >> 8),
            static_cast<std::uint8_t>(word & 0xFF)};
}

static std::uint16_t referenceCrc(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t b : bytes)
        crc = static_cast<std::uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ b) & 0xFF]);
    return crc;
}

std::vector<std::uint8_t> referenceFrame(std::span<const std::uint8_t> payload, Framing framing) {
    std::vector<std::uint8_t> frame(payload.begin(), payload.end());
    if (isRtu(framing)) {
        const std::uint16_t crc = referenceCrc(payload);
        frame.insert(frame.end(),
                     {static_cast<std::uint8_t>(crc & 0xFF), static_cast<std::uint8_t>(crc >> 8)});
        return frame;
    }
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::uint8_t sum = 0;
    for (std::uint8_t b : payload) sum = static_cast<std::uint8_t>(sum + b);
    frame.push_back(static_cast<std::uint8_t>(-sum));
    std::string text = ":";
    for (std::uint8_t b : frame) text += {kDigits[b >> 4], kDigits[b & 15]};
    text += "\r\n";
    return {text.begin(), text.end()};
}

std::optional<std::vector<std::uint8_t>> framePayload(std::span<const std::uint8_t> frame,
                                                      Framing framing, bool upperOnly) {
    if (isRtu(framing)) {
        if (frame.size() < 4)
            return std::nullopt;
        const std::uint16_t crc = referenceCrc(frame.first(frame.size() - 2));
        if (frame[frame.size() - 2] != (crc & 0xFF) || frame.back() != (crc >> 8))
            return std::nullopt;
        return std::vector<std::uint8_t>(frame.begin(), frame.end() - 2);
    }
    const std::string_view text(reinterpret_cast<const char*>(frame.data()), frame.size());
    if (text.size() < 7 || text.size() % 2 == 0 || text[0] != ':' || !text.ends_with("\r\n"))
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    unsigned sum = 0;
    for (std::size_t k = 1; k + 2 < text.size(); k += 2) {
        const int hi = hexDigit(text[k], upperOnly), lo = hexDigit(text[k + 1], upperOnly);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
        sum += bytes.back();
    }
    if (sum % 256 != 0)
        return std::nullopt;
    bytes.pop_back();
    return bytes;
}

namespace {

// Empty when `got` is `expected` in outcome, value and code; otherwise what it took.
std::string differs(const ReplyCheck& got, const ReplyCheck& expected) {
    if (got.outcome == expected.outcome && got.value == expected.value &&
        got.exceptionCode == expected.exceptionCode)
        return {};
    return "took " + describe(got) + " for " + describe(expected);
}

// A reply payload (without CRC/LRC): a read reply carrying `value` in every register, a write's
// echo, or an exception. Empty when the request has no valid reply of that kind (a read of 0 or
// of more registers than a byte count can carry).
std::vector<std::uint8_t> replyPayload(const OracleRequest& rq, bool exception, ExceptionCode code,
                                       std::uint16_t value) {
    if (exception)
        return {rq.station, static_cast<std::uint8_t>(wireByte(rq.function) | kExceptionBit),
                wireByte(code)};
    if (rq.function != FunctionCode::ReadRegisters)
        return rq.fields();
    const unsigned count = 2u * rq.word;
    if (rq.word == 0 || rq.word > 125)
        return {};
    std::vector<std::uint8_t> p{rq.station, wireByte(rq.function),
                                static_cast<std::uint8_t>(count)};
    for (unsigned i = 0; i < rq.word; ++i) {
        p.push_back(value >> 8);
        p.push_back(value & 0xFF);
    }
    return p;
}

// Every valid reply to `rq` anywhere in `r`, as the check should report it.
std::vector<ReplyCheck> validReplies(const OracleRequest& rq, Framing framing,
                                            std::span<const std::uint8_t> r) {
    std::vector<ReplyCheck> found;
    const auto take = [&](std::span<const std::uint8_t> frame) {
        if (const auto payload = framePayload(frame, framing))
            if (auto c = replyOf(rq, *payload))
                found.push_back(*c);
    };
    if (isRtu(framing)) {
        for (std::size_t i = 0; i < r.size(); ++i)
            // Every length a valid reply can have: exception, read, write.
            for (std::size_t len : {std::size_t{5}, std::size_t{5} + 2u * rq.word, std::size_t{8}})
                if (r[i] == rq.station && i + len <= r.size())
                    take(r.subspan(i, len));
        return found;
    }
    const std::string_view text(reinterpret_cast<const char*>(r.data()), r.size());
    for (std::size_t i = text.find(':'); i != std::string_view::npos; i = text.find(':', i + 1)) {
        const std::size_t end = text.find("\r\n", i);
        if (end == std::string_view::npos)
            break;
        take(r.subspan(i, end + 2 - i));
    }
    return found;
}

}  // namespace

std::string judgeReply(const OracleRequest& rq, Framing framing,
                       std::span<const std::uint8_t> received, const ReplyCheck& check) {
    if (!check.complete())
        return {};
    for (const ReplyCheck& v : validReplies(rq, framing, received)) {
        if (v.outcome != check.outcome)
            continue;
        if (v.outcome == LinkOutcome::Ok && v.value == check.value)
            return {};
        if (v.outcome == LinkOutcome::Exception && v.exceptionCode == check.exceptionCode)
            return {};
    }
    return "accepted " + describe(check) + " with no such valid reply in " + hexDump(received);
}

ReplyCheck checkReply(Framing framing, std::span<const std::uint8_t> request,
                      std::span<const std::uint8_t> received, bool localEcho) {
    if (isRtu(framing))
        return checkRtuReply(request, received, localEcho);
    auto text = [](std::span<const std::uint8_t> b) {
        return std::string_view(reinterpret_cast<const char*>(b.data()), b.size());
    };
    return checkAsciiReply(text(request), text(received), localEcho);
}

namespace {

// Input: flags (bit 0 write, bit 1 any register count, bit 2 the adapter echoes, bit 3 the
// drive refuses), station, register, word, exception code, value, then what the line carries
// before the drive's reply.
std::string checkReplyInput(std::span<const std::uint8_t> input, Framing framing) {
    InputReader in(input);
    const std::uint8_t flags = in.byte();
    OracleRequest rq;
    rq.function = (flags & 1) ? FunctionCode::WriteRegister : FunctionCode::ReadRegisters;
    rq.station = in.byte();
    rq.reg = in.word();
    rq.word = in.word();
    if (rq.function == FunctionCode::ReadRegisters && !(flags & 2))
        rq.word = 1;
    const bool localEcho = flags & 4, refused = flags & 8;
    const ExceptionCode code{in.byte()};
    const std::uint16_t value = in.word();
    const auto noise = in.rest();

    // (That the link builds this request is the transact check's.)
    const auto request = referenceFrame(rq.fields(), framing);

    // Whatever arrives: accepted only if valid.
    const ReplyCheck any = checkReply(framing, request, noise, localEcho);
    if (auto fault = judgeReply(rq, framing, noise, any); !fault.empty())
        return fault;

    // A valid reply behind the noise (and behind the adapter's echo where it echoes).
    const auto payload = replyPayload(rq, refused, code, value);
    if (payload.empty())
        return {};
    std::vector<std::uint8_t> received;
    if (localEcho)
        received = request;
    received.insert(received.end(), noise.begin(), noise.end());
    const auto reply = referenceFrame(payload, framing);
    received.insert(received.end(), reply.begin(), reply.end());
    const ReplyCheck withReply = checkReply(framing, request, received, localEcho);
    if (auto fault = judgeReply(rq, framing, received, withReply); !fault.empty())
        return fault;
    if (!withReply.complete())
        return "refused a valid reply (" + describe(withReply) + "): " + hexDump(received);
    const std::string wrong = differs(withReply, *replyOf(rq, payload));
    return noise.empty() && !wrong.empty() ? wrong + ": " + hexDump(received) : std::string();
}

struct Chunk {
    Micros at;  // after the request was handed over
    std::vector<std::uint8_t> bytes;
};

class ScriptedPort : public TimedPort {
public:
    ScriptedPort(VirtualClock& clock, std::string_view settings, std::vector<Chunk> script,
                 bool sendWorks)
        : TimedPort(clock, settings, true), m_script(std::move(script)), m_sendWorks(sendWorks) {}
    bool send(std::span<const std::uint8_t> bytes) override {
        sent.emplace_back(bytes.begin(), bytes.end());
        if (!m_sendWorks)
            return false;
        for (auto& c : m_script) arrive(timedWait().now() + c.at, std::move(c.bytes));
        m_script.clear();
        return true;
    }
    std::vector<std::uint8_t> take() override {
        const std::vector<std::uint8_t> out = TimedPort::take();
        handedOut.insert(handedOut.end(), out.begin(), out.end());
        return out;
    }
    std::string deviceName() const override { return "SCRIPT"; }

    std::vector<std::vector<std::uint8_t>> sent;
    std::vector<std::uint8_t> handedOut;

private:
    std::vector<Chunk> m_script;
    bool m_sendWorks;
};

constexpr std::string_view kSettings[] = {"9600,N,7,2", "19200,E,8,1", "115200,N,8,1",
                                          "4800,O,7,1"};
constexpr Micros kNeverLonger{1000000};

Micros onLine(const LineSettings& line, std::size_t chars) {
    return Micros{1 + static_cast<long long>(1e6 * chars * line.bitsPerCharacter() / line.baud)};
}

struct Run {
    ReplyCheck result;
    std::string fault;
    std::vector<std::uint8_t> handedOut;
};

Run runTransaction(const OracleRequest& rq, Framing framing, std::string_view settings,
                   bool localEcho, bool sendWorks, std::vector<Chunk> script) {
    VirtualClock clock;
    ScriptedPort port(clock, settings, std::move(script), sendWorks);
    port.setLocalEcho(localEcho);
    const Micros start = clock.now();
    Run run;
    run.result = transact(port, framing, rq.station, rq.function, rq.reg, rq.word);
    run.handedOut = port.handedOut;
    const auto request = referenceFrame(rq.fields(), framing);
    if (port.sent.size() != 1 || port.sent[0] != request)
        run.fault = "sent " + std::to_string(port.sent.size()) + " frames, first " +
                    (port.sent.empty() ? std::string("none") : hexDump(port.sent[0])) +
                    "; the request is " + hexDump(request);
    else if (!sendWorks && run.result.outcome != LinkOutcome::PortError)
        run.fault = "nothing went out, yet " + describe(run.result);
    else if (clock.now() - start > kNeverLonger)
        run.fault = "waited " + std::to_string(clock.now().count() - start.count()) + " us";
    else
        run.fault = judgeReply(rq, framing, port.handedOut, run.result);
    return run;
}

}  // namespace

// Input: flags (bit 0 RTU, bit 1 write, bit 2 the adapter echoes, bit 3 sending fails, bit 4 the
// drive refuses, bits 5-6 line settings), station, register, word, exception code, value, then
// chunks: delay after the request in milliseconds, length, bytes.
std::string checkTransactInput(std::span<const std::uint8_t> input) {
    InputReader in(input);
    const std::uint8_t flags = in.byte();
    const Framing framing = (flags & 1) ? Framing::Rtu : Framing::Ascii;
    const bool localEcho = flags & 4, sendWorks = !(flags & 8), refused = flags & 16;
    const std::string_view settings = kSettings[(flags >> 5) & 3];
    OracleRequest rq;
    rq.function = (flags & 2) ? FunctionCode::WriteRegister : FunctionCode::ReadRegisters;
    rq.station = in.byte();
    rq.reg = in.word();
    // The link reads one register at a time.
    rq.word = rq.function == FunctionCode::ReadRegisters ? 1 : in.word();
    const ExceptionCode code{in.byte()};
    const std::uint16_t value = in.word();
    std::vector<Chunk> script;
    while (!in.empty()) {
        const Micros at{in.byte() * 1000LL};
        const auto bytes = in.bytes(in.byte());
        script.push_back({at, {bytes.begin(), bytes.end()}});
    }

    Run any = runTransaction(rq, framing, settings, localEcho, sendWorks, script);
    if (!any.fault.empty())
        return any.fault;
    if (!sendWorks)
        return {};

    // The same noise, then a valid reply well within the wait. A write is confirmed here only on
    // a port known to echo, behind the adapter's copy: a single copy of a write request may be
    // the adapter's own.
    const LineSettings line = *parseSettings(settings);
    const auto request = referenceFrame(rq.fields(), framing);
    const auto payload = replyPayload(rq, refused, code, value);
    const auto reply = referenceFrame(payload, framing);
    const bool echoes = localEcho || rq.function == FunctionCode::WriteRegister;
    const Micros replyAt =
        onLine(line, request.size()) + onLine(line, reply.size()) + Micros{20000};
    std::vector<Chunk> withReply;
    if (echoes)
        withReply.push_back({Micros{0}, request});
    for (auto& c : script) withReply.push_back({Micros{c.at.count() % replyAt.count()}, c.bytes});
    withReply.push_back({replyAt, reply});

    Run valid = runTransaction(rq, framing, settings, echoes, true, withReply);
    if (!valid.fault.empty())
        return valid.fault;
    if (!valid.result.complete())
        return "a valid reply in time was refused (" + describe(valid.result) +
               "): " + hexDump(valid.handedOut);
    return script.empty() ? differs(valid.result, *replyOf(rq, payload))
                          : std::string();
}

std::string checkRtuReplyInput(std::span<const std::uint8_t> input) {
    return checkReplyInput(input, Framing::Rtu);
}

std::string checkAsciiReplyInput(std::span<const std::uint8_t> input) {
    return checkReplyInput(input, Framing::Ascii);
}

namespace {

DriveRequest requestOf(std::span<const std::uint8_t> b) {
    return {b[0], b[1], static_cast<std::uint16_t>(b[2] << 8 | b[3]),
            static_cast<std::uint16_t>(b[4] << 8 | b[5])};
}

// The request the last `size` characters of `run` stand for, if they are a well-formed frame.
std::optional<DriveRequest> frameAtEnd(std::span<const std::uint8_t> run, std::size_t size,
                                       Framing framing) {
    if (run.size() < size)
        return std::nullopt;
    const auto payload = framePayload(run.last(size), framing, true);
    return payload ? std::optional(requestOf(*payload)) : std::nullopt;
}

}  // namespace

// Input: flags (bit 0 RTU), six bytes for a request sent last, then pieces: a control byte
// (bits 0-5 length, bit 6 the line goes quiet after the piece) and the piece's bytes.
std::string checkRequestReaderInput(std::span<const std::uint8_t> input) {
    InputReader in(input);
    const Framing framing = (in.byte() & 1) ? Framing::Rtu : Framing::Ascii;
    const auto last = in.bytes(6);
    std::vector<std::uint8_t> fields(last.begin(), last.end());
    fields.resize(6);

    struct Piece {
        std::vector<std::uint8_t> bytes;
        bool quietAfter;
    };
    std::vector<Piece> pieces;
    while (!in.empty()) {
        const std::uint8_t control = in.byte();
        const auto b = in.bytes(control & 0x3F);
        pieces.push_back({{b.begin(), b.end()}, (control & 0x40) != 0});
    }
    pieces.push_back({referenceFrame(fields, framing), true});
    // The last request comes after a quiet spell.
    if (isRtu(framing) && pieces.size() >= 2)
        pieces[pieces.size() - 2].quietAfter = true;

    RequestReader reader(framing);
    // A drive at its factory settings takes a while to build: copied from one built once.
    static const SimulatedDrive factoryDrive;
    SimulatedDrive drive = factoryDrive;
    drive.setLink(fields[0], 1, isRtu(framing) ? 5 : 0);
    const std::size_t limit =
        isRtu(framing) ? RequestReader::kRtuFrame : RequestReader::kAsciiFrame;

    std::vector<std::uint8_t> run;  // bytes since the last quiet spell (all of them for ASCII)
    std::size_t lastEnd = 0;        // end of the last frame taken, in `run`
    std::optional<DriveRequest> lastTaken;
    for (const Piece& piece : pieces) {
        for (std::uint8_t c : piece.bytes) {
            run.push_back(c);
            const auto got = reader.push(c);
            const auto due = frameAtEnd(run, limit, framing);
            if (reader.pending() >= limit)
                return "holds " + std::to_string(reader.pending()) + " characters";
            if (got && (!due || !(*got == *due)))
                return "took a request that is not a well-formed frame: " + hexDump(run);
            if (got && run.size() - limit < lastEnd)
                return "took two frames out of overlapping bytes: " + hexDump(run);
            // An ASCII frame always stands out (a colon starts it, nothing in it is a colon); an
            // RTU frame is certain at the start of a run or right after the last one taken.
            const bool certain = !isRtu(framing) || run.size() - limit == lastEnd;
            if (due && certain && !got)
                return "refused a well-formed frame: " + hexDump(run);
            if (got) {
                lastEnd = run.size();
                lastTaken = got;
            }
        }
        drive.hear(piece.bytes, drive.line());
        if (piece.quietAfter) {
            reader.silence();
            drive.silence();
            if (isRtu(framing)) {
                run.clear();
                lastEnd = 0;
            }
        }
    }
    if (!lastTaken || !(*lastTaken == requestOf(fields)))
        return "the last request was not heard";
    return {};
}

}  // namespace velorin::fuzz
