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

#include "LineTrust.h"
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

    // Requests without a usable reply, in a row, before a read or write counts as failed: a
    // noise burst on a real line must not end a job.
    static constexpr int kTries = 3;

    explicit LineSession(std::unique_ptr<SerialPort> port);
    ~LineSession();
    LineSession(const LineSession&) = delete;
    LineSession& operator=(const LineSession&) = delete;

    SerialPort& port() { return *m_port; }
    TimedWait& clock() { return m_port->timedWait(); }

    // ---- Link settings in force ----
    Framing framing() const { return m_framing; }
    void setFraming(Framing framing) { m_framing = m_gatewayFraming.value_or(framing); }
    // Through a network gateway the framing is the gateway's, whatever the drive's own format on
    // the gateway's serial side (a write of it calls setFraming): Modbus TCP stays Modbus TCP.
    void setGatewayFraming(Framing framing) {
        m_gatewayFraming = framing;
        m_framing = framing;
    }
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
    // A read reply does not name its register, so a value is taken only where nothing gives
    // cause to doubt it (see LineTrust): a doubted value counts once a further read agrees, and
    // after trouble on the line once two reads agree. A read without a usable reply (none, a
    // garbled one, another station's, the drive busy) is asked again, up to three times, as a
    // noise burst must not end a job. A register the line never lets settle gives
    // LinkOutcome::Unsettled. Values are taken in groups: before a group counts, the line must
    // stay quiet until the last reply could have come.
    ReplyCheck read(std::uint16_t reg);
    // Reads taken together behind one quiet check.
    static constexpr std::size_t kReadGroup = 16;
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
    bool blocksDisagreed() const { return m_blockEvidence == BlockEvidence::Differ; }
    // The registers a drive is most likely to leave out of its blocks (those that hold no
    // parameter). A first block that crosses none of them shows nothing of how the drive answers
    // a block across them, so blocks across them are read again register by register too, from
    // the gap on, until one has values that a shift would have changed (not all alike).
    void setLikelyBlockGaps(std::vector<std::uint16_t> regs);
    // A write is confirmed by the drive's reply, which names register and value. Where an
    // adapter's copy of the request could pass for that reply (its echo is not yet known) or no
    // usable reply came, the register is read back: holding the value confirms the write, else
    // it is sent again (three times at most). A write on a port that has not yet shown whether
    // its adapter echoes is preceded by a read of the same register. A write that moves the
    // drive's link (its station, rate or format, a factory reset) is never read back or sent
    // again: the drive no longer answers at the old link. A command is sent again without a
    // read back: the register may hold the same word from before.
    ReplyCheck write(std::uint16_t reg, std::uint16_t value,
                     WriteEffect effect = WriteEffect::Ordinary);
    // A read of another station (the scan's probe, the developer write's station change).
    ReplyCheck readAt(std::uint8_t station, std::uint16_t reg);
    // A read asked once, however it went: the scan's probe, where silence is the common answer.
    ReplyCheck probeAt(std::uint8_t station, std::uint16_t reg);
    // The next request goes out without listening first for the reply still owed to the last
    // one: a survey's probe of the next station hears that reply, if it comes, as another
    // station's.
    void forgetOwedReply();
    ReplyCheck writeAt(std::uint8_t station, std::uint16_t reg, std::uint16_t value,
                       WriteEffect effect = WriteEffect::Ordinary);
    // A read's value as the framing gives it: unsigned over RTU and Modbus TCP, signed over ASCII.
    int framedValue(const ReplyCheck& check) const;

    // ---- Operations ----
    // Runs `operation` now when the session is idle (and every operation queued meanwhile after
    // it), else queues it and returns at once.
    void submit(Operation operation, Order order = Order::Normal);
    // An operation under way or queued.
    bool busy() const { return m_queueState != QueueState::Idle; }
    // Ends the operation under way after its current transaction (its further transactions are
    // not sent) and drops the queued ones. Cleared once the session is idle.
    void stop();
    bool stopRequested() const { return m_queueState == QueueState::Stopping; }
    // Runs `action` once the session is idle: now if it is, else right after the last operation.
    void whenIdle(std::function<void()> action);

    // ---- What the line showed ----
    // The device went away (adapter unplugged): reported once through onPortLost, after which
    // nothing more is sent until the port is opened again.
    bool portLost() const { return m_portState == PortState::Lost; }
    void setOnPortLost(std::function<void()> handler) { m_onPortLost = std::move(handler); }
    // A network port (a gateway's connection) lost is opened once more before the next job: an
    // operation handed to submit() while the session is idle, or the owner's call here between
    // jobs. Never inside an operation, so no write goes out again on a new connection unasked.
    // One try per loss; false when the port is not lost, is no network port, or does not open.
    bool reconnect();
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
    // One register (or block) of a window of reads, on its way to a value the line was clean
    // around.
    struct Slot {
        std::uint16_t reg = 0;
        std::uint16_t count = 1;  // registers from reg, read in one request
        ReplyCheck result;
        std::optional<ReplyCheck> candidate;  // a clean read waiting for more to agree
        int agreeing = 0;                     // reads that gave the candidate
        bool likeAnother = false;             // one of them was like another register's reply
        int reads = 0;
        int failures = 0;    // reads without a usable reply, in a row
        int tries = kTries;  // of them before the read fails
        Micros sentAt{0};    // of the read it was settled by
        Micros takenAt{0};   // when that read's reply was taken
        bool settled = false;
        bool agreed = false;    // two reads agreed: later trouble does not reopen it
        bool onlyLike = false;  // the candidate is doubted only for being like another's reply
        std::optional<ReplyCheck> seen;  // the last usable reply, kept when the value is reopened
        bool disputed = false;           // usable replies of it differed
    };
    // Settles every slot of a window of reads: each result is a value the line was clean
    // around, a failure, or Unsettled. False when stopped or the port was lost.
    bool readGroup(std::uint8_t station, std::span<Slot> slots);
    // `tries`: requests without a usable reply before a register's read fails.
    std::vector<ReplyCheck> readRegistersAt(std::uint8_t station,
                                            std::span<const std::uint16_t> regs,
                                            int tries = kTries);
    std::vector<ReplyCheck> readInBlocks(std::span<const std::uint16_t> regs);
    // Confirms runs of neighbouring values doubted only for being like the reply before, each
    // run by one block read where the drive answers blocks. False when stopped or the port lost.
    bool confirmInBlocks(std::uint8_t station, std::span<Slot> slots);
    // Characters a read of `count` registers puts on the line, request and reply.
    std::size_t blockCosts(std::size_t count) const;
    // What a block over `slots` should say: the values taken, or waiting to be confirmed.
    static ReplyCheck expectedBlock(std::span<const Slot> slots);
    void forgetBlocks();
    // Listens until `until`: whether the line stayed quiet.
    bool quietUntil(Micros until);
    void lengthenWait(Micros lateBy);
    void drain();

    std::unique_ptr<SerialPort> m_port;
    Framing m_framing = Framing::Ascii;
    std::optional<Framing> m_gatewayFraming;
    std::uint8_t m_station = 1;
    LineTrust m_trust{*m_port};
    // The queue: idle, running operations, or running them after stop() (the rest are dropped).
    enum class QueueState : std::uint8_t { Idle, Running, Stopping };
    QueueState m_queueState = QueueState::Idle;
    // The port: opened afresh (nothing sent yet, so whatever waits in it came before us), in
    // use, or lost (nothing is sent until it is opened again, or a network port reconnected).
    enum class PortState : std::uint8_t { Fresh, InUse, Lost };
    PortState m_portState = PortState::Fresh;
    bool m_reconnectTried = false;  // once since the last reply: a further loss is not retried
    std::function<void()> m_onPortLost;
    std::function<void()> m_onSlowDrive;
    bool m_slowDriveTold = false;
    BeforeTransaction m_beforeTransaction;
    LineObservers m_ownObservers;
    LineObservers* m_observers = &m_ownObservers;
    LineBytes m_bytes;           // the latest transaction's, while anyone observes
    bool m_readingBack = false;  // a write's register is read back
    bool m_blockReads = false;
    // What blocks showed against single reads of the same registers: nothing yet; that they
    // agree; that they agree across one of the likely gaps too; that they differ (then no more
    // blocks are read until the port is opened again).
    enum class BlockEvidence : std::uint8_t { Unproven, Agree, AgreeAcrossGap, Differ };
    BlockEvidence m_blockEvidence = BlockEvidence::Unproven;
    std::vector<std::uint16_t> m_likelyGaps;         // sorted
    std::uint16_t m_blockTry = kMostBlockRegisters;  // the largest count worth asking for
    std::uint16_t m_blockTaken = 0;                  // the largest count the drive answered
    // Whether blocks may confirm doubted values: not once the drive refused or ignored one, or
    // its blocks twice disagreed with the single reads they were to confirm.
    bool m_confirmByBlocks = true;
    int m_confirmDisagreed = 0;
    std::function<void()> m_onBlocksDisagree;
    struct Queued {
        Order order;
        Operation operation;
    };
    std::deque<Queued> m_queue;
    std::vector<std::function<void()>> m_idleActions;
};

}  // namespace velorin
