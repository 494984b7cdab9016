#include "Transaction.h"

#include <algorithm>
#include <cmath>

#include "LinkSettings.h"

namespace velorin {

// ---- Transactions ----

namespace {

// Characters on the serial line; a Modbus TCP gateway's serial side carries RTU frames.
std::size_t requestChars(Framing framing) {
    return isBinary(framing) ? 8 : 17;
}
std::size_t replyChars(Framing framing, FunctionCode function, std::uint16_t count = 1) {
    // A read reply: station, function, byte count, two bytes a register, the checksum.
    if (function == FunctionCode::ReadRegisters)
        return isBinary(framing) ? 5u + 2u * count : 11u + 4u * count;
    return isBinary(framing) ? 8 : 17;
}

constexpr Micros kDriveResponse{60000};  // the slowest response time seen from the drive

std::string_view asText(const std::vector<std::uint8_t>& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// `mayEcho`: a copy of a write request at the start may be the adapter's.
ReplyCheck checkReply(Framing framing, const std::vector<std::uint8_t>& request,
                      const std::vector<std::uint8_t>& received, bool mayEcho,
                      int* otherTransactions = nullptr) {
    if (framing == Framing::Mbap)
        return checkMbapReply(request, received, otherTransactions);
    if (isRtu(framing))
        return checkRtuReply(request, received, mayEcho);
    return checkAsciiReply(asText(request), asText(received), mayEcho);
}

// The reply a clean line carries for `check`, as bytes on the wire.
std::vector<std::uint8_t> replyFrame(Framing framing, const std::vector<std::uint8_t>& request,
                                     const ReplyCheck& check) {
    std::vector<std::uint8_t> payload;
    std::uint8_t station = 0, function = 0;
    if (isRtu(framing)) {
        station = request[0];
        function = request[1];
    } else {
        const auto bytes = hexBytes(asText(request).substr(1, 4));
        station = (*bytes)[0];
        function = (*bytes)[1];
    }
    if (check.outcome == LinkOutcome::Exception) {
        payload = {station, static_cast<std::uint8_t>(function | kExceptionBit),
                   wireByte(check.exceptionCode)};
    } else if (function == wireByte(FunctionCode::ReadRegisters)) {
        payload = {station, function, static_cast<std::uint8_t>(2 * check.values.size())};
        for (const std::uint16_t v : check.values) {
            payload.push_back(static_cast<std::uint8_t>(v >> 8));
            payload.push_back(static_cast<std::uint8_t>(v & 0xFF));
        }
    } else {
        return request;  // a write's reply is its request
    }
    return framedPayload(framing, std::move(payload));
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

std::vector<std::uint8_t> framedPayload(Framing framing, std::vector<std::uint8_t> payload,
                                        std::uint16_t transaction) {
    if (framing == Framing::Mbap) {
        const auto length = static_cast<std::uint16_t>(payload.size());
        payload.insert(payload.begin(), {static_cast<std::uint8_t>(transaction >> 8),
                                         static_cast<std::uint8_t>(transaction & 0xFF), 0, 0,
                                         static_cast<std::uint8_t>(length >> 8),
                                         static_cast<std::uint8_t>(length & 0xFF)});
        return payload;
    }
    if (isRtu(framing)) {
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

// Listens for that reply until its time is up: the drive may still answer it, and a read reply
// does not name its register, so it would pass for the reply to the next read. What comes is
// counted and dropped; a complete reply tells how late the drive answered. New settings (a
// scan's next probe) need no such wait: the drive's late answer is garbage to the port there.
void listenForLateReply(SerialPort& port, LineNotes& notes) {
    // A Modbus TCP reply names its request: a late one is known when it comes (transact()).
    if (port.unanswered() && port.unanswered()->framing == Framing::Mbap)
        return;
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
        return checkReply(pending->framing, pending->request, received, mayEcho).complete();
    };
    if (!heard() && clock.now() < pending->listenUntil)
        clock.wait(pending->listenUntil - clock.now(), heard);
    if (received.empty())
        return;
    port.setLastTraffic(std::max(port.lastTraffic(), clock.now()));
    if (checkReply(pending->framing, pending->request, received, mayEcho).complete()) {
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

Micros replyDeadline(const LineSettings& line, Framing framing, FunctionCode function, Micros wait,
                     std::uint16_t count) {
    // From the request's end on the line 0.1 s, or as long as the reply takes on the line plus
    // the drive's response time where that is longer. A block's longer reply lengthens the wait
    // by its extra line time.
    const Micros afterRequest =
        std::max(wait, lineTime(line, replyChars(framing, function)) + kDriveResponse);
    const Micros extra =
        function == FunctionCode::ReadRegisters ? blockReplyExtra(line, framing, count) : Micros{0};
    return lineTime(line, requestChars(framing)) + afterRequest + extra;
}

Micros blockReplyExtra(const LineSettings& line, Framing framing, std::uint16_t count) {
    if (count <= 1)
        return Micros{0};
    return lineTime(line, replyChars(framing, FunctionCode::ReadRegisters, count) -
                              replyChars(framing, FunctionCode::ReadRegisters));
}

Micros leastAnswer(const LineSettings& line, Framing framing) {
    return lineTime(line, requestChars(framing)) +
           lineTime(line, replyChars(framing, FunctionCode::ReadRegisters));
}

Micros silentGap(const LineSettings& line) {
    // 3.5 characters: 3.5 × 11 bits / 9600 ≈ 4 ms; a fixed 1.75 ms above 19200 baud.
    if (line.baud > 19200)
        return Micros{1750};
    return Micros{static_cast<long long>(std::ceil(3.5e6 * line.bitsPerCharacter() / line.baud))};
}

ReplyCheck transact(SerialPort& port, Framing framing, std::uint8_t station, FunctionCode function,
                    std::uint16_t reg, std::uint16_t word, LineNotes* notes, Micros notBefore,
                    LineBytes* bytes) {
    TimedWait& clock = port.timedWait();
    const LineSettings line = parseSettings(port.settings()).value_or(LineSettings{});
    const std::uint8_t rh = reg >> 8, rl = reg & 0xFF, wh = word >> 8, wl = word & 0xFF;

    const bool writes = function == FunctionCode::WriteRegister;
    std::vector<std::uint8_t> request;
    if (framing == Framing::Mbap) {
        request = mbapRequest(port.nextTransaction(), station, function, reg, word);
    } else if (isRtu(framing)) {
        const auto f = rtuRequest(station, function, rh, rl, wh, wl);
        request.assign(f.begin(), f.end());
    } else {
        const std::string text = asciiRequest(hex2(station) + hex2(wireByte(function)) + hex2(rh) +
                                              hex2(rl) + hex2(wh) + hex2(wl));
        request.assign(text.begin(), text.end());
    }
    LineNotes local;
    LineNotes& n = notes ? *notes : local;
    n = LineNotes{};
    listenForLateReply(port, n);
    // An RTU frame ends with 3.5 characters of silence; ASCII frames carry their own delimiters.
    // Over a network the gateway keeps the silences on its serial side.
    if (isRtu(framing) && !port.isNetwork()) {
        const Micros quietUntil = port.lastTraffic() + silentGap(line);
        if (clock.now() < quietUntil)
            clock.wait(quietUntil - clock.now());
    }

    // Whatever is waiting now belongs to no request of ours that is still open.
    // (In Modbus TCP it is an old transaction's, known by its id.)
    if (port.isOpen() && !port.take().empty() && framing != Framing::Mbap)
        n.strayBefore = true;
    port.discardInput();
    const bool wasOpen = port.isOpen();
    const bool sent = wasOpen && port.send(request);
    const Micros sentAt = clock.now();
    n.sentAt = sentAt;
    // Only a wire holds the request for its line time; a pseudo-terminal or a socket hands it
    // over at once, and the silence before the next request counts from then.
    const bool physical = port.carriesWireTime();
    n.requestEnd = sentAt + (physical ? lineTime(line, request.size()) : Micros{0});
    if (bytes) {
        bytes->request.assign(request.begin(), request.end());
        bytes->received.clear();
    }
    if (wasOpen && !sent) {
        // The device refused the bytes: it is gone, and no reply can come.
        n.endedAt = clock.now();
        return {LinkOutcome::PortError};
    }
    port.setLastTraffic(n.requestEnd);

    // A write's own copy at the start may be the adapter's unless the adapter is known not to
    // echo; then only a second copy, the drive's, confirms it. Where the echo is not known yet,
    // a single copy that comes when the drive's reply could come, not while the request is still
    // on the line, is the drive's.
    // A reply that carries the request's transaction id is its own: no copy, no echo, no stale
    // reply can pass for it, and frames of other transactions are set aside.
    const bool named = framing == Framing::Mbap;
    const bool mayEcho = !named && port.echo() != AdapterEcho::Silent;
    const bool echoUnknown = !named && port.echo() == AdapterEcho::Unknown;
    // Only where bytes take their time on a wire: a pseudo-terminal or a socket hands the
    // drive's reply on at once.
    const Micros copyIsDrives = n.requestEnd + lineTime(line, request.size()) / 2;
    const std::uint16_t count = writes ? 1 : word;
    const Micros deadline =
        sentAt + replyDeadline(line, framing, function, port.replyWait(), count);
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
        if (writes && !firstCopyAt) {
            const auto at = std::search(fresh.begin(), fresh.end(), request.begin(), request.end());
            if (at != fresh.end()) {
                firstCopyAt = clock.now();
                firstCopyFrom = setAside + static_cast<std::size_t>(at - fresh.begin());
            }
        }
        const bool reflected = physical && firstCopyAt && *firstCopyAt < copyIsDrives;
        if (reflected && firstCopyFrom >= setAside) {
            // Only a second copy, the drive's, can confirm the write.
            const auto from = fresh.begin() + static_cast<std::ptrdiff_t>(firstCopyFrom - setAside);
            fresh.erase(from, from + static_cast<std::ptrdiff_t>(request.size()));
        }
        result = checkReply(framing, request, fresh, mayEcho && !reflected, &n.otherTransactions);
        if (!result.complete() && writes && echoUnknown && !reflected &&
            (!physical || clock.now() >= copyIsDrives) && fresh == request)
            result = {LinkOutcome::Ok, static_cast<std::uint16_t>(word)};
        if (result.complete() && clock.now() - sentAt < notBefore) {
            n.tooSoon = true;  // sooner than the line can carry it: another request's reply
            n.tooSoonAfter = clock.now() - sentAt;
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
        if (named && port.unanswered() && n.otherTransactions > 0) {
            // The last request that went without its reply: has it come now, late?
            const std::uint16_t owed = mbapTransaction(port.unanswered()->request);
            for (const std::uint16_t id : mbapTransactions(fresh))
                if (id == owed) {
                    n.namedLateAfter = clock.now() - port.unanswered()->requestEnd;
                    port.setUnanswered(std::nullopt);
                    port.countLateReply();
                    break;
                }
        }
        n.copies = named ? 0 : copiesOf(request, fresh);
        n.copyFirst = n.copies > 0;
        if (named) {
            // Whatever else came was another transaction's, recognised by its id.
            if (!result.complete() && result.outcome == LinkOutcome::Malformed)
                result = {LinkOutcome::NotAReply};
        } else if (result.complete()) {
            n.answeredAfter = clock.now() - sentAt;
            // A clean line carries our copy (if the adapter echoes) and the reply, nothing else.
            const auto frame = replyFrame(framing, request, result);
            std::vector<std::uint8_t> echoed(request);
            echoed.insert(echoed.end(), frame.begin(), frame.end());
            const bool clean = std::equal(fresh.begin(), fresh.end(), frame.begin(), frame.end()) ||
                               std::equal(fresh.begin(), fresh.end(), echoed.begin(), echoed.end());
            if (!clean)
                n.strayInside = true;
        } else if (fresh.size() > request.size() * n.copies) {
            n.strayInside = true;  // something came, but no reply of ours
            // Bytes that never made a reply (noise, another device's traffic, a reply cut
            // short): the line carries data, the drive may not be silent.
            if (result.outcome == LinkOutcome::NoReply || result.outcome == LinkOutcome::Malformed)
                result = {LinkOutcome::NotAReply};
        }
        if (!received.empty())
            port.setLastTraffic(std::max(port.lastTraffic(), clock.now()));
        if (!result.complete())
            port.setUnanswered(UnansweredRequest{
                request, framing, port.settings(), n.requestEnd,
                deadline + replyDeadline(line, framing, function, port.replyWait(), count)});
    }
    n.endedAt = clock.now();
    if (bytes)
        bytes->received.assign(received.begin(), received.end());
    return result;
}

void LineObservers::add(TransactionObserver& observer) {
    if (std::find(m_observers.begin(), m_observers.end(), &observer) == m_observers.end())
        m_observers.push_back(&observer);
}

void LineObservers::remove(TransactionObserver& observer) {
    std::erase(m_observers, &observer);
}

}  // namespace velorin
