#pragma once
// The Modbus link: one register read (function 3) or write (function 6) per transaction, in RTU
// or ASCII framing, and the conversions that carry numbers between the windows and the frames.
//
// Frames are built and replies checked by pure functions over bytes; transact() does the I/O.
// Every reply is checked against its own request (station, function or exception, byte count,
// full echo for a write, CRC or LRC); anything else is no usable reply.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Global.h"
#include "SerialPort.h"

namespace velorin {

// ---- Register and value encoding ----

// Splits a number given as text (lenient rule) into the high and low byte of a register:
// out[0] high, out[1] low. Up to 32767 the number is rounded to a signed 16-bit value (negatives
// give their two's complement), above it to a signed 32-bit value whose two low bytes are taken.
// Returns false on overflow (below -32768.5, or 2147483647.5 and above); `out` is then untouched.
[[nodiscard]] bool D2Byte(std::string_view text, std::span<std::uint8_t> out);

// Upper-case hexadecimal, at least four digits; 0 and negatives give "0000".
std::string D2H(std::int32_t number);

// Hexadecimal text to number: every character keeps its place, non-digits add nothing ("1G" is
// 16). Empty on overflow (worth more than 2147483647).
std::optional<std::int32_t> H2D(std::string_view text);

// ---- Frames ----

// CRC-16 of the Modbus serial line (start 0xFFFF, polynomial 0xA001); sent low byte first.
std::uint16_t crc16(std::span<const std::uint8_t> bytes);

// Two's complement of the 8-bit sum of the bytes the hexadecimal text spells, as two
// upper-case hexadecimal digits.
std::string lrc(std::string_view hexFields);

// Station, function, four data bytes, CRC low, CRC high.
std::array<std::uint8_t, 8> rtuRequest(std::uint8_t station, std::uint8_t function, std::uint8_t b2,
                                       std::uint8_t b3, std::uint8_t b4, std::uint8_t b5);

// ":" + the 12-character fields + LRC + CR LF.
std::string asciiRequest(std::string_view fields);

// Two upper-case hexadecimal digits.
std::string hex2(unsigned byte);

enum class LinkOutcome {
    Ok,
    NoReply,        // nothing arrived
    BadChecksum,    // CRC or LRC wrong
    WrongStation,   // a reply from another station
    WrongFunction,  // a reply to another function
    Malformed,      // too short, bad byte count, an echo that differs, noise
    Exception,      // the drive refused the request (exception code in the reply)
    PortError,      // the port is closed, refused to send, or its device is gone
    Stopped,        // not sent: the line session was asked to stop
    Unsettled,      // replies came, but the line was never clean enough to tell whose they were
};

std::string_view linkOutcomeName(LinkOutcome outcome);

struct ReplyCheck {
    LinkOutcome outcome = LinkOutcome::NoReply;
    std::uint16_t value = 0;         // first register of a read, the value echoed by a write
    std::uint8_t exceptionCode = 0;  // with LinkOutcome::Exception
    // A checked reply (Ok or Exception) is complete: nothing more needs to arrive.
    bool complete() const {
        return outcome == LinkOutcome::Ok || outcome == LinkOutcome::Exception;
    }
};

// Checks what arrived against the request that was sent. A copy of a read request at the start
// of the received bytes (an adapter's local echo) is skipped; a write's echo of its request is
// its reply, so a copy of it is skipped where the adapter may echo (`localEcho`: it is known to,
// or has not shown that it does not), and only a second copy confirms the write.
// A valid reply behind leading noise is still found. The work grows with the bytes received,
// not with their square.
ReplyCheck checkRtuReply(std::span<const std::uint8_t> request,
                         std::span<const std::uint8_t> received, bool localEcho = false);
ReplyCheck checkAsciiReply(std::string_view request, std::string_view received,
                           bool localEcho = false);

// ---- Transactions ----

// What one transaction saw on the line besides its reply. A read reply does not name its
// register, so a frame that came where no reply was due (a repeated frame, a reply later than
// its deadline, a reflection) makes the values taken around it doubtful; the line session
// decides what to read again.
struct LineNotes {
    bool strayBefore = false;  // bytes were waiting when the request was to go out
    bool strayInside = false;  // bytes besides our copy and the reply came during the transaction
    bool tooSoon = false;      // a reply complete sooner than the drive has ever answered was set
                               // aside as another request's
    bool lateReplyHeard = false;  // the previous request's reply came in while we listened for it
    Micros lateReplyAfter{0};     // with lateReplyHeard: its time from that request's end
    bool copyFirst = false;       // a copy of our request came first
    int copies = 0;               // copies of our request that came (a write's echo and reply)
    Micros sentAt{0};
    Micros requestEnd{0};      // the request's end on the line
    Micros answeredAfter{-1};  // from handing over the request to the reply taken, if any
    // Left to the line session: the reply came far later than this drive usually answers, as
    // a reply to an earlier request would (or, while little is known, far sooner).
    bool slow = false;
    bool troubled() const { return strayBefore || strayInside || tooSoon || lateReplyHeard; }
};

// One request and its reply on an open port. The wait ends as soon as a checked reply is in,
// else at the deadline, or at once when the port's device goes away (LinkOutcome::PortError).
// After a transaction without a usable reply, the next one on the same line settings first
// listens for that reply (SerialPort::countLateReply) so it cannot pass for its own. Before an
// RTU request the line is kept silent for 3.5 characters. Whatever waits in the input when the
// request goes out is dropped; a reply complete sooner than `notBefore` after handing over the
// request cannot be the drive's answer to it and is set aside while the wait goes on. `notes`,
// when given, receives what else the line showed.
ReplyCheck transact(SerialPort& port, bool rtu, std::uint8_t station, std::uint8_t function,
                    std::uint16_t reg, std::uint16_t word, LineNotes* notes = nullptr,
                    Micros notBefore = Micros{0});

// Before a request on the same line settings as the last one that went without a usable reply,
// listens for that reply until its time is up (transact() does so itself). What comes is counted
// (SerialPort::countLateReply) and dropped; `notes` tells whether it came and how late.
void listenForLateReply(SerialPort& port, LineNotes& notes);

// How long a transaction waits for its reply from handing over the request: the request's time
// on the line, then `wait` (0.1 s unless set otherwise; longer where the reply's own line time
// and 60 ms of drive response do not fit in it).
Micros replyDeadline(const LineSettings& line, bool rtu, std::uint8_t function,
                     Micros wait = Micros{100000});
// Time `characters` take on the line at its rate and character format.
Micros lineTime(const LineSettings& line, std::size_t characters);
// The soonest a drive can answer a read, from handing over the request: the request's and the
// reply's time on the line.
Micros leastAnswer(const LineSettings& line, bool rtu);
// The silence before an RTU request.
Micros silentGap(const LineSettings& line);

// Reads one register in RTU framing: the value as unsigned decimal text (0..65535), or the empty
// text without a usable reply.
std::string ReadData(std::uint8_t station, std::uint8_t regHigh, std::uint8_t regLow,
                     std::uint8_t countHigh, std::uint8_t countLow, SerialPort& port);

// Writes one register in RTU framing; true when the drive echoed the request.
bool WriteData(std::uint8_t station, std::uint8_t regHigh, std::uint8_t regLow,
               std::uint8_t valueHigh, std::uint8_t valueLow, SerialPort& port);

// Reads one register in ASCII framing: the value as signed decimal text (-32768..32767), or the
// empty text without a usable reply.
std::string ReadDataASCII(std::uint8_t station, std::uint8_t regHigh, std::uint8_t regLow,
                          std::uint8_t countHigh, std::uint8_t countLow, SerialPort& port);

// Writes one register in ASCII framing. The four texts are decimal numbers (lenient rule,
// rounded half to even); the register-low text may hold the whole parameter number, of which the
// low byte is sent. The value must be 0..65535 (a negative v travels as 65536 + v): any other
// value is not sent. True when the drive echoed the request.
bool WriteDataASCII(std::string_view station, std::string_view regHigh, std::string_view regLow,
                    std::string_view value, SerialPort& port);

// ---- Trace ----

struct LinkTraceEvent {
    Micros time{0};
    bool sent = false;  // our request, or what came back
    bool rtu = false;
    std::vector<std::uint8_t> bytes;
    ReplyCheck check;  // for what came back
};

// Receives every request and every reply (or its absence); empty to switch off.
void setLinkTrace(std::function<void(const LinkTraceEvent&)> sink);

}  // namespace velorin
