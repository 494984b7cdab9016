// The link's reply checks, RTU and ASCII: whatever arrives, a reply is accepted only if it is a
// valid one to the request, and a valid reply is never refused, whatever noise comes before it.

#include "FrameOracle.h"
#include "FuzzCheck.h"

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

}  // namespace

std::string checkRtuReplyInput(std::span<const std::uint8_t> input) {
    return checkReplyInput(input, Framing::Rtu);
}

std::string checkAsciiReplyInput(std::span<const std::uint8_t> input) {
    return checkReplyInput(input, Framing::Ascii);
}

}  // namespace velorin::fuzz
