#include "LineTrust.h"

#include <algorithm>
#include <vector>

namespace velorin {

namespace {

constexpr int kEchoEvidence = 3;  // reads in a row that must agree on the adapter's echo
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

LineSettings lineOf(const SerialPort& port) {
    return parseSettings(port.settings()).value_or(LineSettings{});
}

}  // namespace

void LineTrust::forgetPort() {
    m_echoKnown = false;
    m_echoEvidence = 0;
    m_port.setEcho(AdapterEcho::Unknown);
    forgetLine();
}

void LineTrust::forgetLine() {
    m_answers.clear();
    m_recentReplies.clear();
    m_settled.clear();
    m_misbehaved = false;
    m_carefulUntil = Micros{0};
    m_replyMayComeUntil = Micros{0};
    m_slowInARow = 0;
    m_settledAtOnce = 0;
}

Micros LineTrust::physicalFloor(Framing framing) const {
    if (!m_port.carriesWireTime())
        return Micros{0};
    // The request and the shortest reply on the line (a refusal, two characters shorter than a
    // register's value over RTU, four over ASCII, whatever the count asked for), less a tenth
    // for the clock's reading.
    const LineSettings line = lineOf(m_port);
    const Micros refusal = leastAnswer(line, framing) - lineTime(line, isRtu(framing) ? 2 : 4);
    return refusal * 9 / 10;
}

void LineTrust::learn(Framing framing, FunctionCode function, const ReplyCheck& r, LineNotes& notes,
                      Micros extra) {
    m_lastSentAt = notes.sentAt;
    // Where the port carries no wire time the line's rate is the settings' guess (a gateway's
    // serial side, a pseudo-terminal's other end): a block's reply is on no line longer than it
    // took to come, so an answer sooner than the guess shows a faster line.
    if (!m_port.carriesWireTime() && r.complete() && notes.answeredAfter >= Micros{0})
        extra = std::min(extra, notes.answeredAfter);
    m_lastBlockExtra = extra;
    const Micros answered = notes.answeredAfter - extra;
    // Usual answer, before this one counts in it: the reply came far later than this drive
    // usually answers, as a reply to an earlier request would.
    const Micros usual = usualAnswer(framing);
    // Or far sooner. Either is told, and doubted only on a line that has carried stray frames.
    notes.slow = r.complete() && !m_answers.empty() &&
                 (answered > usual * 3 / 2 + kAnswerJitter || answered < usual / 2 - kAnswerJitter);
    if (notes.troubled())
        doubtUntil(m_port.timedWait().now() + kCarefulFor, true);
    if (!r.complete()) {
        // Its reply may still come, whatever the reads after it show.
        m_replyMayComeUntil = std::max(m_replyMayComeUntil, notes.requestEnd + lateReplyHorizon());
        if (notes.tooSoon)
            m_answers.clear();
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
        m_answers.push_back(answered);
    }
    if (function != FunctionCode::ReadRegisters)
        return;
    // Whether the adapter echoes is learned from several reads that agree, never from one frame
    // (a reflection on the line).
    if (notes.copyFirst)
        m_echoEvidence = m_echoEvidence > 0 ? m_echoEvidence + 1 : 1;
    else
        m_echoEvidence = m_echoEvidence < 0 ? m_echoEvidence - 1 : -1;
    // An adapter that echoes copies every request: a reply without a copy shows a silent adapter
    // as long as nothing else was learnt; a copy (perhaps a reflection) must come again and again.
    const bool unknown = m_port.echo() == AdapterEcho::Unknown;
    if (m_echoEvidence >= kEchoEvidence)
        m_port.setEcho(AdapterEcho::Echoes);
    if (m_echoEvidence <= -kEchoEvidence || (unknown && m_echoEvidence < 0))
        m_port.setEcho(AdapterEcho::Silent);
}

bool LineTrust::likeRecentReply(std::uint16_t reg, const ReplyCheck& r) {
    if (m_named)
        return false;
    const Micros now = m_port.timedWait().now();
    while (!m_recentReplies.empty() && m_recentReplies.front().at < now - kLongestWait)
        m_recentReplies.pop_front();
    const bool same = wouldBeLikeRecentReply(reg, r);
    m_recentReplies.push_back({now, reg, r});
    return same;
}

bool LineTrust::wouldBeLikeRecentReply(std::uint16_t reg, const ReplyCheck& r) const {
    if (m_named)
        return false;
    // A copy of an earlier reply lands in a later request's wait when that one's own reply is
    // lost or slower than the copy, whenever the line sent the copy: a reply like another
    // register's of the last second is never taken on its own.
    const Micros since = m_port.timedWait().now() - kLongestWait;
    return std::any_of(m_recentReplies.begin(), m_recentReplies.end(), [&](const RecentReply& e) {
        return e.at >= since && e.reg != reg && sameAnswer(e.reply, r);
    });
}

void LineTrust::settledValue(std::uint16_t reg, const ReplyCheck& reply) {
    m_settled[reg] = reply;
}

bool LineTrust::likeSettledValue(std::uint16_t reg, const ReplyCheck& reply) const {
    if (m_named)
        return false;
    return std::any_of(m_settled.begin(), m_settled.end(), [&](const auto& held) {
        return held.first != reg && sameAnswer(held.second, reply);
    });
}

void LineTrust::keepRecentReply(std::uint16_t reg, const ReplyCheck& reply) {
    m_recentReplies.push_back({m_port.timedWait().now(), reg, reply});
}

void LineTrust::asked(std::uint16_t reg, Micros at) {
    while (!m_asked.empty() && m_asked.front().first < at - kLongestWait)
        m_asked.pop_front();
    m_asked.emplace_back(at, reg);
}

bool LineTrust::askedBefore(std::uint16_t reg, Micros before) const {
    return std::any_of(m_asked.begin(), m_asked.end(), [&](const auto& a) {
        return a.second == reg && a.first < before && a.first >= before - kLongestWait;
    });
}

bool LineTrust::careful() const {
    if (m_named)
        return false;
    return m_port.timedWait().now() < std::max(m_carefulUntil, m_replyMayComeUntil);
}

void LineTrust::doubtUntil(Micros until, bool strayFrames) {
    m_carefulUntil = std::max(m_carefulUntil, until);
    m_misbehaved = m_misbehaved || strayFrames;
}

void LineTrust::strayHeard() {
    doubtUntil(m_port.timedWait().now() + kCarefulFor, true);
}

void LineTrust::owedAfter(Micros requestEnd) {
    doubtUntil(requestEnd + lateReplyHorizon());
}

void LineTrust::settledAtOnce() {
    // A run of values that settled at once on a line that never carried a stray frame: the
    // doubt came from a slow answer or a lost one, and is over.
    if (++m_settledAtOnce < (m_misbehaved ? 4 * kCleanAgain : kCleanAgain))
        return;
    m_carefulUntil = Micros{0};
    m_misbehaved = false;
    m_settledAtOnce = 0;
}

Micros LineTrust::lateReplyHorizon() const {
    // A reply held up by the longest delay guarded against still takes the drive's own answer
    // time on top of it, which the reply wait covers.
    return kLongestWait + m_port.replyWait();
}

Micros LineTrust::settledAt(Framing framing) const {
    const Micros usual = usualAnswer(framing);
    const Micros whole =
        replyDeadline(lineOf(m_port), framing, FunctionCode::ReadRegisters, m_port.replyWait());
    // A block's reply is longer on the line, and so is any copy of it.
    const Micros last = m_lastSentAt + m_lastBlockExtra;
    if (usual == Micros{0})
        return last + whole;
    if (careful())
        return last + std::min(whole, usual * 3 + kAnswerJitter);
    return last + usual * 3 / 2 + kQuietMargin;
}

Micros LineTrust::usualAnswer(Framing framing) const {
    if (m_answers.empty())
        return Micros{0};
    std::vector<Micros> sorted(m_answers.begin(), m_answers.end());
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const Micros middle = sorted[sorted.size() / 2];
    // Where the port carries wire time no drive answers a read sooner than the request and the
    // reply take on the line: quicker answers are every one of them the reply to the request
    // before, and quiet checks timed by them would end before the real replies come.
    if (!m_port.carriesWireTime())
        return std::max(middle, Micros{1});
    return std::max(middle, leastAnswer(lineOf(m_port), framing));
}

}  // namespace velorin
