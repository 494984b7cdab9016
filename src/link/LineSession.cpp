#include "LineSession.h"

#include <algorithm>
#include <utility>

namespace velorin {

namespace {

constexpr int kMostReads = 16;      // reads of one register before the line counts as unsettled

// No usable reply, or a drive too busy to answer: worth asking again. The drive's refusals
// (no such function, register or value) are its answer.
bool worthAgain(const ReplyCheck& r) {
    if (r.outcome == LinkOutcome::Exception)
        return r.exceptionCode != ExceptionCode::IllegalFunction &&
               r.exceptionCode != ExceptionCode::IllegalAddress &&
               r.exceptionCode != ExceptionCode::IllegalValue;
    return r.outcome != LinkOutcome::Ok && r.outcome != LinkOutcome::Stopped &&
           r.outcome != LinkOutcome::PortError && r.outcome != LinkOutcome::Unsettled;
}

}  // namespace

LineSession::LineSession(std::unique_ptr<SerialPort> port) : m_port(std::move(port)) {}

LineSession::~LineSession() {
    if (m_port && m_port->isOpen())
        m_port->close();
}

void LineSession::follow(const LinkState& link) {
    setFraming(link.framing);
    m_station = link.station;
}

OpenResult LineSession::open(int comPort, std::string_view settings) {
    if (m_port->isOpen())
        m_port->close();
    m_port->setCommPort(comPort);
    m_trust.forgetPort();
    forgetBlocks();
    m_portState = PortState::Fresh;
    m_reconnectTried = false;
    if (!m_port->setSettings(settings))
        return OpenResult::BadSettings;
    return m_port->open();
}

bool LineSession::reconnect() {
    if (m_portState != PortState::Lost || !m_port->isNetwork() || m_reconnectTried ||
        m_queueState != QueueState::Idle)
        return false;
    m_reconnectTried = true;
    if (m_port->isOpen())
        m_port->close();
    if (m_port->open() != OpenResult::Ok)
        return false;
    // A new connection: nothing of the old one's replies can come here.
    m_port->setUnanswered(std::nullopt);
    m_portState = PortState::Fresh;
    return true;
}

bool LineSession::changeSettings(std::string_view settings) {
    // What the line showed at the old settings says nothing of the new ones: a late reply from
    // there is garbage here.
    m_trust.forgetLine();
    return m_port->setSettings(settings);
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
    return isBinary(m_framing) ? check.value : static_cast<std::int16_t>(check.value);
}

ReplyCheck LineSession::transactAt(std::uint8_t station, FunctionCode function, std::uint16_t reg,
                                   std::uint16_t word, RequestPurpose purpose, LineNotes* notes) {
    if (m_beforeTransaction && m_queueState != QueueState::Stopping &&
        m_portState != PortState::Lost)
        m_beforeTransaction(function, reg,
                            function == FunctionCode::ReadRegisters ? word : std::uint16_t{1});
    if (m_queueState == QueueState::Stopping)
        return {LinkOutcome::Stopped};
    if (m_portState == PortState::Lost)
        return {LinkOutcome::PortError};
    m_trust.setNamedReplies(m_framing == Framing::Mbap);
    LineNotes local;
    LineNotes& n = notes ? *notes : local;
    // A late reply to the last unanswered request lengthens the wait before this request goes.
    LineNotes late;
    listenForLateReply(*m_port, late);
    if (late.lateReplyHeard)
        lengthenWait(late.lateReplyAfter);
    const bool reads = function == FunctionCode::ReadRegisters;
    // A reply complete sooner than the line can carry request and reply is another's. Timing
    // sets nothing else aside: quicker or slower than usual, a reply is taken.
    const LineSettings line = parseSettings(m_port->settings()).value_or(LineSettings{});
    const Micros extra = reads ? blockReplyExtra(line, m_framing, word) : Micros{0};
    const Micros floor = reads ? m_trust.physicalFloor(m_framing) : Micros{0};
    const bool observed = !m_observers->empty();
    const ReplyCheck r = transact(*m_port, m_framing, station, function, reg, word, &n, floor,
                                  observed ? &m_bytes : nullptr);
    if (reads && word == 1)
        m_trust.asked(reg, n.sentAt);
    // Whatever waited in the port before its first request is what was there before we came.
    if (m_portState == PortState::Fresh)
        n.strayBefore = false;
    m_portState = PortState::InUse;
    n.lateReplyHeard = late.lateReplyHeard;
    n.lateReplyAfter = late.lateReplyAfter;
    n.strayBefore = n.strayBefore || late.strayBefore;
    if (r.outcome != LinkOutcome::PortError) {
        if (n.lateReplyHeard)
            lengthenWait(n.lateReplyAfter);
        if (n.namedLateAfter >= Micros{0})
            lengthenWait(n.namedLateAfter);
        m_trust.learn(m_framing, function, r, n, extra);
    }
    if (observed) {
        if (m_readingBack && reads)
            purpose = RequestPurpose::ReadBack;
        m_observers->tell({m_framing, station, function, reg, word, purpose, m_bytes.request,
                           m_bytes.received, r, n, m_port->settings()});
    }
    if (r.complete())
        m_reconnectTried = false;  // the next loss may be reconnected again
    if (r.outcome == LinkOutcome::PortError) {
        m_portState = PortState::Lost;
        if (m_queueState == QueueState::Running)
            m_queueState = QueueState::Stopping;
        if (m_onPortLost)
            m_onPortLost();
    }
    return r;
}

void LineSession::lengthenWait(Micros lateBy) {
    const long long tens = (lateBy.count() * 5 / 4 + 9999) / 10000;
    const Micros wait = std::min(LineTrust::kLongestWait, Micros{tens * 10000});
    if (wait <= m_port->replyWait())
        return;
    m_port->setReplyWait(wait);
    if (!m_slowDriveTold) {
        m_slowDriveTold = true;
        if (m_onSlowDrive)
            m_onSlowDrive();
    }
}

bool LineSession::quietUntil(Micros until) {
    // A Modbus TCP frame names its transaction: what comes later is known for another's.
    if (!m_port->isOpen() || m_trust.namedReplies())
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
    m_trust.strayHeard();
    return false;
}

bool LineSession::readGroup(std::uint8_t station, std::span<Slot> slots) {
    // Trouble on a line taken for clean reopens every value two reads have not agreed on and
    // whose reply came recently enough for its own reply to be still on its way: any of them
    // may have been another register's reply.
    const auto reopen = [&] {
        if (m_trust.namedReplies())
            return;
        const Micros since = clock().now() - m_trust.lateReplyHorizon();
        for (Slot& s : slots)
            if (s.settled && !s.agreed && s.result.complete() && s.sentAt >= since)
                s.settled = false;
    };
    Slot* previous = nullptr;
    std::size_t upTo = slots.size();  // reads end at a register that failed for good
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
            const bool wasCareful = m_trust.careful();
            LineNotes notes;
            const ReplyCheck r =
                transactAt(station, FunctionCode::ReadRegisters, s.reg, s.count,
                           s.reads > 0 ? RequestPurpose::ReadAgain : RequestPurpose::Read, &notes);
            ++s.reads;
            if (r.outcome == LinkOutcome::Stopped || r.outcome == LinkOutcome::PortError) {
                s.result = r;
                s.settled = true;
                return false;
            }
            const bool usable = r.complete() && !worthAgain(r);
            // Replies of one register that differ within a job: one of them was another's.
            if (usable) {
                s.disputed = s.disputed || (s.seen && !sameAnswer(*s.seen, r));
                s.seen = r;
            }
            const bool likeAnother = usable && m_trust.likeRecentReply(s.reg, r);
            // Likeness goes both ways: a value taken before that this reply is like may have
            // been this register's reply, come late, where this register was asked before that
            // value was taken. It counts once a further read agrees too.
            if (likeAnother)
                for (Slot& t : slots)
                    if (&t != &s && t.settled && !t.agreed && sameAnswer(t.result, r) &&
                        m_trust.askedBefore(s.reg, t.takenAt)) {
                        t.settled = false;
                        t.candidate = t.result;
                        t.agreeing = 1;
                        t.onlyLike = !wasCareful && !m_trust.misbehaved();
                    }
            // Timing raises doubt only on a line that has carried stray frames.
            const bool oddTiming = notes.slow && m_trust.misbehaved();
            const bool doubtful = wasCareful || likeAnother || oddTiming;
            // Tries count in a row: a usable reply shows the drive answers.
            if (usable)
                s.failures = 0;
            Slot* before = std::exchange(previous, &s);
            // A request read in doubt may have had another's reply: its own may still come.
            if (wasCareful || m_trust.misbehaved())
                m_trust.owedAfter(notes.requestEnd);
            if (!usable) {
                // Its reply may still come, and what was read just before it is in doubt too.
                reopen();
                s.candidate.reset();
                s.agreeing = 0;
                if (++s.failures < s.tries)
                    continue;  // asked again on the next round
                s.result = r;  // a failure, told as such
                s.settled = true;
                upTo = i + 1;
                break;
            }
            if (likeAnother && !wasCareful && !m_trust.misbehaved() && !notes.troubled()) {
                // Nothing else is wrong with the line: its value counts once a further read (or a
                // block across it) agrees, and the group's quiet check guards it meanwhile.
                const bool agrees = s.candidate && sameAnswer(*s.candidate, r);
                if (agrees) {
                    s.result = r;
                    s.settled = s.agreed = true;
                } else {
                    s.candidate = r;
                    s.agreeing = 1;
                    s.onlyLike = true;
                }
                continue;
            }
            s.onlyLike = false;
            if (doubtful) {
                // A doubted read is followed by a quiet check, and its value counts once a further
                // such read agrees.
                const bool quiet = quietUntil(m_trust.settledAt(m_framing));
                if (notes.troubled() || !quiet || oddTiming) {
                    m_trust.settledLater();
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
                // and again: on a line that has shown trouble (by the time the reads agree) it
                // takes three agreeing reads.
                // While a reply is owed, so is a value another register was found to hold.
                const bool likeHeld = wasCareful && m_trust.likeSettledValue(s.reg, r);
                s.likeAnother = (agrees && s.likeAnother) || likeAnother || likeHeld;
                s.agreeing = agrees ? s.agreeing + 1 : 1;
                // So does a register whose replies differed: two alike may both be copies.
                const bool copiesMayAgree = (s.likeAnother && m_trust.misbehaved()) || s.disputed;
                if (s.agreeing >= (copiesMayAgree ? 3 : 2)) {
                    s.result = r;
                    s.settled = s.agreed = true;
                    m_trust.settledAtOnce();
                } else if (!agrees) {
                    if (s.candidate)
                        m_trust.settledLater();
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
            s.takenAt = notes.endedAt;
            // A value read again that agrees with what was doubted before is settled for good.
            s.agreed = s.candidate && sameAnswer(*s.candidate, r);
        }
        if (!readAny) {
            for (const Slot& s : slots)
                if (s.count == 1 && s.result.outcome == LinkOutcome::Ok)
                    m_trust.settledValue(s.reg, s.result);
            return true;
        }
        // A reply taken for another's leaves that one's own reply still to come.
        if (!quietUntil(m_trust.settledAt(m_framing)))
            reopen();
        if (!confirmInBlocks(station, slots.first(upTo)))
            return false;
    }
}

std::vector<ReplyCheck> LineSession::readRegisters(std::span<const std::uint16_t> regs) {
    if (m_blockReads && regs.size() > 1 && std::is_sorted(regs.begin(), regs.end()) &&
        std::adjacent_find(regs.begin(), regs.end()) == regs.end())
        return readInBlocks(regs);
    return readRegistersAt(m_station, regs);
}

std::vector<ReplyCheck> LineSession::readRegistersAt(std::uint8_t station,
                                                     std::span<const std::uint16_t> regs,
                                                     int tries) {
    std::vector<Slot> slots(regs.size());
    for (std::size_t i = 0; i < regs.size(); ++i) {
        slots[i].reg = regs[i];
        slots[i].tries = tries;
    }
    std::vector<ReplyCheck> out;
    for (std::size_t start = 0; start < slots.size(); start += kReadGroup) {
        // Trouble in this group reopens the recent values of the groups before it, too.
        const std::size_t end = std::min(slots.size(), start + kReadGroup);
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

ReplyCheck LineSession::probeAt(std::uint8_t station, std::uint16_t reg) {
    const std::uint16_t one[] = {reg};
    const auto r = readRegistersAt(station, one, 1);
    return r.empty() ? ReplyCheck{LinkOutcome::Stopped} : r.front();
}

void LineSession::forgetOwedReply() {
    m_port->setUnanswered(std::nullopt);
}

ReplyCheck LineSession::readBlock(std::uint16_t first, std::uint16_t count) {
    if (count == 0 || count > kMostBlockRegisters)
        return {LinkOutcome::Malformed};
    Slot slot[1];
    slot[0].reg = first;
    slot[0].count = count;
    // A block larger than any the drive answered may be one it ignores: asked once.
    if (count > 1 && count > m_blockTaken)
        slot[0].tries = 1;
    if (!readGroup(m_station, slot) && !slot[0].settled)
        return {LinkOutcome::Stopped};
    return slot[0].result;
}

ReplyCheck LineSession::write(std::uint16_t reg, std::uint16_t value, WriteEffect effect) {
    return writeAt(m_station, reg, value, effect);
}

ReplyCheck LineSession::writeAt(std::uint8_t station, std::uint16_t reg, std::uint16_t value,
                                WriteEffect effect) {
    if (!m_trust.echoKnown()) {
        const ReplyCheck first =
            transactAt(station, FunctionCode::ReadRegisters, reg, 1, RequestPurpose::BeforeWrite);
        if (first.outcome == LinkOutcome::Stopped || first.outcome == LinkOutcome::PortError)
            return first;
        // A copy of its reply may yet come in a later read's wait.
        if (first.complete())
            m_trust.keepRecentReply(reg, first);
    }
    // What the drive holds after a confirmed write.
    const auto confirmed = [&](ReplyCheck reply) {
        m_trust.settledValue(reg, {LinkOutcome::Ok, value, ExceptionCode::None, {value}});
        return reply;
    };
    ReplyCheck r;
    for (int sent = 1;; ++sent) {
        LineNotes notes;
        r = transactAt(station, FunctionCode::WriteRegister, reg, value, RequestPurpose::Write,
                       &notes);
        if (r.outcome == LinkOutcome::Ok)
            return confirmed(r);
        if (!worthAgain(r) || effect == WriteEffect::MovesLink)
            return r;
        if (effect == WriteEffect::Command) {
            if (sent >= kTries)
                return r;
            continue;  // the same command again
        }
        // No reply that confirms it: the adapter's echo with the drive silent, a lost request or
        // a lost reply. What the register now holds tells.
        m_readingBack = true;
        const ReplyCheck back = readAt(station, reg);
        m_readingBack = false;
        if (back.outcome == LinkOutcome::Ok && back.value == value)
            return confirmed({LinkOutcome::Ok, value});
        if (back.outcome == LinkOutcome::Stopped || back.outcome == LinkOutcome::PortError ||
            sent >= kTries || !back.complete())
            return r;
    }
}

}  // namespace velorin
