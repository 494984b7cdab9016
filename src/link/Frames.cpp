#include "Frames.h"

#include <algorithm>

#include "NumberText.h"

namespace velorin {

std::uint16_t crc16(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t b : bytes) {
        crc ^= b;
        for (int i = 0; i < 8; ++i) {
            const bool lsb = crc & 1;
            crc >>= 1;
            if (lsb)
                crc ^= 0xA001;
        }
    }
    return crc;
}

std::string hex2(unsigned byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[(byte >> 4) & 15], kDigits[byte & 15]};
}

std::optional<std::vector<std::uint8_t>> hexBytes(std::string_view text) {
    if (text.size() % 2 != 0)
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = hexDigit(text[i]), lo = hexDigit(text[i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    return bytes;
}

std::string lrc(std::string_view hexFields) {
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < hexFields.size(); i += 2)
        sum += hexDigit(hexFields[i]) * 16 + hexDigit(hexFields[i + 1]);
    return hex2((256 - (sum % 256)) % 256);
}

std::array<std::uint8_t, 8> rtuRequest(std::uint8_t station, FunctionCode function, std::uint8_t b2,
                                       std::uint8_t b3, std::uint8_t b4, std::uint8_t b5) {
    std::array<std::uint8_t, 8> f{station, wireByte(function), b2, b3, b4, b5, 0, 0};
    const std::uint16_t crc = crc16(std::span(f).first(6));
    f[6] = crc & 0xFF;
    f[7] = crc >> 8;
    return f;
}

std::vector<std::uint8_t> mbapRequest(std::uint16_t transaction, std::uint8_t unit,
                                      FunctionCode function, std::uint16_t reg,
                                      std::uint16_t word) {
    // Length 6: the unit id, the function and its four data bytes.
    return {static_cast<std::uint8_t>(transaction >> 8),
            static_cast<std::uint8_t>(transaction & 0xFF),
            0,
            0,
            0,
            6,
            unit,
            wireByte(function),
            static_cast<std::uint8_t>(reg >> 8),
            static_cast<std::uint8_t>(reg & 0xFF),
            static_cast<std::uint8_t>(word >> 8),
            static_cast<std::uint8_t>(word & 0xFF)};
}

std::uint16_t mbapTransaction(std::span<const std::uint8_t> frame) {
    return frame.size() < 2 ? 0 : static_cast<std::uint16_t>(frame[0] << 8 | frame[1]);
}

std::vector<std::uint16_t> mbapTransactions(std::span<const std::uint8_t> received) {
    std::vector<std::uint16_t> ids;
    while (received.size() >= kMbapHeader - 1) {
        const std::size_t length = received[4] * 256u + received[5];
        if (received[2] != 0 || received[3] != 0 || length < 2 ||
            received.size() < kMbapHeader - 1 + length)
            break;
        ids.push_back(mbapTransaction(received));
        received = received.subspan(kMbapHeader - 1 + length);
    }
    return ids;
}

std::string asciiRequest(std::string_view fields) {
    return ":" + std::string(fields) + lrc(fields) + "\r\n";
}

std::string_view linkOutcomeName(LinkOutcome outcome) {
    switch (outcome) {
        case LinkOutcome::Ok:
            return "ok";
        case LinkOutcome::NoReply:
            return "no reply";
        case LinkOutcome::NotAReply:
            return "data that is no reply";
        case LinkOutcome::BadChecksum:
            return "bad checksum";
        case LinkOutcome::WrongStation:
            return "wrong station";
        case LinkOutcome::WrongFunction:
            return "wrong function";
        case LinkOutcome::Malformed:
            return "malformed reply";
        case LinkOutcome::Exception:
            return "exception";
        case LinkOutcome::PortError:
            return "port error";
        case LinkOutcome::Stopped:
            return "stopped";
        case LinkOutcome::Unsettled:
            return "unsettled line";
    }
    return "?";
}

namespace {

// What a reply frame must look like, taken from its request (already as bytes, without CRC/LRC).
struct Expectation {
    std::uint8_t station, function;
    std::vector<std::uint8_t> request;  // station, function, four data bytes
    std::size_t readBytes() const { return 2u * (request[4] * 256u + request[5]); }
    bool reads() const { return function == wireByte(FunctionCode::ReadRegisters); }
    bool writes() const { return function == wireByte(FunctionCode::WriteRegister); }
};

// Checks one frame's bytes (station .. last data byte, checksum already verified or not) against
// the request. `payloadLength` is the frame without checksum.
ReplyCheck checkPayload(const Expectation& e, std::span<const std::uint8_t> p) {
    if (p.size() < 2)
        return {LinkOutcome::Malformed};
    if (p[0] != e.station)
        return {LinkOutcome::WrongStation};
    if (p[1] == (e.function | kExceptionBit)) {
        if (p.size() != 3)
            return {LinkOutcome::Malformed};
        return {LinkOutcome::Exception, 0, ExceptionCode{p[2]}};
    }
    if (p[1] != e.function)
        return {LinkOutcome::WrongFunction};
    if (e.reads()) {
        if (p.size() < 3 || p[2] != e.readBytes() || p.size() != 3 + e.readBytes() ||
            e.readBytes() == 0 || e.readBytes() > 2u * kMostBlockRegisters)
            return {LinkOutcome::Malformed};
        ReplyCheck c{LinkOutcome::Ok, static_cast<std::uint16_t>(p[3] * 256 + p[4])};
        for (std::size_t i = 3; i + 1 < p.size(); i += 2)
            c.values.push_back(static_cast<std::uint16_t>(p[i] * 256 + p[i + 1]));
        return c;
    }
    if (!std::equal(p.begin(), p.end(), e.request.begin(), e.request.end()))
        return {LinkOutcome::Malformed};
    return {LinkOutcome::Ok, static_cast<std::uint16_t>(p[4] * 256 + p[5])};
}

// Length of an RTU reply frame (with CRC) that starts with station and function bytes `f`.
std::size_t rtuFrameLength(const Expectation& e, std::span<const std::uint8_t> f) {
    if (f.size() < 2)
        return 0;
    if (f[1] & kExceptionBit)
        return 5;
    if (e.reads())
        return f.size() >= 3 ? 5u + f[2] : 0;
    return 8;
}

ReplyCheck checkRtuAt(const Expectation& e, std::span<const std::uint8_t> r) {
    if (r.empty())
        return {LinkOutcome::NoReply};
    const std::size_t len = rtuFrameLength(e, r);
    if (len == 0 || r.size() < len) {
        // Cut short: say what can already be said of it.
        if (!r.empty() && r[0] != e.station)
            return {LinkOutcome::WrongStation};
        return {LinkOutcome::Malformed};
    }
    const auto frame = r.first(len);
    const std::uint16_t crc = crc16(frame.first(len - 2));
    if (frame[len - 2] != (crc & 0xFF) || frame[len - 1] != (crc >> 8))
        return {LinkOutcome::BadChecksum};
    ReplyCheck c = checkPayload(e, frame.first(len - 2));
    // Trailing bytes after a complete frame are not part of this reply.
    return c;
}

// Checks the frame that starts at the beginning of `r` and ends before the CR LF at `end`
// (npos: no line end has come).
ReplyCheck checkAsciiAt(const Expectation& e, std::string_view r, std::size_t end) {
    if (r.empty())
        return {LinkOutcome::NoReply};
    if (r[0] != ':')
        return {LinkOutcome::Malformed};
    if (end == std::string_view::npos)
        return {LinkOutcome::Malformed};
    // Station, function, byte count, the registers and the LRC: nothing longer can be a reply.
    const std::size_t longest = e.reads() ? 4 + e.readBytes() : 7;
    if (end - 1 > 2 * longest)
        return {LinkOutcome::Malformed};
    auto bytes = hexBytes(r.substr(1, end - 1));
    if (!bytes || bytes->size() < 3)
        return {LinkOutcome::Malformed};
    unsigned sum = 0;
    for (auto b : *bytes) sum += b;
    if (sum % 256 != 0)
        return {LinkOutcome::BadChecksum};
    bytes->pop_back();  // the LRC
    return checkPayload(e, *bytes);
}

Expectation expectationOf(std::span<const std::uint8_t> requestBytes) {
    Expectation e{requestBytes[0], requestBytes[1],
                  std::vector<std::uint8_t>(requestBytes.begin(), requestBytes.begin() + 6)};
    return e;
}

}  // namespace

bool sameAnswer(const ReplyCheck& a, const ReplyCheck& b) {
    return a.outcome == b.outcome && a.value == b.value && a.exceptionCode == b.exceptionCode &&
           a.values == b.values;
}

bool startsWith(std::span<const std::uint8_t> received, std::span<const std::uint8_t> request) {
    return received.size() >= request.size() &&
           std::equal(request.begin(), request.end(), received.begin());
}

ReplyCheck checkRtuReply(std::span<const std::uint8_t> request,
                         std::span<const std::uint8_t> received, bool localEcho) {
    if (request.size() < 8)
        return {LinkOutcome::Malformed};
    const Expectation e = expectationOf(request);
    // A copy of the request at the start is the adapter's echo, but the same bytes can also be a
    // copy cut short followed by the reply (the reply's station byte equal to the request's last
    // CRC byte): the search for a frame further on then looks behind the copy too.
    const auto whole = received;
    if (startsWith(received, request) && (!e.writes() || localEcho))
        received = received.subspan(request.size());
    ReplyCheck first = checkRtuAt(e, received);
    if (first.complete())
        return first;
    // A checked frame further on (behind noise) still counts; the first diagnosis otherwise.
    // Only a frame of the length this request's reply has is worth its CRC.
    const auto searched = received.size() == whole.size() ? received : whole;
    for (std::size_t i = 1; i + 5 <= searched.size(); ++i) {
        if (searched[i] != e.station)
            continue;
        const auto rest = searched.subspan(i);
        const std::size_t len = rtuFrameLength(e, rest);
        const bool exception = rest[1] == (e.function | kExceptionBit);
        if (!exception &&
            (rest[1] != e.function || (e.reads() && len != 5 + e.readBytes()) || len > rest.size()))
            continue;
        ReplyCheck c = checkRtuAt(e, rest);
        if (c.complete())
            return c;
    }
    return first;
}

ReplyCheck checkAsciiReply(std::string_view request, std::string_view received, bool localEcho) {
    if (request.size() < 17)
        return {LinkOutcome::Malformed};
    const auto requestBytes = hexBytes(request.substr(1, 12));
    if (!requestBytes)
        return {LinkOutcome::Malformed};
    const Expectation e = expectationOf(*requestBytes);
    if (received.starts_with(request) && (!e.writes() || localEcho))
        received.remove_prefix(request.size());
    // Every ':' starts a candidate frame that ends at the first CR LF after it. The line end is
    // looked for only once it lies behind the candidate, so the text is read in one pass however
    // much noise it holds.
    std::size_t lineEnd = received.find("\r\n");
    const auto frameEnd = [&](std::size_t start) {
        if (lineEnd != std::string_view::npos && lineEnd < start)
            lineEnd = received.find("\r\n", start);
        return lineEnd == std::string_view::npos ? lineEnd : lineEnd - start;
    };
    ReplyCheck first = checkAsciiAt(e, received, frameEnd(0));
    if (first.complete())
        return first;
    for (auto i = received.find(':', 1); i != std::string_view::npos;
         i = received.find(':', i + 1)) {
        ReplyCheck c = checkAsciiAt(e, received.substr(i), frameEnd(i));
        if (c.complete())
            return c;
    }
    return first;
}

ReplyCheck checkMbapReply(std::span<const std::uint8_t> request,
                          std::span<const std::uint8_t> received, int* setAside) {
    if (request.size() != kMbapHeader + 5)
        return {LinkOutcome::Malformed};
    const Expectation e = expectationOf(request.subspan(kMbapHeader - 1));
    const std::uint16_t transaction = mbapTransaction(request);
    // The longest reply: unit id, function, byte count and 125 registers.
    constexpr std::size_t kLongest = 3 + 2 * kMostBlockRegisters;
    int others = 0;
    ReplyCheck result{LinkOutcome::NoReply};
    for (;;) {
        if (received.size() < kMbapHeader - 1) {
            if (!received.empty() && result.outcome == LinkOutcome::NoReply)
                result = {LinkOutcome::Malformed};  // a frame cut short
            break;
        }
        const std::size_t length = received[4] * 256u + received[5];
        if (received[2] != 0 || received[3] != 0 || length < 2 || length > kLongest) {
            result = {LinkOutcome::Malformed};
            break;
        }
        if (received.size() < kMbapHeader - 1 + length) {
            if (result.outcome == LinkOutcome::NoReply)
                result = {LinkOutcome::Malformed};  // the rest is still on its way
            break;
        }
        const auto frame = received.first(kMbapHeader - 1 + length);
        received = received.subspan(frame.size());
        if (mbapTransaction(frame) != transaction) {
            ++others;
            continue;
        }
        result = checkPayload(e, frame.subspan(kMbapHeader - 1));
        if (result.complete())
            break;
    }
    if (setAside)
        *setAside = others;
    return result;
}

}  // namespace velorin
