// The link's reply checks, RTU and ASCII: whatever arrives, a reply is accepted only if it is a
// valid one to the request, and a valid reply is never refused, whatever noise comes before it.
// And transact() over a port that hands back a script of timed chunks, on the virtual clock: it
// sends the one right request, accepts only a valid reply among the bytes it was handed, takes a
// valid reply that comes in time whatever noise came first, and never waits without end.

#include "FuzzCheck.h"
#include "link/TimedWait.h"

namespace velorin::fuzz {

namespace {

ReplyCheck checkReply(Framing framing, std::span<const std::uint8_t> request,
                      std::span<const std::uint8_t> received, bool localEcho) {
    if (isRtu(framing))
        return checkRtuReply(request, received, localEcho);
    auto text = [](std::span<const std::uint8_t> b) {
        return std::string_view(reinterpret_cast<const char*>(b.data()), b.size());
    };
    return checkAsciiReply(text(request), text(received), localEcho);
}

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
    const auto request = referenceRequest(rq, framing);

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
    const std::string wrong = differs(withReply, expectedReply(rq, refused, code, value));
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
    const auto request = referenceRequest(rq, framing);
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
    const auto request = referenceRequest(rq, framing);
    const auto reply = referenceFrame(replyPayload(rq, refused, code, value), framing);
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
    return script.empty() ? differs(valid.result, expectedReply(rq, refused, code, value))
                          : std::string();
}

std::string checkRtuReplyInput(std::span<const std::uint8_t> input) {
    return checkReplyInput(input, Framing::Rtu);
}

std::string checkAsciiReplyInput(std::span<const std::uint8_t> input) {
    return checkReplyInput(input, Framing::Ascii);
}

}  // namespace velorin::fuzz
