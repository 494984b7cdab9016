#pragma once
// What a valid reply is, written a second time and independently of the link's own checks, for
// the fuzz targets to hold them to: a frame from the request's station, for its function (or its
// exception), with the right length and a correct CRC or LRC; a read carries the requested
// number of registers, a write echoes its request.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/Transaction.h"

namespace velorin::fuzz {

struct OracleRequest {
    std::uint8_t station = 1;
    FunctionCode function = FunctionCode::ReadRegisters;
    std::uint16_t reg = 0, word = 1;
    // Station, function, register and word as six bytes.
    std::vector<std::uint8_t> fields() const;
};

// A payload framed as it goes on the line.
std::vector<std::uint8_t> referenceFrame(std::span<const std::uint8_t> payload, Framing framing);
// The request as it goes on the line.
std::vector<std::uint8_t> referenceRequest(const OracleRequest& rq, Framing framing);

// The payload (station to last data byte) of a whole frame with its CRC, or from ':' to CR LF
// with its LRC (upper-case digits only when `upperOnly`); none when the frame is not well-formed.
std::optional<std::vector<std::uint8_t>> framePayload(std::span<const std::uint8_t> frame,
                                                      Framing framing, bool upperOnly = false);

// A reply payload (without CRC/LRC): a read reply carrying `value` in every register, a write's
// echo, or an exception. Empty when the request has no valid reply of that kind (a read of 0 or
// of more registers than a byte count can carry).
std::vector<std::uint8_t> replyPayload(const OracleRequest& rq, bool exception, ExceptionCode code,
                                       std::uint16_t value);

// What the link must take from that reply, exception or not.
ReplyCheck expectedReply(const OracleRequest& rq, bool exception, ExceptionCode code,
                         std::uint16_t value);
// Empty when `got` is `expected` in outcome, value and code; otherwise what it took.
std::string differs(const ReplyCheck& got, const ReplyCheck& expected);

// Empty when `check` is acceptable for `received`: a complete result (Ok or Exception) must be
// one of the valid replies found in it. Otherwise what is wrong.
std::string judgeReply(const OracleRequest& rq, Framing framing,
                       std::span<const std::uint8_t> received, const ReplyCheck& check);

std::string describe(const ReplyCheck& c);
std::string hexDump(std::span<const std::uint8_t> bytes);

}  // namespace velorin::fuzz
