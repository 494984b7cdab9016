#pragma once
// Fuzz targets: check functions over arbitrary bytes that return what went wrong (empty when all
// is well), judged against the frame oracle below, written independently of the link. The test
// suite replays fuzz/corpus/<name>/ through them; fuzz/README.md tells how a target is added.

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "link/SerialPort.h"
#include "link/Transaction.h"

namespace velorin::fuzz {

using Check = std::string (*)(std::span<const std::uint8_t> input);

struct Target {
    std::string_view name;  // the corpus folder fuzz/corpus/<name>/
    Check check;
};

// Every target declared in fuzz/CMakeLists.txt.
std::span<const Target> targets();

std::string checkRtuReplyInput(std::span<const std::uint8_t> input);
std::string checkAsciiReplyInput(std::span<const std::uint8_t> input);
std::string checkTransactInput(std::span<const std::uint8_t> input);
std::string checkLineSessionInput(std::span<const std::uint8_t> input);
std::string checkRequestReaderInput(std::span<const std::uint8_t> input);
std::string checkParameterFileInput(std::span<const std::uint8_t> fileBytes);

// Takes the input apart: bytes from the front, zero once it is used up.
class InputReader {
public:
    explicit InputReader(std::span<const std::uint8_t> input) : m_rest(input) {}
    std::uint8_t byte() {
        if (m_rest.empty())
            return 0;
        const std::uint8_t b = m_rest.front();
        m_rest = m_rest.subspan(1);
        return b;
    }
    std::uint16_t word() { return static_cast<std::uint16_t>(byte() << 8 | byte()); }
    std::span<const std::uint8_t> bytes(std::size_t n) {
        n = std::min(n, m_rest.size());
        const auto out = m_rest.first(n);
        m_rest = m_rest.subspan(n);
        return out;
    }
    std::span<const std::uint8_t> rest() const { return m_rest; }
    bool empty() const { return m_rest.empty(); }

private:
    std::span<const std::uint8_t> m_rest;
};

// The frame oracle: a valid reply comes from the request's station, for its function (or its
// exception), with the right length and CRC or LRC; a read carries the registers asked for, a
// write echoes its request.

struct OracleRequest {
    std::uint8_t station = 1;
    FunctionCode function = FunctionCode::ReadRegisters;
    std::uint16_t reg = 0, word = 1;
    // Station, function, register and word as six bytes.
    std::vector<std::uint8_t> fields() const;
};

// A payload framed as it goes on the line.
std::vector<std::uint8_t> referenceFrame(std::span<const std::uint8_t> payload, Framing framing);

// The payload (station to last data byte) of a whole frame with its CRC, or from ':' to CR LF
// with its LRC (upper-case digits only when `upperOnly`); none when the frame is not well-formed.
std::optional<std::vector<std::uint8_t>> framePayload(std::span<const std::uint8_t> frame,
                                                      Framing framing, bool upperOnly = false);

// The link's own check of `received` in either framing, both frames given as bytes.
ReplyCheck checkReply(Framing framing, std::span<const std::uint8_t> request,
                      std::span<const std::uint8_t> received, bool localEcho = false);

// Empty when `check` is acceptable for `received`: a complete result (Ok or Exception) must be
// one of the valid replies found in it. Otherwise what is wrong.
std::string judgeReply(const OracleRequest& rq, Framing framing,
                       std::span<const std::uint8_t> received, const ReplyCheck& check);

// A port on the virtual clock for the fuzz checks: bytes arrive at the moments given them, in
// time order, and take() hands over what has arrived by now. Subclasses decide what arrives.
class TimedPort : public SerialPort {
public:
    TimedPort(TimedWait& wait, std::string_view settings, bool open = false)
        : SerialPort(wait), m_open(open) {
        m_settings = settings;
    }
    bool setSettings(std::string_view settings) override {
        if (!parseSettings(settings))
            return false;
        m_settings = settings;
        return true;
    }
    OpenResult open() override {
        m_open = true;
        return OpenResult::Ok;
    }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    void discardInput() override { TimedPort::take(); }
    std::vector<std::uint8_t> take() override {
        std::vector<std::uint8_t> out;
        while (!m_arriving.empty() && m_arriving.front().first <= timedWait().now()) {
            const auto& bytes = m_arriving.front().second;
            out.insert(out.end(), bytes.begin(), bytes.end());
            m_arriving.pop_front();
        }
        return out;
    }

protected:
    // `bytes` arrive at `at`, after whatever arrives at the same moment.
    void arrive(Micros at, std::vector<std::uint8_t> bytes) {
        timedWait().wakeAt(at);
        const auto pos = std::upper_bound(m_arriving.begin(), m_arriving.end(), at,
                                          [](Micros t, const auto& c) { return t < c.first; });
        m_arriving.insert(pos, {at, std::move(bytes)});
    }

private:
    bool m_open;
    std::deque<std::pair<Micros, std::vector<std::uint8_t>>> m_arriving;
};

// EchoOnly: a copy of the request comes back (an adapter's echo) and the drive hears nothing.
// clang-format off
enum class LineFault { Repeat, Late, Reflect, Split, Noise, DropReply, DropRequest, Corrupt, EchoOnly };
// clang-format on

struct LineMix {
    std::vector<LineFault> faults;
    int percent = 0;  // of the requests that meet one of them
};

struct LineTally {
    long sequences = 0, reads = 0, readsOk = 0, wrong = 0, writes = 0, confirmed = 0, untaken = 0,
         faults = 0, blocks = 0;  // blocks: block replies the drive sent
    long switches = 0;   // turns from one drive to another
    long misplaced = 0;  // writes whose value landed on another drive or register
};

// `operations` random reads and writes through a fresh line session over a faulty line, `draw`
// deciding every fault, delay and operation; runs read in blocks with `blockReads` (of up to
// kLineMaxBlock), the session turning at random between drives at stations 1..`stations`.
// Returns the last fault found, empty when none; `tally` adds up.
std::string runLineSequence(Framing framing, const LineMix& mix,
                            std::function<std::uint32_t()> draw, int operations, LineTally& tally,
                            bool blockReads = false, int stations = 1);
inline constexpr int kLineMaxBlock = 20;

}  // namespace velorin::fuzz
