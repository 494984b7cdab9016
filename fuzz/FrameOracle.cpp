#include "FuzzCheck.h"

#include <array>
#include <cstdio>

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

// CRC-16 of the Modbus line, table-driven.
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

std::vector<std::uint8_t> referenceRequest(const OracleRequest& rq, Framing framing) {
    return referenceFrame(rq.fields(), framing);
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

ReplyCheck expectedReply(const OracleRequest& rq, bool exception, ExceptionCode code,
                         std::uint16_t value) {
    if (exception)
        return {LinkOutcome::Exception, 0, code};
    return {LinkOutcome::Ok, rq.function == FunctionCode::ReadRegisters ? value : rq.word};
}

std::string differs(const ReplyCheck& got, const ReplyCheck& expected) {
    if (got.outcome == expected.outcome && got.value == expected.value &&
        got.exceptionCode == expected.exceptionCode)
        return {};
    return "took " + describe(got) + " for " + describe(expected);
}

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
static std::vector<ReplyCheck> validReplies(const OracleRequest& rq, Framing framing,
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

}  // namespace velorin::fuzz
