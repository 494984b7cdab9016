#pragma once
// What a line session believes of its line: the evidence rules that decide whether a reply may
// be taken as the answer to the request it came after.
//
// A read reply does not name its register, so a reply is only as good as the line around it.
// Timing alone never throws a reply away: honest lines vary (drives answer from a main loop, USB
// adapters hand bytes on when their latency timer runs out, pseudo-terminals and sockets carry no
// wire time at all). A reply is doubted only on evidence that a stale one could be about:
// - an earlier request on this port is still owed its reply, within the time it may still come;
// - the line has carried frames no request was waiting for (a frame sent twice, an echo, a reply
//   later than its deadline, noise);
// - the reply is byte for byte another register's recent reply, as a copy of it would be;
// - on a port that carries wire time, the reply was complete sooner than the request and the
//   reply take on the line: no drive's answer can be, so it is another's.
// A doubted value counts only once a further read agrees.
//
// A Modbus TCP reply names its request by the transaction id, so none of this doubt applies
// there: a late or repeated frame carries another id and is set aside as it comes.

#include <cstdint>
#include <deque>
#include <map>

#include "Frames.h"
#include "SerialPort.h"
#include "Transaction.h"

namespace velorin {

class LineTrust {
public:
    explicit LineTrust(SerialPort& port) : m_port(port) {}

    // A port opened afresh: its adapter's echo is not known, nothing was seen.
    void forgetPort();
    // New line settings: what the line showed at the old ones says nothing of the new.
    void forgetLine();

    // Whether replies carry their request's transaction id (Modbus TCP): then no value is doubted
    // for the line's sake.
    void setNamedReplies(bool named) { m_named = named; }
    bool namedReplies() const { return m_named; }

    // ---- Before a transaction ----
    // The soonest any reply to a read can be complete after the request was handed over, where
    // the port carries wire time; zero where it does not (a pseudo-terminal, a socket), for there
    // any time is possible.
    Micros physicalFloor(Framing framing) const;
    // A write on a port whose adapter has not shown its echo is preceded by a read.
    bool echoKnown() const { return m_echoKnown; }

    // ---- After a transaction ----
    // What a transaction showed: echo evidence, the drive's answer times, stray frames and the
    // replies still owed. `extra`: how much longer a block's reply is on the line than one
    // register's (answer times are kept as one register's). Marks `notes.slow` when the answer
    // was far from the usual one (told, and doubted only on a line that has given cause).
    void learn(Framing framing, FunctionCode function, const ReplyCheck& reply, LineNotes& notes,
               Micros extra);
    // Whether a read reply for `reg` is byte for byte like one another register gave in the
    // last second, as a copy of it would be. Kept among the recent replies.
    bool likeRecentReply(std::uint16_t reg, const ReplyCheck& reply);
    // The same question for a reply still to be asked for, which is not kept.
    bool wouldBeLikeRecentReply(std::uint16_t reg, const ReplyCheck& reply) const;
    // The value a register was last found to hold, and whether `reply` for `reg` is like the
    // one another register was last found to hold, however long ago: while a reply is owed, a
    // late reply of that register's may bring it.
    void settledValue(std::uint16_t reg, const ReplyCheck& reply);
    bool likeSettledValue(std::uint16_t reg, const ReplyCheck& reply) const;
    void keepRecentReply(std::uint16_t reg, const ReplyCheck& reply);
    // A register asked for alone at `at`; whether it was asked in the second before `before`,
    // so that its reply may have come in the wait of a request before it.
    void asked(std::uint16_t reg, Micros at);
    bool askedBefore(std::uint16_t reg, Micros before) const;

    // ---- Doubt ----
    // Values count only once two reads agree: after trouble, and while a request is owed.
    bool careful() const;
    // Trouble was seen since the line was last trusted again.
    bool misbehaved() const { return m_misbehaved && !m_named; }
    // Values count only once two reads agree until `until`; `strayFrames`: frames came that no
    // request of ours was waiting for.
    void doubtUntil(Micros until, bool strayFrames = false);
    // Frames came that no request was waiting for.
    void strayHeard();
    // A request read in doubt may have had another's reply: its own may still come.
    void owedAfter(Micros requestEnd);
    // A value settled by two agreeing reads at once on a quiet line; after a run of them the
    // line counts as clean again (though a reply still owed keeps its doubt).
    void settledAtOnce();
    void settledLater() { m_settledAtOnce = 0; }
    // How long after a request's end its reply may still come.
    Micros lateReplyHorizon() const;
    // When the line must have been quiet before the values read so far may count: after the
    // last request, half as much again as the usual answer; three times it while in doubt; the
    // whole reply wait while the usual answer is not known.
    Micros settledAt(Framing framing) const;
    // The middle of the latest clean answer times; zero while none is known.
    Micros usualAnswer(Framing framing) const;

    // The longest delay guarded against, and the longest wait a session grows to.
    static constexpr Micros kLongestWait{1000000};

private:
    SerialPort& m_port;
    bool m_named = false;
    bool m_echoKnown = false;  // a read has shown whether the adapter echoes
    int m_echoEvidence = 0;    // reads in a row that showed the same (> 0 a copy, < 0 none)
    // The drive's latest answer times on this line, from clean transactions only.
    std::deque<Micros> m_answers;
    int m_slowInARow = 0;
    int m_settledAtOnce = 0;
    struct RecentReply {
        Micros at;
        std::uint16_t reg;
        ReplyCheck reply;
    };
    std::deque<RecentReply> m_recentReplies;
    std::deque<std::pair<Micros, std::uint16_t>> m_asked;  // single reads of the last second
    std::map<std::uint16_t, ReplyCheck> m_settled;  // by register (single reads)
    bool m_misbehaved = false;                      // trouble since the line was last trusted again
    Micros m_lastSentAt{0};
    Micros m_lastBlockExtra{0};  // the last read's reply longer on the line than one register's
    Micros m_carefulUntil{0};
    // Until when a request left unanswered may still have its reply come: a run of clean values
    // does not end this doubt.
    Micros m_replyMayComeUntil{0};
};

}  // namespace velorin
