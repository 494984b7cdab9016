#include "LineSession.h"

#include <algorithm>
#include <utility>

namespace velorin {

namespace {

constexpr std::size_t kGroup = 16;  // reads taken together behind one quiet check
constexpr int kMostReads = 6;       // reads of one register before the line counts as unsettled
constexpr int kEchoEvidence = 3;    // reads in a row that must agree on the adapter's echo
// The latest reply guarded against, and the longest wait the session grows to.
constexpr Micros kLongestWait{1000000};
// After trouble on the line, values count only once two reads agree, for this long.
constexpr Micros kCarefulFor{2000000};
// How much a drive's answer time may vary before an answer counts as slow.
constexpr Micros kAnswerJitter{5000};
// What a quiet check adds to half as much again as the usual answer.
constexpr Micros kQuietMargin{1000};
// Values in a row that two reads settled at once, on a quiet line, before the line counts as
// clean again.
constexpr int kCleanAgain = 8;
// Clean answers whose middle one is taken as the drive's usual answer time.
constexpr std::size_t kAnswersKept = 9;
// Clean answers needed before a reply is set aside as too soon.
constexpr std::size_t kAnswersToGoBy = 3;

}  // namespace

struct LineSession::Slot {
    std::uint16_t reg = 0;
    std::uint16_t count = 1;  // registers from reg, read in one request
    ReplyCheck result;
    std::optional<ReplyCheck> candidate;  // a clean read waiting for more to agree
    int agreeing = 0;                     // reads that gave the candidate
    bool likeAnother = false;             // one of them was like another register's reply
    int reads = 0;
    Micros sentAt{0};  // of the read it was settled by
    bool settled = false;
    bool agreed = false;  // two reads agreed: later trouble does not reopen it
};

LineSession::LineSession(std::unique_ptr<SerialPort> port) : m_port(std::move(port)) {}

LineSession::~LineSession() {
    if (m_port && m_port->isOpen())
        m_port->close();
}

void LineSession::follow(const LinkState& link) {
    m_framing = link.framing;
    m_station = link.station;
}

OpenResult LineSession::open(int comPort, std::string_view settings) {
    if (m_port->isOpen())
        m_port->close();
    m_port->setCommPort(comPort);
    m_echoKnown = false;
    m_echoEvidence = 0;
    m_port->setEcho(AdapterEcho::Unknown);
    forgetLine();
    forgetBlocks();
    m_firstRequest = true;
    m_portLost = false;
    if (!m_port->setSettings(settings))
        return OpenResult::BadSettings;
    return m_port->open();
}

bool LineSession::changeSettings(std::string_view settings) {
    // What the line showed at the old settings says nothing of the new ones: a late reply from
    // there is garbage here.
    forgetLine();
    return m_port->setSettings(settings);
}

void LineSession::forgetLine() {
    m_answers.clear();
    m_recentReplies.clear();
    m_misbehaved = false;
    m_carefulUntil = Micros{0};
    m_replyMayComeUntil = Micros{0};
    m_slowInARow = 0;
}

void LineSession::close() {
    if (m_port->isOpen())
        m_port->close();
}

void LineSession::setReplyTimeout(Micros wait) {
    m_port->setReplyWait(wait);
}

long LineSession::lateReplies() const {
    return m_port->lateReplies();
}

int LineSession::framedValue(const ReplyCheck& check) const {
    return isRtu(m_framing) ? check.value : static_cast<std::int16_t>(check.value);
}

ReplyCheck LineSession::transactAt(std::uint8_t station, FunctionCode function, std::uint16_t reg,
                                   std::uint16_t word, RequestPurpose purpose, LineNotes* notes) {
    if (m_beforeTransaction && !m_stopRequested && !m_portLost)
        m_beforeTransaction(function, reg,
                            function == FunctionCode::ReadRegisters ? word : std::uint16_t{1});
    if (m_stopRequested)
        return {LinkOutcome::Stopped};
    if (m_portLost)
        return {LinkOutcome::PortError};
    LineNotes local;
    LineNotes& n = notes ? *notes : local;
    // A late reply to the last unanswered request lengthens the wait before this request goes.
    LineNotes late;
    listenForLateReply(*m_port, late);
    if (late.lateReplyHeard)
        lengthenWait(late.lateReplyAfter);
    // A read reply much sooner than the drive's quickest answer lately cannot be the drive's.
    const Micros usual = usualAnswer();
    // Setting a reply aside needs a few answers to go by: one answer held up by a busy computer
    // says little of how quick the drive is.
    const Micros quickest = m_answers.size() < kAnswersToGoBy
                                ? Micros{0}
                                : *std::min_element(m_answers.begin(), m_answers.end());
    const bool reads = function == FunctionCode::ReadRegisters;
    // Answer times are kept as one register's: a block's reply is longer on the line by this.
    const LineSettings line = parseSettings(m_port->settings()).value_or(LineSettings{});
    const Micros extra = reads ? blockReplyExtra(line, m_framing, word) : Micros{0};
    const Micros notBefore = reads && quickest > Micros{0} ? quickest * 4 / 5 + extra : Micros{0};
    const bool observed = !m_observers->empty();
    const ReplyCheck r = transact(*m_port, m_framing, station, function, reg, word, &n, notBefore,
                                  observed ? &m_bytes : nullptr);
    // A reply far later than the drive's quickest answers may be another request's, come late,
    // while this one's own reply is still on its way.
    const Micros answered = n.answeredAfter - extra;
    n.slow = r.complete() && usual > Micros{0} && answered > usual * 3 / 2 + kAnswerJitter;
    // While too little is known to set a reply aside, one much quicker than any seen before is in
    // doubt as a slow one is.
    if (r.complete() && reads && quickest == Micros{0} && !m_answers.empty() &&
        answered < *std::min_element(m_answers.begin(), m_answers.end()) * 4 / 5)
        n.slow = true;
    // Whatever waited in the port before its first request is what was there before we came.
    if (m_firstRequest)
        n.strayBefore = false;
    m_firstRequest = false;
    n.lateReplyHeard = late.lateReplyHeard;
    n.lateReplyAfter = late.lateReplyAfter;
    n.strayBefore = n.strayBefore || late.strayBefore;
    if (observed) {
        if (m_readingBack && reads)
            purpose = RequestPurpose::ReadBack;
        m_observers->tell({m_framing, station, function, reg, word, purpose, m_bytes.request,
                           m_bytes.received, r, n});
    }
    if (r.outcome != LinkOutcome::PortError) {
        LineNotes asOne = n;
        asOne.answeredAfter = answered;
        learn(function, r, asOne);
        m_lastBlockExtra = extra;
    }
    if (r.outcome == LinkOutcome::PortError && !m_portLost) {
        m_portLost = true;
        if (m_running)
            m_stopRequested = true;
        if (m_onPortLost)
            m_onPortLost();
    }
    return r;
}

void LineSession::learn(FunctionCode function, const ReplyCheck& r, const LineNotes& notes) {
    m_lastSentAt = notes.sentAt;
    if (notes.lateReplyHeard)
        lengthenWait(notes.lateReplyAfter);
    if (notes.troubled())
        doubtUntil(clock().now() + kCarefulFor, true);
    if (!r.complete()) {
        // Its reply may still come, whatever the reads after it show.
        m_replyMayComeUntil = std::max(m_replyMayComeUntil, notes.requestEnd + lateReplyHorizon());
        if (notes.tooSoon)
            m_answers.clear();  // perhaps the drive got quicker: learn it again
        return;
    }
    if (function == FunctionCode::ReadRegisters)
        m_echoKnown = true;  // something came back: the port has shown its echo, if any
    if (notes.troubled())
        return;
    // Slow answers in a row: the drive itself has become slower, its usual answer is learnt anew.
    m_slowInARow = notes.slow ? m_slowInARow + 1 : 0;
    if (m_slowInARow >= kEchoEvidence) {
        m_answers.clear();
        m_slowInARow = 0;
    }
    if (!notes.slow) {
        if (m_answers.size() == kAnswersKept)
            m_answers.pop_front();
        m_answers.push_back(notes.answeredAfter);
    }
    if (function != FunctionCode::ReadRegisters)
        return;
    // Whether the adapter echoes is learned from several reads that agree, never from one frame
    // (a reflection on the line).
    if (notes.copyFirst)
        m_echoEvidence = m_echoEvidence > 0 ? m_echoEvidence + 1 : 1;
    else
        m_echoEvidence = m_echoEvidence < 0 ? m_echoEvidence - 1 : -1;
    // An adapter that echoes copies every request: a reply without a copy shows a quiet adapter
    // as long as nothing else was learnt; a copy (perhaps a reflection) must come again and again.
    const bool unknown = m_port->echo() == AdapterEcho::Unknown;
    if (m_echoEvidence >= kEchoEvidence)
        m_port->setEcho(AdapterEcho::Echoes);
    if (m_echoEvidence <= -kEchoEvidence || (unknown && m_echoEvidence < 0))
        m_port->setEcho(AdapterEcho::Silent);
}

void LineSession::lengthenWait(Micros lateBy) {
    const long long tens = (lateBy.count() * 5 / 4 + 9999) / 10000;
    const Micros wait = std::min(kLongestWait, Micros{tens * 10000});
    if (wait <= m_port->replyWait())
        return;
    m_port->setReplyWait(wait);
    if (!m_slowDriveTold) {
        m_slowDriveTold = true;
        if (m_onSlowDrive)
            m_onSlowDrive();
    }
}

Micros LineSession::lateReplyHorizon() const {
    // A reply held up by the longest delay guarded against still takes the drive's own answer
    // time on top of it, which the reply wait covers.
    return kLongestWait + m_port->replyWait();
}

bool LineSession::careful() const {
    return m_port->timedWait().now() < std::max(m_carefulUntil, m_replyMayComeUntil);
}

void LineSession::trustLineAgain() {
    m_carefulUntil = Micros{0};
    m_misbehaved = false;
    m_settledAtOnce = 0;
}

void LineSession::doubtUntil(Micros until, bool strayFrames) {
    m_carefulUntil = std::max(m_carefulUntil, until);
    m_misbehaved = m_misbehaved || strayFrames;
}

bool LineSession::echoesRecentReply(std::uint16_t reg, const ReplyCheck& r) {
    const Micros now = clock().now();
    while (!m_recentReplies.empty() && m_recentReplies.front().at < now - kLongestWait)
        m_recentReplies.pop_front();
    // On a line that has shown trouble, or on any line with verified reads, a reply just like one
    // another register gave lately may be that reply sent again: it counts once a read agrees.
    bool same = false;
    for (const RecentReply& earlier : m_recentReplies)
        same = same || (earlier.reg != reg && sameAnswer(earlier.reply, r));
    m_recentReplies.push_back({now, reg, r});
    return same && (m_misbehaved || m_verifyReads);
}

Micros LineSession::settledAt() const {
    // Once the usual answer has passed with half as much again, no reply to the last request is
    // still on its way; while the line is in doubt, three times the usual answer, and the whole
    // reply timeout while the usual answer is not known.
    const Micros usual = usualAnswer();
    const Micros whole = replyDeadline(parseSettings(m_port->settings()).value_or(LineSettings{}),
                                       m_framing, FunctionCode::ReadRegisters, m_port->replyWait());
    // A block's reply is longer on the line, and so is any copy of it.
    const Micros last = m_lastSentAt + m_lastBlockExtra;
    if (usual == Micros{0})
        return last + whole;
    if (careful())
        return last + std::min(whole, usual * 3 + kAnswerJitter);
    return last + usual * 3 / 2 + kQuietMargin;
}

Micros LineSession::usualAnswer() const {
    if (m_answers.empty())
        return Micros{0};
    std::vector<Micros> sorted(m_answers.begin(), m_answers.end());
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    // No drive answers a read sooner than the request and the reply take on the line. Quicker
    // answers come from a port quicker than its rate (a pseudo-terminal), or are every one of
    // them the reply to the request before, each request's own reply landing in the next one's
    // wait: quiet checks timed by such answers would end before the real replies come.
    const LineSettings line = parseSettings(m_port->settings()).value_or(LineSettings{});
    return std::max(sorted[sorted.size() / 2], leastAnswer(line, m_framing));
}

bool LineSession::quietUntil(Micros until) {
    if (!m_port->isOpen())
        return true;
    TimedWait& c = clock();
    std::vector<std::uint8_t> heard;
    const auto anything = [&] {
        if (!m_port->isOpen())
            return true;
        const auto more = m_port->take();
        heard.insert(heard.end(), more.begin(), more.end());
        return !heard.empty();
    };
    if (!anything() && c.now() < until)
        c.wait(until - c.now(), anything);
    if (heard.empty())
        return true;
    m_port->setLastTraffic(std::max(m_port->lastTraffic(), c.now()));
    // The reply to a request that went unanswered tells how late the drive answers.
    const auto& pending = m_port->unanswered();
    if (pending && pending->settings == m_port->settings()) {
        const std::string_view request(reinterpret_cast<const char*>(pending->request.data()),
                                       pending->request.size());
        const std::string_view text(reinterpret_cast<const char*>(heard.data()), heard.size());
        const bool mayEcho = m_port->echo() != AdapterEcho::Silent;
        const ReplyCheck late = isRtu(pending->framing)
                                    ? checkRtuReply(pending->request, heard, mayEcho)
                                    : checkAsciiReply(request, text, mayEcho);
        if (late.complete()) {
            m_port->countLateReply();
            lengthenWait(c.now() - pending->requestEnd);
            m_port->setUnanswered(std::nullopt);
        }
    }
    doubtUntil(c.now() + kCarefulFor, true);
    return false;
}

bool LineSession::readGroup(std::uint8_t station, std::span<Slot> slots) {
    // Trouble on a line taken for clean reopens every value two reads have not agreed on and
    // whose reply came recently enough for its own reply to be still on its way: any of them
    // may have been another register's reply.
    const auto reopen = [&] {
        const Micros since = clock().now() - lateReplyHorizon();
        for (Slot& s : slots)
            if (s.settled && !s.agreed && s.result.complete() && s.sentAt >= since)
                s.settled = false;
    };
    Slot* previous = nullptr;
    std::size_t upTo = slots.size();  // reads end at the first register that goes unanswered
    for (;;) {
        bool readAny = false;
        for (std::size_t i = 0; i < upTo; ++i) {
            Slot& s = slots[i];
            if (s.settled)
                continue;
            if (s.reads >= kMostReads) {
                s.result = {LinkOutcome::Unsettled};
                s.settled = true;
                continue;
            }
            readAny = true;
            const bool wasCareful = careful();
            bool doubtful = wasCareful;
            LineNotes notes;
            const ReplyCheck r =
                transactAt(station, FunctionCode::ReadRegisters, s.reg, s.count,
                           s.reads > 0 ? RequestPurpose::ReadAgain : RequestPurpose::Read, &notes);
            const bool likeAnother = r.complete() && echoesRecentReply(s.reg, r);
            doubtful = doubtful || notes.slow || likeAnother;
            ++s.reads;
            if (r.outcome == LinkOutcome::Stopped || r.outcome == LinkOutcome::PortError) {
                s.result = r;
                s.settled = true;
                return false;
            }
            Slot* before = std::exchange(previous, &s);
            // A request read in doubt may have had another's reply: its own may still come.
            // (One slow answer on a line that has shown nothing else is asked again, no more.)
            if (wasCareful || m_misbehaved)
                doubtUntil(notes.requestEnd + lateReplyHorizon());
            if (!r.complete()) {
                // Its reply may still come, and what was read just before it is in doubt too:
                // asked again before the run ends here.
                reopen();
                s.result = r;  // a failure, told as such
                s.settled = true;
                upTo = i + 1;
                break;
            }
            if (doubtful) {
                // While the line is in doubt each read is followed by a quiet check, and a value
                // counts once two such reads agree.
                const bool quiet = quietUntil(settledAt());
                if (notes.troubled() || notes.slow || !quiet) {
                    m_settledAtOnce = 0;
                    // Its own value may still be on its way, and what came may be another's.
                    if (notes.troubled() || !quiet)
                        reopen();
                    s.candidate.reset();
                    s.agreeing = 0;
                    if (notes.strayBefore && before && !before->settled) {
                        before->candidate.reset();  // what came may have been its reply
                        before->agreeing = 0;
                    }
                    continue;
                }
                const bool agrees = s.candidate && sameAnswer(*s.candidate, r);
                // A value like another register's recent reply may be that reply sent again
                // and again: on a line that has shown trouble it takes three agreeing reads
                // (two where only verified reads put it in doubt).
                s.likeAnother = (agrees && s.likeAnother) || (likeAnother && m_misbehaved);
                s.agreeing = agrees ? s.agreeing + 1 : 1;
                if (s.agreeing >= (s.likeAnother ? 3 : 2)) {
                    s.result = r;
                    s.settled = s.agreed = true;
                    // A run of values that settled at once on a line that never carried a stray
                    // frame: the doubt came from a slow answer or a lost one, and is over.
                    if (++m_settledAtOnce >= (m_misbehaved ? 4 * kCleanAgain : kCleanAgain))
                        trustLineAgain();
                } else if (!agrees) {
                    if (s.candidate)
                        m_settledAtOnce = 0;
                    s.candidate = r;
                }
                continue;
            }
            if (notes.troubled()) {
                reopen();
                continue;
            }
            s.result = r;  // counts once the group's quiet check passes
            s.settled = true;
            s.sentAt = notes.sentAt;
        }
        if (!readAny)
            return true;
        // A reply taken for another's leaves that one's own reply still to come.
        if (!quietUntil(settledAt()))
            reopen();
    }
}

std::vector<ReplyCheck> LineSession::readRegisters(std::span<const std::uint16_t> regs) {
    if (m_blockReads && regs.size() > 1 && std::is_sorted(regs.begin(), regs.end()) &&
        std::adjacent_find(regs.begin(), regs.end()) == regs.end())
        return readInBlocks(regs);
    return readRegistersAt(m_station, regs);
}

std::vector<ReplyCheck> LineSession::readRegistersAt(std::uint8_t station,
                                                     std::span<const std::uint16_t> regs) {
    std::vector<Slot> slots(regs.size());
    for (std::size_t i = 0; i < regs.size(); ++i) slots[i].reg = regs[i];
    std::vector<ReplyCheck> out;
    for (std::size_t start = 0; start < slots.size(); start += kGroup) {
        // Trouble in this group reopens the recent values of the groups before it, too.
        const std::size_t end = std::min(slots.size(), start + kGroup);
        bool failed = !readGroup(station, std::span(slots).first(end));
        out.clear();
        for (std::size_t i = 0; i < end && slots[i].settled; ++i) {
            out.push_back(slots[i].result);
            const LinkOutcome o = slots[i].result.outcome;
            failed = failed || (o != LinkOutcome::Ok && o != LinkOutcome::Exception);
        }
        if (failed || out.size() < end)
            break;
    }
    return out;
}

ReplyCheck LineSession::read(std::uint16_t reg) {
    return readAt(m_station, reg);
}

ReplyCheck LineSession::readAt(std::uint8_t station, std::uint16_t reg) {
    const std::uint16_t one[] = {reg};
    const auto r = readRegistersAt(station, one);
    return r.empty() ? ReplyCheck{LinkOutcome::Stopped} : r.front();
}

ReplyCheck LineSession::readBlock(std::uint16_t first, std::uint16_t count) {
    if (count == 0 || count > kMostBlockRegisters)
        return {LinkOutcome::Malformed};
    Slot slot[1];
    slot[0].reg = first;
    slot[0].count = count;
    if (!readGroup(m_station, slot) && !slot[0].settled)
        return {LinkOutcome::Stopped};
    return slot[0].result;
}

ReplyCheck LineSession::write(std::uint16_t reg, std::uint16_t value) {
    return writeAt(m_station, reg, value);
}

ReplyCheck LineSession::writeAt(std::uint8_t station, std::uint16_t reg, std::uint16_t value) {
    if (!m_echoKnown) {
        const ReplyCheck first =
            transactAt(station, FunctionCode::ReadRegisters, reg, 1, RequestPurpose::BeforeWrite);
        if (first.outcome == LinkOutcome::Stopped || first.outcome == LinkOutcome::PortError)
            return first;
        // A copy of its reply may yet come in a later read's wait.
        if (m_verifyReads && first.complete())
            echoesRecentReply(reg, first);
    }
    LineNotes notes;
    const ReplyCheck r =
        transactAt(station, FunctionCode::WriteRegister, reg, value, RequestPurpose::Write, &notes);
    if (r.outcome == LinkOutcome::NoReply && notes.copies == 1) {
        // One copy of the request came: the adapter's echo with the drive silent, or the drive's
        // reply behind an adapter that does not echo. What the register now holds tells.
        m_readingBack = true;
        const ReplyCheck back = readAt(station, reg);
        m_readingBack = false;
        if (back.outcome == LinkOutcome::Ok && back.value == value)
            return {LinkOutcome::Ok, value};
    }
    return r;
}

}  // namespace velorin
