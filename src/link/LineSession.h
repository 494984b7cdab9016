#pragma once
// One owner per open line. A window or the command line reaches the drive only through its line
// session: the session holds the port, the framing and the station, and runs line operations one
// at a time in the order they came.
//
// Everything runs on one thread and a transaction waits for its reply while events are
// processed, so a click can arrive while an operation is on the line. Such a click hands its
// operation to the session, which queues it behind the one under way; it is never nested inside
// it. The owner asks busy() before anything that must not happen during an operation (closing
// the window, starting a second long operation) and can stop the session between transactions.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "LinkSettings.h"
#include "SerialPort.h"
#include "Transaction.h"

namespace velorin {

class LineSession {
public:
    using Operation = std::function<void()>;

    // Where an operation goes in the queue. A stop must not wait behind a row of frequency
    // writes, but must not overtake a run or jog command either, or the motor would be left
    // running after the technician let go of the button.
    enum class Order {
        Normal,   // behind everything queued
        Barrier,  // behind everything queued; nothing queued later overtakes it
        Urgent,   // ahead of the queued Normal operations, behind the last Barrier or Urgent one
    };

    explicit LineSession(std::unique_ptr<SerialPort> port);
    ~LineSession();
    LineSession(const LineSession&) = delete;
    LineSession& operator=(const LineSession&) = delete;

    SerialPort& port() { return *m_port; }
    TimedWait& clock() { return m_port->timedWait(); }

    // ---- Link settings in force ----
    Framing framing() const { return m_framing; }
    void setFraming(Framing framing) { m_framing = framing; }
    std::uint8_t station() const { return m_station; }
    void setStation(std::uint8_t station) { m_station = station; }
    // Takes station and framing from a link state.
    void follow(const LinkState& link);

    // Opens COM `comPort` with `settings` (closing it first when open). A fresh port has not
    // shown yet whether the adapter echoes what is sent.
    OpenResult open(int comPort, std::string_view settings);
    // New line settings for the open port (a rate or format change of the drive).
    bool changeSettings(std::string_view settings);
    void close();
    bool isOpen() const { return m_port->isOpen(); }

    // How long to wait for a reply, counted from the request's end on the line: 100 ms unless
    // the technician set another. The session lengthens it (up to 1 s) when a reply is seen to
    // come later; replyTimeout() is the wait in force.
    void setReplyTimeout(Micros wait);
    Micros replyTimeout() const { return m_port->replyWait(); }
    std::string settings() const { return m_port->settings(); }

    // ---- Transactions: one register each, in the session's framing, at its station ----
    // After stop() they send nothing and give LinkOutcome::Stopped; after the port was lost they
    // send nothing and give LinkOutcome::PortError.
    //
    // A read reply does not name its register, so a value is taken only from a clean line: when
    // anything came that was no reply due (a frame sent twice, a reply after its deadline, a
    // reflection), the reads around it are asked again, and after such trouble or an unanswered
    // request a value counts only once two reads agree. A register the line never lets settle
    // gives LinkOutcome::Unsettled. Values are taken in groups: before a group counts, the line
    // must stay quiet until the last reply could have come.
    ReplyCheck read(std::uint16_t reg);
    // The registers in order, one result each. Stops after the group in which a register went
    // unanswered (the result is then shorter), or when the session is stopped or the port lost.
    // With block reads on, registers in rising order are read in blocks (see setBlockReads).
    std::vector<ReplyCheck> readRegisters(std::span<const std::uint16_t> regs);
    // `count` registers from `first` in one request (1 to kMostBlockRegisters), their values in
    // the result's `values`. A block reply names no register either: it is taken from a clean
    // line as a single read is.
    ReplyCheck readBlock(std::uint16_t first, std::uint16_t count);
    // ---- Block reads: off unless set ----
    // With them on, readRegisters reads the span from one register to the last in blocks, each
    // value taken for the register at its place. Not every drive reads blocks, and some read
    // them wrongly, so the session finds out as it goes, and forgets it when the port is
    // opened again:
    // - the largest count the drive takes: the first block covers as much as it can, and a
    //   block refused (exception 1, 2 or 3, or no reply) before any as large was taken is
    //   tried again with half the count; down at one register, blocks are given up;
    // - the first block taken is read again register by register, and any difference turns
    //   block reads off for the session (told once through onBlocksDisagree);
    // - a block of a count already taken that fails is read register by register.
    void setBlockReads(bool on) { m_blockReads = on; }
    bool blockReads() const { return m_blockReads; }
    void setOnBlocksDisagree(std::function<void()> handler) {
        m_onBlocksDisagree = std::move(handler);
    }
    // Whether the first block disagreed with single reads.
    bool blocksDisagreed() const { return m_blocksDisagree; }
    // The registers a drive is most likely to leave out of its blocks (those that hold no
    // parameter). A first block that crosses none of them shows nothing of how the drive answers
    // a block across them, so blocks across them are read again register by register too, from
    // the gap on, until one has values that a shift would have changed (not all alike).
    void setLikelyBlockGaps(std::vector<std::uint16_t> regs);
    // ---- Verified reads: off unless set ----
    // A line that sends frames twice can hand a request whose own reply is lost a copy of an
    // earlier register's reply, before anything else shows that the line is in trouble. With
    // verified reads on, a value just like the reply another register gave in the last second
    // counts only once a further read agrees, on every line (without them, only on a line that
    // has shown trouble, where it takes two further reads). Many registers hold the same values
    // (0 above all), so pages take more reads. Kept when the port is opened again.
    void setVerifyReads(bool on) { m_verifyReads = on; }
    bool verifyReads() const { return m_verifyReads; }

    // A write is confirmed by the drive's reply, which names register and value. Where an
    // adapter's copy of the request could pass for that reply (its echo is not yet known) the
    // register is read back instead. A write on a port that has not yet shown whether its
    // adapter echoes is preceded by a read of the same register.
    ReplyCheck write(std::uint16_t reg, std::uint16_t value);
    // A read of another station (the scan's probe, the developer write's station change).
    ReplyCheck readAt(std::uint8_t station, std::uint16_t reg);
    ReplyCheck writeAt(std::uint8_t station, std::uint16_t reg, std::uint16_t value);
    // A read's value as the framing gives it: unsigned over RTU, signed over ASCII.
    int framedValue(const ReplyCheck& check) const;

    // ---- Operations ----
    // Runs `operation` now when the session is idle (and every operation queued meanwhile after
    // it), else queues it and returns at once.
    void submit(Operation operation, Order order = Order::Normal);
    // An operation under way or queued.
    bool busy() const { return m_running; }
    // Ends the operation under way after its current transaction (its further transactions are
    // not sent) and drops the queued ones. Cleared once the session is idle.
    void stop();
    bool stopRequested() const { return m_stopRequested; }
    // Runs `action` once the session is idle: now if it is, else right after the last operation.
    void whenIdle(std::function<void()> action);

    // ---- What the line showed ----
    // The device went away (adapter unplugged): reported once through onPortLost, after which
    // nothing more is sent until the port is opened again.
    bool portLost() const { return m_portLost; }
    void setOnPortLost(std::function<void()> handler) { m_onPortLost = std::move(handler); }
    // Replies that came after their transaction had given up on them (the drive answers later
    // than the reply timeout), as the port counted them. The session then lengthens its wait to
    // cover the delay seen (up to 1 s) and reports it once through onSlowDrive with the new
    // replyTimeout(), so the technician can be told why replies went missing.
    long lateReplies() const;
    void setOnSlowDrive(std::function<void()> handler) { m_onSlowDrive = std::move(handler); }
    // Told before every transaction goes out, with its function, register and the registers it
    // covers (a block's count, else 1): the command line shows its progress here and, on
    // Ctrl+C, stops the session before the request is sent.
    using BeforeTransaction =
        std::function<void(FunctionCode function, std::uint16_t reg, std::uint16_t registers)>;
    void setBeforeTransaction(BeforeTransaction hook) { m_beforeTransaction = std::move(hook); }
    // Told after every transaction that went out (a trace, a line monitor): its bytes, times,
    // purpose and outcome. The session keeps a list of its own unless it is handed one that
    // several sessions share (every window's session, so a monitor follows whichever is in use).
    LineObservers& observers() { return *m_observers; }
    void shareObservers(LineObservers& observers) { m_observers = &observers; }

private:
    ReplyCheck transactAt(std::uint8_t station, FunctionCode function, std::uint16_t reg,
                          std::uint16_t word, RequestPurpose purpose, LineNotes* notes = nullptr);
    // Settles every slot of a window of reads: each result is a value the line was clean
    // around, a failure, or Unsettled. False when stopped or the port was lost.
    struct Slot;
    bool readGroup(std::uint8_t station, std::span<Slot> slots);
    std::vector<ReplyCheck> readRegistersAt(std::uint8_t station,
                                            std::span<const std::uint16_t> regs);
    std::vector<ReplyCheck> readInBlocks(std::span<const std::uint16_t> regs);
    void forgetBlocks();
    // Listens until `until`: whether the line stayed quiet.
    bool quietUntil(Micros until);
    // When the line must be quiet before the values read so far may count.
    Micros settledAt() const;
    // What a transaction showed: echo evidence, the drive's answer times, trouble.
    void learn(FunctionCode function, const ReplyCheck& r, const LineNotes& notes);
    void lengthenWait(Micros lateBy);
    bool careful() const;
    // How long after a request's end its reply may still come.
    Micros lateReplyHorizon() const;
    void forgetLine();
    void trustLineAgain();
    // Whether a reply for `reg` is like one another register gave lately, on a line that has
    // shown trouble or with verified reads on; kept among the recent replies.
    bool echoesRecentReply(std::uint16_t reg, const ReplyCheck& r);
    // The middle of the latest clean answer times; zero while none is known.
    Micros usualAnswer() const;
    // Values count only once two reads agree until `until`; `strayFrames`: frames came that
    // no request of ours was waiting for.
    void doubtUntil(Micros until, bool strayFrames = false);
    void drain();

    std::unique_ptr<SerialPort> m_port;
    Framing m_framing = Framing::Ascii;
    std::uint8_t m_station = 1;
    bool m_echoKnown = false;  // a read has shown whether the adapter echoes
    int m_echoEvidence = 0;    // reads in a row that showed the same (> 0 a copy, < 0 none)
    bool m_portLost = false;
    bool m_running = false;
    bool m_stopRequested = false;
    std::function<void()> m_onPortLost;
    std::function<void()> m_onSlowDrive;
    bool m_slowDriveTold = false;
    // The drive's latest answer times on this line (from handing over the request to the reply's
    // end), from clean transactions only.
    std::deque<Micros> m_answers;
    int m_slowInARow = 0;
    int m_settledAtOnce = 0;
    // Read replies of the last second, and whether the line has ever shown trouble.
    struct RecentReply {
        Micros at;
        std::uint16_t reg;
        ReplyCheck reply;
    };
    std::deque<RecentReply> m_recentReplies;
    bool m_misbehaved = false;
    bool m_firstRequest = true;  // nothing sent since the port was opened
    Micros m_lastSentAt{0};
    Micros m_lastBlockExtra{0};  // the last read's reply longer on the line than one register's
    // Until when values count only once two reads agree: trouble, an unanswered request or a
    // read in doubt leave replies that may still come.
    Micros m_carefulUntil{0};
    // Until when a request left unanswered may still have its reply come: a run of clean values
    // does not end this doubt.
    Micros m_replyMayComeUntil{0};
    BeforeTransaction m_beforeTransaction;
    LineObservers m_ownObservers;
    LineObservers* m_observers = &m_ownObservers;
    LineBytes m_bytes;           // the latest transaction's, while anyone observes
    bool m_readingBack = false;  // a write's register is read back
    bool m_blockReads = false;
    bool m_verifyReads = false;
    bool m_blocksDisagree = false;                   // the first block differed from single reads
    bool m_blocksVerified = false;                   // the first block agreed with single reads
    bool m_gapBlockVerified = false;  // so did a block across one of the likely gaps
    std::vector<std::uint16_t> m_likelyGaps;         // sorted
    std::uint16_t m_blockTry = kMostBlockRegisters;  // the largest count worth asking for
    std::uint16_t m_blockTaken = 0;                  // the largest count the drive answered
    std::function<void()> m_onBlocksDisagree;
    struct Queued {
        Order order;
        Operation operation;
    };
    std::deque<Queued> m_queue;
    std::vector<std::function<void()>> m_idleActions;
};

}  // namespace velorin
