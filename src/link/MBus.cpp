#include "MBus.h"

#include <cmath>

#include "Global.h"
#include "NumberText.h"

namespace velorin {

// ---- Register and value encoding ----

bool D2Byte(std::string_view text, std::span<std::uint8_t> out) {
    const auto number = lenientNumber(text);
    if (!number)
        return false;
    const double v = *number;
    if (v <= 32767) {
        auto w = roundTo<std::int16_t>(v);
        if (!w)
            return false;
        // floor(w / 256) AND 255 makes the two's complement high byte of a negative value.
        out[0] = static_cast<std::uint8_t>(static_cast<int>(std::floor(*w / 256.0)) & 255);
        out[1] = static_cast<std::uint8_t>(*w & 255);
    } else {
        auto w = roundTo<std::int32_t>(v);
        if (!w)
            return false;
        out[0] = static_cast<std::uint8_t>((*w / 256) & 255);
        out[1] = static_cast<std::uint8_t>(*w & 255);
    }
    return true;
}

std::string D2H(std::int32_t number) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string digits;
    while (number > 0) {
        digits.insert(digits.begin(), kDigits[number % 16]);
        number /= 16;
    }
    if (digits.size() < 4)
        digits.insert(0, 4 - digits.size(), '0');
    return digits;
}

std::optional<std::int32_t> H2D(std::string_view text) {
    std::int64_t sum = 0;
    const std::size_t n = text.size();
    for (std::size_t p = 1; p <= n; ++p) {
        const char c = text[n - p];
        int d = -1;
        if (c >= '0' && c <= '9')
            d = c - '0';
        if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        if (d <= 0)
            continue;  // not a digit, or a zero: adds nothing, keeps its place
        if (p > 8)
            return std::nullopt;
        sum += static_cast<std::int64_t>(d) << (4 * (p - 1));
        if (sum > 2147483647)
            return std::nullopt;
    }
    return static_cast<std::int32_t>(sum);
}

// ---- Frames ----

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

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The bytes a hexadecimal text spells two digits at a time; empty when it is not such a text.
std::optional<std::vector<std::uint8_t>> hexBytes(std::string_view text) {
    if (text.size() % 2 != 0)
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = hexValue(text[i]), lo = hexValue(text[i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    return bytes;
}

}  // namespace

std::string lrc(std::string_view hexFields) {
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < hexFields.size(); i += 2)
        sum += hexValue(hexFields[i]) * 16 + hexValue(hexFields[i + 1]);
    return hex2((256 - (sum % 256)) % 256);
}

std::array<std::uint8_t, 8> rtuRequest(std::uint8_t station, std::uint8_t function, std::uint8_t b2,
                                       std::uint8_t b3, std::uint8_t b4, std::uint8_t b5) {
    std::array<std::uint8_t, 8> f{station, function, b2, b3, b4, b5, 0, 0};
    const std::uint16_t crc = crc16(std::span(f).first(6));
    f[6] = crc & 0xFF;
    f[7] = crc >> 8;
    return f;
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
};

// Checks one frame's bytes (station .. last data byte, checksum already verified or not) against
// the request. `payloadLength` is the frame without checksum.
ReplyCheck checkPayload(const Expectation& e, std::span<const std::uint8_t> p) {
    if (p.size() < 2)
        return {LinkOutcome::Malformed};
    if (p[0] != e.station)
        return {LinkOutcome::WrongStation};
    if (p[1] == (e.function | 0x80)) {
        if (p.size() != 3)
            return {LinkOutcome::Malformed};
        return {LinkOutcome::Exception, 0, p[2]};
    }
    if (p[1] != e.function)
        return {LinkOutcome::WrongFunction};
    if (e.function == 3) {
        if (p.size() < 3 || p[2] != e.readBytes() || p.size() != 3 + e.readBytes() ||
            e.readBytes() == 0)
            return {LinkOutcome::Malformed};
        return {LinkOutcome::Ok, static_cast<std::uint16_t>(p[3] * 256 + p[4])};
    }
    if (!std::equal(p.begin(), p.end(), e.request.begin(), e.request.end()))
        return {LinkOutcome::Malformed};
    return {LinkOutcome::Ok, static_cast<std::uint16_t>(p[4] * 256 + p[5])};
}

// Length of an RTU reply frame (with CRC) that starts with station and function bytes `f`.
std::size_t rtuFrameLength(const Expectation& e, std::span<const std::uint8_t> f) {
    if (f.size() < 2)
        return 0;
    if (f[1] & 0x80)
        return 5;
    if (e.function == 3)
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
    const std::size_t longest = e.function == 3 ? 4 + e.readBytes() : 7;
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

bool startsWith(std::span<const std::uint8_t> received, std::span<const std::uint8_t> request) {
    return received.size() >= request.size() &&
           std::equal(request.begin(), request.end(), received.begin());
}

Expectation expectationOf(std::span<const std::uint8_t> requestBytes) {
    Expectation e{requestBytes[0], requestBytes[1],
                  std::vector<std::uint8_t>(requestBytes.begin(), requestBytes.begin() + 6)};
    return e;
}

}  // namespace

ReplyCheck checkRtuReply(std::span<const std::uint8_t> request,
                         std::span<const std::uint8_t> received, bool localEcho) {
    if (request.size() < 8)
        return {LinkOutcome::Malformed};
    const Expectation e = expectationOf(request);
    // A copy of the request at the start is the adapter's echo, but the same bytes can also be a
    // copy cut short followed by the reply (the reply's station byte equal to the request's last
    // CRC byte): the search for a frame further on then looks behind the copy too.
    const auto whole = received;
    if (startsWith(received, request) && (e.function != 6 || localEcho))
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
        const bool exception = rest[1] == (e.function | 0x80);
        if (!exception && (rest[1] != e.function || (e.function == 3 && len != 5 + e.readBytes()) ||
                           len > rest.size()))
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
    if (received.starts_with(request) && (e.function != 6 || localEcho))
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

// ---- Transactions ----

namespace {

std::function<void(const LinkTraceEvent&)>& traceSink() {
    static std::function<void(const LinkTraceEvent&)> sink;
    return sink;
}

std::size_t requestChars(bool rtu) {
    return rtu ? 8 : 17;
}
std::size_t replyChars(bool rtu, std::uint8_t function) {
    if (function == 3)
        return rtu ? 7 : 15;
    return rtu ? 8 : 17;
}

constexpr Micros kDriveResponse{60000};  // the slowest response time seen from the drive

std::string_view asText(const std::vector<std::uint8_t>& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// `mayEcho`: a copy of a write request at the start may be the adapter's.
ReplyCheck checkReply(bool rtu, const std::vector<std::uint8_t>& request,
                      const std::vector<std::uint8_t>& received, bool mayEcho) {
    if (rtu)
        return checkRtuReply(request, received, mayEcho);
    return checkAsciiReply(asText(request), asText(received), mayEcho);
}

// The reply a clean line carries for `check`, as bytes on the wire.
std::vector<std::uint8_t> replyFrame(bool rtu, const std::vector<std::uint8_t>& request,
                                     const ReplyCheck& check) {
    std::vector<std::uint8_t> payload;
    std::uint8_t station = 0, function = 0;
    if (rtu) {
        station = request[0];
        function = request[1];
    } else {
        const auto bytes = hexBytes(asText(request).substr(1, 4));
        station = (*bytes)[0];
        function = (*bytes)[1];
    }
    if (check.outcome == LinkOutcome::Exception) {
        payload = {station, static_cast<std::uint8_t>(function | 0x80), check.exceptionCode};
    } else if (function == 3) {
        payload = {station, 3, 2, static_cast<std::uint8_t>(check.value >> 8),
                   static_cast<std::uint8_t>(check.value & 0xFF)};
    } else {
        return request;  // a write's reply is its request
    }
    if (rtu) {
        const std::uint16_t crc = crc16(payload);
        payload.push_back(crc & 0xFF);
        payload.push_back(crc >> 8);
        return payload;
    }
    std::string fields;
    for (auto b : payload) fields += hex2(b);
    const std::string text = asciiRequest(fields);
    return {text.begin(), text.end()};
}

// How many copies of the request the received bytes start with.
int copiesOf(const std::vector<std::uint8_t>& request, std::span<const std::uint8_t> received) {
    int n = 0;
    while (startsWith(received, request)) {
        ++n;
        received = received.subspan(request.size());
    }
    return n;
}

}  // namespace

void setLinkTrace(std::function<void(const LinkTraceEvent&)> sink) {
    traceSink() = std::move(sink);
}

// Listens for that reply until its time is up: the drive may still answer it, and a read reply
// does not name its register, so it would pass for the reply to the next read. What comes is
// counted and dropped; a complete reply tells how late the drive answered. New settings (a
// scan's next probe) need no such wait: the drive's late answer is garbage to the port there.
void listenForLateReply(SerialPort& port, LineNotes& notes) {
    const std::optional<UnansweredRequest> pending = port.unanswered();
    port.setUnanswered(std::nullopt);
    if (!pending || pending->settings != port.settings() || !port.isOpen())
        return;
    TimedWait& clock = port.timedWait();
    const bool mayEcho = port.echo() != AdapterEcho::Silent;
    std::vector<std::uint8_t> received;
    const auto heard = [&] {
        if (!port.isOpen())
            return true;
        const auto more = port.take();
        if (more.empty())
            return false;
        received.insert(received.end(), more.begin(), more.end());
        return checkReply(pending->rtu, pending->request, received, mayEcho).complete();
    };
    if (!heard() && clock.now() < pending->listenUntil)
        clock.wait(pending->listenUntil - clock.now(), heard);
    if (received.empty())
        return;
    port.setLastTraffic(std::max(port.lastTraffic(), clock.now()));
    if (checkReply(pending->rtu, pending->request, received, mayEcho).complete()) {
        port.countLateReply();
        notes.lateReplyHeard = true;
        notes.lateReplyAfter = clock.now() - pending->requestEnd;
    } else {
        notes.strayBefore = true;
    }
}

Micros lineTime(const LineSettings& line, std::size_t characters) {
    return Micros{
        static_cast<long long>(std::ceil(1e6 * characters * line.bitsPerCharacter() / line.baud))};
}

Micros replyDeadline(const LineSettings& line, bool rtu, std::uint8_t function, Micros wait) {
    // From the request's end on the line 0.1 s, or as long as the reply takes on the line plus
    // the drive's response time where that is longer.
    const Micros afterRequest =
        std::max(wait, lineTime(line, replyChars(rtu, function)) + kDriveResponse);
    return lineTime(line, requestChars(rtu)) + afterRequest;
}

Micros leastAnswer(const LineSettings& line, bool rtu) {
    return lineTime(line, requestChars(rtu)) + lineTime(line, replyChars(rtu, 3));
}

Micros silentGap(const LineSettings& line) {
    // 3.5 characters: 3.5 × 11 bits / 9600 ≈ 4 ms; a fixed 1.75 ms above 19200 baud.
    if (line.baud > 19200)
        return Micros{1750};
    return Micros{static_cast<long long>(std::ceil(3.5e6 * line.bitsPerCharacter() / line.baud))};
}

ReplyCheck transact(SerialPort& port, bool rtu, std::uint8_t station, std::uint8_t function,
                    std::uint16_t reg, std::uint16_t word, LineNotes* notes, Micros notBefore) {
    TimedWait& clock = port.timedWait();
    const LineSettings line = parseSettings(port.settings()).value_or(LineSettings{});
    const std::uint8_t rh = reg >> 8, rl = reg & 0xFF, wh = word >> 8, wl = word & 0xFF;

    std::vector<std::uint8_t> request;
    if (rtu) {
        const auto f = rtuRequest(station, function, rh, rl, wh, wl);
        request.assign(f.begin(), f.end());
    } else {
        const std::string text = asciiRequest(hex2(station) + hex2(function) + hex2(rh) + hex2(rl) +
                                              hex2(wh) + hex2(wl));
        request.assign(text.begin(), text.end());
    }
    auto& trace = traceSink();

    LineNotes local;
    LineNotes& n = notes ? *notes : local;
    n = LineNotes{};
    listenForLateReply(port, n);
    // An RTU frame ends with 3.5 characters of silence; ASCII frames carry their own delimiters.
    if (rtu) {
        const Micros quietUntil = port.lastTraffic() + silentGap(line);
        if (clock.now() < quietUntil)
            clock.wait(quietUntil - clock.now());
    }

    // Whatever is waiting now belongs to no request of ours that is still open.
    if (port.isOpen() && !port.take().empty())
        n.strayBefore = true;
    port.discardInput();
    const bool wasOpen = port.isOpen();
    const bool sent = wasOpen && port.send(request);
    const Micros sentAt = clock.now();
    n.sentAt = sentAt;
    n.requestEnd = sentAt + lineTime(line, request.size());
    if (trace)
        trace({sentAt, true, rtu, request, {}});
    if (wasOpen && !sent) {
        // The device refused the bytes: it is gone, and no reply can come.
        if (trace)
            trace({clock.now(), false, rtu, {}, {LinkOutcome::PortError}});
        return {LinkOutcome::PortError};
    }
    port.setLastTraffic(n.requestEnd);

    // A write's own copy at the start may be the adapter's unless the adapter is known not to
    // echo; then only a second copy, the drive's, confirms it. Where the echo is not known yet,
    // a single copy that comes when the drive's reply could come, not while the request is still
    // on the line, is the drive's.
    const bool mayEcho = port.echo() != AdapterEcho::Silent;
    const bool echoUnknown = port.echo() == AdapterEcho::Unknown;
    const Micros copyIsDrives = n.requestEnd + lineTime(line, request.size()) / 2;
    const Micros deadline = sentAt + replyDeadline(line, rtu, function, port.replyWait());
    std::vector<std::uint8_t> received;
    std::size_t setAside = 0;           // bytes before this were a reply too soon to be ours
    std::optional<Micros> firstCopyAt;  // when a copy of a write request first stood complete
    std::size_t firstCopyFrom = 0;      // where it lies in what was received
    ReplyCheck result{sent ? LinkOutcome::NoReply : LinkOutcome::PortError};
    bool lost = false;
    const auto arrived = [&] {
        if (!sent)
            return false;
        if (!port.isOpen())
            return lost = true;
        const auto more = port.take();
        if (more.empty())
            return false;
        received.insert(received.end(), more.begin(), more.end());
        std::vector<std::uint8_t> fresh(received.begin() + setAside, received.end());
        // A copy of a write complete while the request is still leaving the line is a
        // reflection, never the drive's reply, whatever the adapter has shown so far and
        // wherever it lies among what came (behind noise or another frame too).
        if (function == 6 && !firstCopyAt) {
            const auto at = std::search(fresh.begin(), fresh.end(), request.begin(), request.end());
            if (at != fresh.end()) {
                firstCopyAt = clock.now();
                firstCopyFrom = setAside + static_cast<std::size_t>(at - fresh.begin());
            }
        }
        const bool reflected = firstCopyAt && *firstCopyAt < copyIsDrives;
        if (reflected && firstCopyFrom >= setAside) {
            // Only a second copy, the drive's, can confirm the write.
            const auto from = fresh.begin() + static_cast<std::ptrdiff_t>(firstCopyFrom - setAside);
            fresh.erase(from, from + static_cast<std::ptrdiff_t>(request.size()));
        }
        result = checkReply(rtu, request, fresh, mayEcho && !reflected);
        if (!result.complete() && function == 6 && echoUnknown && !reflected &&
            clock.now() >= copyIsDrives && fresh == request)
            result = {LinkOutcome::Ok, static_cast<std::uint16_t>(word)};
        if (result.complete() && clock.now() - sentAt < notBefore) {
            n.tooSoon = true;  // sooner than the drive can answer: another request's reply
            setAside = received.size();
            result = {LinkOutcome::NoReply};
            return false;
        }
        return result.complete();
    };
    if (!arrived() && clock.now() < deadline)
        clock.wait(deadline - clock.now(), arrived);
    if (sent && !lost && !result.complete())
        arrived();  // what came with the deadline
    if (lost)
        result = {LinkOutcome::PortError};

    if (sent && !lost) {
        const std::span<const std::uint8_t> fresh =
            std::span<const std::uint8_t>(received).subspan(setAside);
        n.copies = copiesOf(request, fresh);
        n.copyFirst = n.copies > 0;
        if (result.complete()) {
            n.answeredAfter = clock.now() - sentAt;
            // A clean line carries our copy (if the adapter echoes) and the reply, nothing else.
            const auto frame = replyFrame(rtu, request, result);
            std::vector<std::uint8_t> echoed(request);
            echoed.insert(echoed.end(), frame.begin(), frame.end());
            const bool clean = std::equal(fresh.begin(), fresh.end(), frame.begin(), frame.end()) ||
                               std::equal(fresh.begin(), fresh.end(), echoed.begin(), echoed.end());
            if (!clean)
                n.strayInside = true;
        } else if (fresh.size() > request.size() * n.copies) {
            n.strayInside = true;  // something came, but no reply of ours
        }
        if (!received.empty())
            port.setLastTraffic(std::max(port.lastTraffic(), clock.now()));
        if (!result.complete())
            port.setUnanswered(
                UnansweredRequest{request, rtu, port.settings(), n.requestEnd,
                                  deadline + replyDeadline(line, rtu, function, port.replyWait())});
    }
    if (trace)
        trace({clock.now(), false, rtu, received, result});
    return result;
}

std::string ReadData(std::uint8_t station, std::uint8_t regHigh, std::uint8_t regLow,
                     std::uint8_t countHigh, std::uint8_t countLow, SerialPort& port) {
    const ReplyCheck r =
        transact(port, true, station, 3, regHigh * 256 + regLow, countHigh * 256 + countLow);
    if (r.outcome != LinkOutcome::Ok)
        return {};
    return std::to_string(r.value);
}

bool WriteData(std::uint8_t station, std::uint8_t regHigh, std::uint8_t regLow,
               std::uint8_t valueHigh, std::uint8_t valueLow, SerialPort& port) {
    return transact(port, true, station, 6, regHigh * 256 + regLow, valueHigh * 256 + valueLow)
               .outcome == LinkOutcome::Ok;
}

std::string ReadDataASCII(std::uint8_t station, std::uint8_t regHigh, std::uint8_t regLow,
                          std::uint8_t countHigh, std::uint8_t countLow, SerialPort& port) {
    const ReplyCheck r =
        transact(port, false, station, 3, regHigh * 256 + regLow, countHigh * 256 + countLow);
    if (r.outcome != LinkOutcome::Ok)
        return {};
    return std::to_string(static_cast<std::int16_t>(r.value));  // the ASCII read is signed
}

bool WriteDataASCII(std::string_view station, std::string_view regHigh, std::string_view regLow,
                    std::string_view value, SerialPort& port) {
    auto s = roundTo<std::int32_t>(lenientNumber(station));
    auto rh = roundTo<std::int32_t>(lenientNumber(regHigh));
    auto rl = roundTo<std::int32_t>(lenientNumber(regLow));
    auto v = roundTo<std::int32_t>(lenientNumber(value));
    // A value D2H cannot carry in four digits would go out as another number: send nothing.
    if (!s || !rh || !rl || !v || *v < 0 || *v > 65535)
        return false;
    // Characters 3-4 of the four-digit hexadecimal text: the low byte of station and register.
    auto low = [](std::int32_t n) {
        const std::string h = D2H(n);
        return static_cast<std::uint8_t>(*H2D(h.substr(2, 2)));
    };
    return transact(port, false, low(*s), 6, low(*rh) * 256 + low(*rl),
                    static_cast<std::uint16_t>(*v))
               .outcome == LinkOutcome::Ok;
}

}  // namespace velorin
