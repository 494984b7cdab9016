// The line session's block reads: how large a block the drive takes, whether its blocks agree
// with its single reads, and single reads wherever a block cannot be had.

#include <algorithm>

#include "LineSession.h"

namespace velorin {

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

}  // namespace velorin
