#pragma once
// One transaction on an open port: discard what waits, send the request, wait for the reply
// (events are processed meanwhile), check it against the request. What the line showed besides
// the reply comes back as LineNotes; the line session above decides what to believe.
//
// Observers (a trace, a line monitor) are told of every transaction a line session runs through
// a TransactionRecord; an observer list costs nothing while it is empty.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "Frames.h"
#include "LinkSettings.h"
#include "SerialPort.h"

namespace velorin {

// What one transaction saw on the line besides its reply. A read reply does not name its
// register, so a frame that came where no reply was due (a repeated frame, a reply later than
// its deadline, a reflection) makes the values taken around it doubtful; the line session
// decides what to read again.
struct LineNotes {
    bool strayBefore = false;  // bytes were waiting when the request was to go out
    bool strayInside = false;  // bytes besides our copy and the reply came during the transaction
    bool tooSoon = false;      // a reply complete sooner than the line can carry request and reply
                               // was set aside as another request's
    Micros tooSoonAfter{-1};   // with tooSoon: when it was complete, from handing over the request
    bool lateReplyHeard = false;  // the previous request's reply came in while we listened for it
    Micros lateReplyAfter{0};     // with lateReplyHeard: its time from that request's end
    bool copyFirst = false;       // a copy of our request came first
    int copies = 0;               // copies of our request that came (a write's echo and reply)
    int otherTransactions = 0;    // Modbus TCP frames of other transactions, set aside
    Micros namedLateAfter{-1};    // Modbus TCP: the reply to the last request that went without
                                  // one came, this long after that request's end
    Micros sentAt{0};
    Micros requestEnd{0};      // the request's end on the line
    Micros endedAt{0};         // the reply taken, or the wait given up
    Micros answeredAfter{-1};  // from handing over the request to the reply taken, if any
    // Left to the line session: the reply came far later than this drive usually answers, as a
    // reply to an earlier request would, or far sooner (told; doubted only with other evidence).
    bool slow = false;
    bool troubled() const { return strayBefore || strayInside || tooSoon || lateReplyHeard; }
};

// What a write does, for its confirmation: a write that moves the link (the drive's station, rate
// or format, a factory reset) leaves the drive answering elsewhere, so nothing may be asked of it
// at the old link; a command (run, jog, stop) is confirmed by its reply alone, since the register
// may hold the same word from before whether or not this one arrived.
enum class WriteEffect { Ordinary, MovesLink, Command };

// A transaction's bytes: the request as sent and everything received.
struct LineBytes {
    std::vector<std::uint8_t> request;
    std::vector<std::uint8_t> received;
};

// One request and its reply on an open port. A read asks for `word` registers from `reg`. The wait
// ends as soon as a checked reply is in, else at the deadline, or at once when the port's device
// goes away (LinkOutcome::PortError). After a transaction without a usable reply, the next one on
// the same line settings first listens for that reply (SerialPort::countLateReply) so it cannot
// pass for its own. Before an RTU request the line is kept silent for 3.5 characters. Whatever
// waits in the input when the request goes out is dropped; a reply complete sooner than `notBefore`
// after handing over the request (the soonest the line can carry request and reply, on a port with
// wire time) cannot be the drive's answer to it and is set aside while the wait goes on. On such a
// port a write's copy complete while the request is still leaving the line is a reflection.
// `notes`, when given, receives what else the line showed, `bytes` what went out and came in.
ReplyCheck transact(SerialPort& port, Framing framing, std::uint8_t station, FunctionCode function,
                    std::uint16_t reg, std::uint16_t word, LineNotes* notes = nullptr,
                    Micros notBefore = Micros{0}, LineBytes* bytes = nullptr);

// Before a request on the same line settings as the last one that went without a usable reply,
// listens for that reply until its time is up (transact() does so itself). What comes is counted
// (SerialPort::countLateReply) and dropped; `notes` tells whether it came and how late.
void listenForLateReply(SerialPort& port, LineNotes& notes);

// How long a transaction waits for its reply from handing over the request: the request's time
// on the line, then `wait` (0.1 s unless set otherwise; longer where the reply's own line time
// and 60 ms of drive response do not fit in it).
// `count`: the registers a read asks for.
Micros replyDeadline(const LineSettings& line, Framing framing, FunctionCode function,
                     Micros wait = Micros{100000}, std::uint16_t count = 1);
// How much longer the reply to a read of `count` registers is on the line than one register's.
Micros blockReplyExtra(const LineSettings& line, Framing framing, std::uint16_t count);
// Time `characters` take on the line at its rate and character format.
Micros lineTime(const LineSettings& line, std::size_t characters);
// A reply's payload (station, function, data) as a frame on the line: with its CRC for RTU, as
// ":" + hexadecimal + LRC + CR LF for ASCII, behind a header with `transaction` for Modbus TCP.
std::vector<std::uint8_t> framedPayload(Framing framing, std::vector<std::uint8_t> payload,
                                        std::uint16_t transaction = 0);
// The soonest a drive can answer a read, from handing over the request: the request's and the
// reply's time on the line.
Micros leastAnswer(const LineSettings& line, Framing framing);
// The silence before an RTU request.
Micros silentGap(const LineSettings& line);

// ---- Observing the line ----

// Why a line session sent a request.
enum class RequestPurpose : std::uint8_t {
    Read,         // a register asked for the first time
    ReadAgain,    // asked again: no usable reply, or a value in doubt to be confirmed (a reply
                  // like another register's, trouble on the line), perhaps by a block across it
    BeforeWrite,  // a read before the first write on a port whose echo is not known yet
    Write,
    ReadBack,  // a write's register read back: only a copy of the request came
};

// One transaction as the line saw it. The byte spans live only while observers are told:
// an observer that keeps them copies them.
struct TransactionRecord {
    Framing framing = Framing::Ascii;
    std::uint8_t station = 0;
    FunctionCode function = FunctionCode::ReadRegisters;
    std::uint16_t reg = 0;
    std::uint16_t word = 0;  // the value written, or the count of registers read (a block
                             // read is one transaction)
    RequestPurpose purpose = RequestPurpose::Read;
    std::span<const std::uint8_t> request;   // as sent
    std::span<const std::uint8_t> received;  // all that came: echo, reply, anything stray
    ReplyCheck check;  // the outcome: ok, no reply, checksum, other station, exception n, ...
    // Times (request handed over, its end on the line, reply taken or wait given up), copies of
    // the request (an echo), a late reply heard or a reply set aside as too soon, stray frames.
    const LineNotes& notes;
    std::string settings = {};  // the line settings it went out with ("9600,N,7,2")
};

class TransactionObserver {
public:
    virtual void onTransaction(const TransactionRecord& record) = 0;

protected:
    ~TransactionObserver() = default;
};

// The observers of one line session (or of every session that shares the list). An observer
// must not add or remove observers while it is told.
class LineObservers {
public:
    void add(TransactionObserver& observer);
    void remove(TransactionObserver& observer);
    bool empty() const { return m_observers.empty(); }
    void tell(const TransactionRecord& record) const {
        for (TransactionObserver* o : m_observers) o->onTransaction(record);
    }

private:
    std::vector<TransactionObserver*> m_observers;
};

}  // namespace velorin
