#pragma once
// What a drive makes of the bytes on the line: complete request frames (functions 3 and 6, one
// station byte, a register and a word). A drive ignores anything that is not a well-formed frame
// for its framing and never holds more than one frame's worth of bytes, so noise, a lost
// character or a flipped bit costs at most the frame it fell into.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "link/LinkSettings.h"

namespace velorin {

struct DriveRequest {
    std::uint8_t station = 0, function = 0;
    std::uint16_t reg = 0, word = 0;
    bool operator==(const DriveRequest&) const = default;
};

class RequestReader {
public:
    // RTU: station, function, four bytes, CRC low, CRC high.
    static constexpr std::size_t kRtuFrame = 8;
    // ASCII: ':', fourteen upper-case hexadecimal digits (six bytes and the LRC), CR, LF.
    static constexpr std::size_t kAsciiFrame = 17;

    explicit RequestReader(Framing framing = Framing::Ascii) : m_framing(framing) {}

    Framing framing() const { return m_framing; }
    // Another framing: whatever was half-heard in the old one is dropped.
    void setFraming(Framing framing);

    // One character from the line; the request it completes, if any.
    std::optional<DriveRequest> push(std::uint8_t c);
    // Characters from the line; the requests they complete, in order.
    std::vector<DriveRequest> feed(std::span<const std::uint8_t> bytes);

    // The line was quiet for 3.5 characters: an RTU frame under way ends there, incomplete.
    // (ASCII frames are delimited by their own characters.)
    void silence();
    // Forgets everything half-heard.
    void clear() { m_size = 0; }

    // Characters held for a frame not yet complete; never more than a frame.
    std::size_t pending() const { return m_size; }

private:
    std::optional<DriveRequest> pushRtu(std::uint8_t c);
    std::optional<DriveRequest> pushAscii(std::uint8_t c);

    Framing m_framing;
    std::array<std::uint8_t, kAsciiFrame> m_frame{};
    std::size_t m_size = 0;
};

}  // namespace velorin
