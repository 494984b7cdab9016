#pragma once
// Modbus frames as pure functions over bytes: the codes a request and a reply carry, building RTU
// and ASCII requests (CRC and LRC) and Modbus TCP ones (a header with a transaction id), and
// checking what came back against the request it answers (station, function or exception, byte
// count, full echo for a write, checksum or transaction id). Anything that is not a usable reply
// is a typed outcome, never data.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velorin {

// The functions a drive is asked for: a register written, one register or a block of them read.
enum class FunctionCode : std::uint8_t {
    ReadRegisters = 3,
    WriteRegister = 6,
};
// The most registers one read asks for.
inline constexpr std::uint16_t kMostBlockRegisters = 125;
// The function byte of an exception reply: the request's function with its top bit set.
inline constexpr std::uint8_t kExceptionBit = 0x80;

// Why a drive refused a request (the byte after the function of an exception reply). Any other
// byte a drive sends is kept as it came.
enum class ExceptionCode : std::uint8_t {
    None = 0,
    IllegalFunction = 1,
    IllegalAddress = 2,  // no such register
    IllegalValue = 3,    // a value the register does not take, or a register count out of range
    DriveFailure = 4,
};

constexpr std::uint8_t wireByte(FunctionCode f) {
    return static_cast<std::uint8_t>(f);
}
constexpr std::uint8_t wireByte(ExceptionCode c) {
    return static_cast<std::uint8_t>(c);
}

// CRC-16 of the Modbus serial line (start 0xFFFF, polynomial 0xA001); sent low byte first.
std::uint16_t crc16(std::span<const std::uint8_t> bytes);

// Two's complement of the 8-bit sum of the bytes the hexadecimal text spells, as two
// upper-case hexadecimal digits.
std::string lrc(std::string_view hexFields);

// Station, function, four data bytes, CRC low, CRC high.
std::array<std::uint8_t, 8> rtuRequest(std::uint8_t station, FunctionCode function, std::uint8_t b2,
                                       std::uint8_t b3, std::uint8_t b4, std::uint8_t b5);

// ":" + the 12-character fields + LRC + CR LF.
std::string asciiRequest(std::string_view fields);

// ---- Modbus TCP ----
// The header before every Modbus TCP frame, big-endian: transaction id (2 bytes), protocol 0 (2),
// the count of the bytes after the length field (2: the unit id and the function's bytes), the
// unit id (1), which carries the drive's station. No checksum: TCP keeps the bytes whole.
inline constexpr std::size_t kMbapHeader = 7;
// Header, function and four data bytes: 12 bytes.
std::vector<std::uint8_t> mbapRequest(std::uint16_t transaction, std::uint8_t unit,
                                      FunctionCode function, std::uint16_t reg, std::uint16_t word);
// The transaction id a Modbus TCP frame starts with; 0 for fewer than two bytes.
std::uint16_t mbapTransaction(std::span<const std::uint8_t> frame);
// The transaction ids of the whole frames `received` holds, read by length from its start, up to
// the first bytes that cannot start a header.
std::vector<std::uint16_t> mbapTransactions(std::span<const std::uint8_t> received);

// Two upper-case hexadecimal digits.
std::string hex2(unsigned byte);

// The bytes a hexadecimal text spells two digits at a time; empty when it is not such a text.
std::optional<std::vector<std::uint8_t>> hexBytes(std::string_view text);

enum class LinkOutcome {
    Ok,
    NoReply,        // nothing arrived
    NotAReply,      // bytes arrived by the deadline (noise, another device's traffic, a reply
                    // cut short), none of them a reply
    BadChecksum,    // CRC or LRC wrong
    WrongStation,   // a reply from another station
    WrongFunction,  // a reply to another function
    Malformed,      // too short, bad byte count, an echo that differs, noise
    Exception,      // the drive refused the request (exception code in the reply)
    PortError,      // the port is closed, refused to send, or its device is gone
    Stopped,        // not sent: the line session was asked to stop
    Unsettled,      // replies came, but the line was never clean enough to tell whose they were
};

// The outcome's name in the developers' words ("no reply", "bad checksum"), for logs, test
// output and velorin-cli's English messages.
std::string_view linkOutcomeName(LinkOutcome outcome);

struct ReplyCheck {
    LinkOutcome outcome = LinkOutcome::NoReply;
    std::uint16_t value = 0;                            // first register of a read, the value
                                                        // echoed by a write
    ExceptionCode exceptionCode = ExceptionCode::None;  // with LinkOutcome::Exception
    std::vector<std::uint16_t> values{};  // every register of a read that was Ok, in order
    // A checked reply (Ok or Exception) is complete: nothing more needs to arrive.
    bool complete() const {
        return outcome == LinkOutcome::Ok || outcome == LinkOutcome::Exception;
    }
};

// Whether two checked replies say the same: outcome, values and exception code.
bool sameAnswer(const ReplyCheck& a, const ReplyCheck& b);

// Whether `received` begins with a copy of `request`.
bool startsWith(std::span<const std::uint8_t> received, std::span<const std::uint8_t> request);

// Checks what arrived against the request that was sent. A read reply must carry exactly the
// count of registers asked for (1 to kMostBlockRegisters). A copy of a read request at the start
// of the received bytes (an adapter's local echo) is skipped; a write's echo of its request is
// its reply, so a copy of it is skipped where the adapter may echo (`localEcho`: it is known to,
// or has not shown that it does not), and only a second copy confirms the write.
// A valid reply behind leading noise is still found. The work grows with the bytes received,
// not with their square.
ReplyCheck checkRtuReply(std::span<const std::uint8_t> request,
                         std::span<const std::uint8_t> received, bool localEcho = false);
ReplyCheck checkAsciiReply(std::string_view request, std::string_view received,
                           bool localEcho = false);
// Checks what arrived against a Modbus TCP request. The stream is read frame by frame by the
// length each header gives, never by pauses (segments split anywhere). A frame of another
// transaction (a late reply, a duplicated segment) is set aside and counted in `setAside`; the
// frame with the request's transaction id is the reply, checked as on the serial line with the
// unit id as the station. Bytes that cannot start a header (protocol not 0, a length no reply
// has) leave the stream out of step: nothing after them is read (Malformed).
ReplyCheck checkMbapReply(std::span<const std::uint8_t> request,
                          std::span<const std::uint8_t> received, int* setAside = nullptr);

}  // namespace velorin
