#include "RequestReader.h"

#include <algorithm>

#include "link/Frames.h"

namespace velorin {

namespace {

// Modbus ASCII carries bytes as upper-case hexadecimal digits only.
int upperHexDigit(std::uint8_t c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

DriveRequest requestOf(const std::uint8_t* b) {
    return {b[0], b[1], static_cast<std::uint16_t>(b[2] << 8 | b[3]),
            static_cast<std::uint16_t>(b[4] << 8 | b[5])};
}

}  // namespace

void RequestReader::setFraming(Framing framing) {
    if (framing != m_framing)
        clear();
    m_framing = framing;
}

void RequestReader::silence() {
    if (isRtu(m_framing))
        clear();
}

std::optional<DriveRequest> RequestReader::push(std::uint8_t c) {
    return isRtu(m_framing) ? pushRtu(c) : pushAscii(c);
}

std::vector<DriveRequest> RequestReader::feed(std::span<const std::uint8_t> bytes) {
    std::vector<DriveRequest> out;
    for (std::uint8_t c : bytes)
        if (auto rq = push(c))
            out.push_back(*rq);
    return out;
}

std::optional<DriveRequest> RequestReader::pushRtu(std::uint8_t c) {
    m_frame[m_size++] = c;
    if (m_size < kRtuFrame)
        return std::nullopt;
    const std::uint16_t crc = crc16(std::span(m_frame).first(6));
    if (m_frame[6] == (crc & 0xFF) && m_frame[7] == (crc >> 8)) {
        m_size = 0;
        return requestOf(m_frame.data());
    }
    // Out of step with the frames (noise, or joined in the middle): the frame may start one
    // character later.
    std::copy(m_frame.begin() + 1, m_frame.begin() + kRtuFrame, m_frame.begin());
    --m_size;
    return std::nullopt;
}

std::optional<DriveRequest> RequestReader::pushAscii(std::uint8_t c) {
    if (c == ':') {  // a colon always starts a frame, whatever came before it
        m_frame[0] = c;
        m_size = 1;
        return std::nullopt;
    }
    if (m_size == 0)
        return std::nullopt;  // between frames: ignored
    const std::size_t at = m_size;
    const bool fits = at < 15 ? upperHexDigit(c) >= 0 : (at == 15 ? c == '\r' : c == '\n');
    if (!fits) {
        m_size = 0;  // malformed: the drive waits for the next colon
        return std::nullopt;
    }
    m_frame[m_size++] = c;
    if (m_size < kAsciiFrame)
        return std::nullopt;
    m_size = 0;
    std::uint8_t bytes[7];
    unsigned sum = 0;
    for (int i = 0; i < 7; ++i) {
        bytes[i] = static_cast<std::uint8_t>(upperHexDigit(m_frame[1 + 2 * i]) * 16 +
                                             upperHexDigit(m_frame[2 + 2 * i]));
        sum += bytes[i];
    }
    if (sum % 256 != 0)
        return std::nullopt;  // LRC
    return requestOf(bytes);
}

}  // namespace velorin
