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

// The line session's block reads: how large a block the drive takes, whether its blocks agree
// with its single reads, and single reads wherever a block cannot be had.

namespace {

// A refusal that says the block was too large for the drive (or crossed registers it will not
// read in a block), or no answer at all: worth a smaller block.
bool refusedAsTooLarge(const ReplyCheck& r) {
    if (r.outcome == LinkOutcome::NoReply)
        return true;
    return r.outcome == LinkOutcome::Exception &&
           (r.exceptionCode == ExceptionCode::IllegalFunction ||
            r.exceptionCode == ExceptionCode::IllegalAddress ||
            r.exceptionCode == ExceptionCode::IllegalValue);
}

bool usable(const std::vector<ReplyCheck>& results, std::size_t wanted) {
    return results.size() == wanted &&
           std::all_of(results.begin(), results.end(), [](const ReplyCheck& r) {
               return r.outcome == LinkOutcome::Ok || r.outcome == LinkOutcome::Exception;
           });
}

}  // namespace

void LineSession::setLikelyBlockGaps(std::vector<std::uint16_t> regs) {
    std::sort(regs.begin(), regs.end());
    m_likelyGaps = std::move(regs);
}

void LineSession::forgetBlocks() {
    m_blockEvidence = BlockEvidence::Unproven;
    m_blockTry = kMostBlockRegisters;
    m_blockTaken = 0;
    m_confirmByBlocks = true;
    m_confirmDisagreed = 0;
}

std::vector<ReplyCheck> LineSession::readInBlocks(std::span<const std::uint16_t> regs) {
    std::vector<ReplyCheck> out;
    // Registers [from, to) one at a time; false when the reads ended early (unanswered,
    // stopped, port lost), the results so far appended.
    const auto singly = [&](std::size_t from, std::size_t to) {
        const auto r = readRegistersAt(m_station, regs.subspan(from, to - from));
        out.insert(out.end(), r.begin(), r.end());
        return usable(r, to - from);
    };
    std::size_t i = 0;
    while (i < regs.size()) {
        const int span = std::min<int>(kMostBlockRegisters, regs.back() - regs[i] + 1);
        const auto count = static_cast<std::uint16_t>(std::min<int>(span, m_blockTry));
        if (m_blockEvidence == BlockEvidence::Differ || count <= 1) {
            singly(i, regs.size());
            return out;
        }
        // The registers the block covers: regs[i, end).
        std::size_t end = i;
        while (end < regs.size() && regs[end] < regs[i] + count) ++end;
        const ReplyCheck block = readBlock(regs[i], count);
        if (block.outcome == LinkOutcome::Stopped || block.outcome == LinkOutcome::PortError) {
            out.push_back(block);
            return out;
        }
        if (block.outcome != LinkOutcome::Ok) {
            if (count > m_blockTaken && refusedAsTooLarge(block)) {
                // Never larger than a count taken before; below two, no blocks.
                m_blockTry = std::max<std::uint16_t>(count / 2, m_blockTaken);
                if (m_blockTry <= 1)
                    m_blockTry = 1;
                continue;
            }
            if (!singly(i, end))
                return out;
            i = end;
            continue;
        }
        m_blockTaken = std::max(m_blockTaken, count);
        const auto gap = std::lower_bound(m_likelyGaps.begin(), m_likelyGaps.end(), regs[i]);
        const bool acrossGap = gap != m_likelyGaps.end() && *gap < regs[i] + count;
        // The registers from `from` on are read again one at a time: the whole first block, and
        // from the gap on each block across a likely gap until one could show a shift, since a
        // drive that shifts its values over registers it leaves out of blocks shows it there.
        // The single reads are the values given either way.
        std::size_t from = end;
        if (m_blockEvidence == BlockEvidence::Unproven)
            from = i;
        else if (acrossGap && m_blockEvidence != BlockEvidence::AgreeAcrossGap)
            from = static_cast<std::size_t>(
                std::lower_bound(regs.begin() + i, regs.begin() + end, *gap) - regs.begin());
        const auto blockValues = [&](std::size_t to) {
            for (std::size_t k = i; k < to; ++k) {
                const std::uint16_t v = block.values[regs[k] - regs[i]];
                out.push_back({LinkOutcome::Ok, v, ExceptionCode::None, {v}});
            }
        };
        blockValues(from);
        if (from < end) {
            const std::size_t before = out.size();
            if (!singly(from, end))
                return out;
            bool differ = false;
            // Values all alike from the gap on read the same shifted or not: such a block shows
            // nothing, and the next across a likely gap is checked instead.
            bool telling = false;
            for (std::size_t k = from; k < end; ++k) {
                const ReplyCheck& one = out[before + (k - from)];
                differ = differ || one.outcome != LinkOutcome::Ok ||
                         one.value != block.values[regs[k] - regs[i]];
                telling = telling || (acrossGap && k > from && regs[k - 1] >= *gap &&
                                      one.value != out[before + (k - 1 - from)].value);
            }
            if (differ)
                m_blockEvidence = BlockEvidence::Differ;
            else if (telling)
                m_blockEvidence = BlockEvidence::AgreeAcrossGap;
            else if (m_blockEvidence == BlockEvidence::Unproven)
                m_blockEvidence = BlockEvidence::Agree;
            if (differ) {
                if (m_onBlocksDisagree)
                    m_onBlocksDisagree();
            }
        }
        i = end;
    }
    return out;
}

std::size_t LineSession::blockCosts(std::size_t count) const {
    // RTU: 8 bytes out; station, function, count, two bytes a register and the CRC back. ASCII
    // spells each byte in two characters between ':' and CR LF, with its LRC.
    return isRtu(m_framing) ? 8 + 5 + 2 * count : 17 + 11 + 4 * count;
}

ReplyCheck LineSession::expectedBlock(std::span<const Slot> slots) {
    ReplyCheck expected{LinkOutcome::Ok};
    for (const Slot& s : slots)
        expected.values.push_back(!s.settled && s.candidate ? s.candidate->value : s.result.value);
    expected.value = expected.values.front();
    return expected;
}

bool LineSession::confirmInBlocks(std::uint8_t station, std::span<Slot> slots) {
    const auto waiting = [](const Slot& s) {
        return !s.settled && s.onlyLike && s.candidate && s.count == 1;
    };
    // One block from the first doubted value to the last over neighbouring registers: the
    // values between, taken already, must agree with it too.
    for (std::size_t i = 0; i < slots.size(); ++i) {
        if (!m_confirmByBlocks || m_trust.careful() || m_trust.misbehaved())
            return true;
        if (!waiting(slots[i]))
            continue;
        std::size_t end = i + 1, last = i, doubted = 1;
        for (; end < slots.size() && slots[end].count == 1 &&
               slots[end].reg == slots[i].reg + (end - i) && end - i < kMostBlockRegisters;
             ++end) {
            if (waiting(slots[end])) {
                last = end;
                ++doubted;
            } else if (!slots[end].settled || !slots[end].result.complete() ||
                       blockCosts(end - last) - blockCosts(0) > blockCosts(0)) {
                break;  // values taken already that cost more on the line than a block of its own
            }
        }
        end = last + 1;
        const auto takenNeighbour = [&](std::size_t k, std::uint16_t reg) {
            const Slot& n = slots[k];
            return n.count == 1 && n.reg == reg && n.settled && n.result.outcome == LinkOutcome::Ok;
        };
        const bool takenBefore =
            i > 0 && takenNeighbour(i - 1, static_cast<std::uint16_t>(slots[i].reg - 1));
        const bool takenAfter = end < slots.size() && end - i < kMostBlockRegisters &&
                                takenNeighbour(end, static_cast<std::uint16_t>(slots[end - 1].reg + 1));
        std::size_t from = i;
        if (doubted < 2) {
            // One doubted value read again alone needs the line quiet after it before it counts;
            // a block with a neighbour taken already costs a register more on the line, and no
            // copy of a single reply passes for it.
            if (takenBefore)
                from = i - 1;
            else if (takenAfter)
                ++end;
            else
                continue;
        } else if (blockCosts(end - i) > doubted * blockCosts(1)) {
            // A long block across few doubted values costs more on the line than reading each
            // of them again.
            continue;
        } else if (m_trust.wouldBeLikeRecentReply(slots[i].reg,
                                                  expectedBlock(slots.subspan(i, end - i)))) {
            // A block whose reply would be byte for byte like a recent one (a run of like values
            // confirmed just before) could be that reply again: a neighbour taken already gives
            // it a shape of its own.
            if (takenBefore)
                from = i - 1;
            else if (takenAfter)
                ++end;
        }
        const auto count = static_cast<std::uint16_t>(end - from);
        LineNotes notes;
        const ReplyCheck block = transactAt(station, FunctionCode::ReadRegisters, slots[from].reg,
                                            count, RequestPurpose::ReadAgain, &notes);
        if (block.outcome == LinkOutcome::Stopped || block.outcome == LinkOutcome::PortError)
            return false;
        const bool like = block.complete() && m_trust.likeRecentReply(slots[from].reg, block);
        if (block.outcome != LinkOutcome::Ok || notes.troubled() || like) {
            // A drive that will not read this block (it crosses a register it leaves out of
            // blocks) may read others; one that ignores or refuses blocks reads none.
            if (!block.complete() || (block.outcome == LinkOutcome::Exception &&
                                      block.exceptionCode != ExceptionCode::IllegalAddress))
                m_confirmByBlocks = false;
            i = last;
            continue;
        }
        bool differ = false;
        for (std::size_t k = from; k < end; ++k) {
            Slot& s = slots[k];
            // No copy of a single reply passes for a block: what it says each register holds
            // is known, for later doubts.
            const std::uint16_t held = block.values[k - from];
            m_trust.settledValue(s.reg, {LinkOutcome::Ok, held, ExceptionCode::None, {held}});
            const bool doubtedHere = waiting(s);
            const ReplyCheck& taken = doubtedHere ? *s.candidate : s.result;
            if (taken.outcome == LinkOutcome::Ok && held == taken.value) {
                if (doubtedHere) {
                    s.result = taken;
                    s.settled = s.agreed = true;
                }
                continue;
            }
            // A copy taken for its reply, or blocks that read otherwise: asked again alone, and
            // a read must agree with the block (which no single reply's copy can pass for).
            differ = true;
            if (!doubtedHere && !s.agreed)
                s.settled = false;
            if (!s.agreed) {
                s.candidate = ReplyCheck{LinkOutcome::Ok, held, ExceptionCode::None, {held}};
                s.agreeing = 1;
            }
        }
        if (differ && ++m_confirmDisagreed >= 2)
            m_confirmByBlocks = false;
        i = last;
    }
    return true;
}

// The line session's queue: operations run one at a time in the order they came, a stop ahead of
// the queued ones but never ahead of a run or jog command.

void LineSession::submit(Operation operation, Order order) {
    if (order == Order::Urgent) {
        // Behind the last Barrier or Urgent operation still queued, ahead of the Normal ones.
        auto it = std::find_if(m_queue.rbegin(), m_queue.rend(),
                               [](const Queued& q) { return q.order != Order::Normal; });
        m_queue.insert(it.base(), {order, std::move(operation)});
    } else {
        m_queue.push_back({order, std::move(operation)});
    }
    if (m_queueState == QueueState::Idle) {
        if (m_portState == PortState::Lost)
            reconnect();  // a new job: a dropped connection is tried once more
        drain();
    }
}

void LineSession::drain() {
    m_queueState = QueueState::Running;
    while (!m_queue.empty()) {
        Operation next = std::move(m_queue.front().operation);
        m_queue.pop_front();
        if (m_queueState == QueueState::Stopping)
            continue;  // dropped by stop()
        next();
    }
    m_queueState = QueueState::Idle;
    auto actions = std::move(m_idleActions);
    m_idleActions.clear();
    for (auto& a : actions) a();
}

void LineSession::stop() {
    if (m_queueState == QueueState::Running)
        m_queueState = QueueState::Stopping;
    m_queue.clear();
}

void LineSession::whenIdle(std::function<void()> action) {
    if (m_queueState == QueueState::Idle) {
        action();
        return;
    }
    m_idleActions.push_back(std::move(action));
}

}  // namespace velorin
