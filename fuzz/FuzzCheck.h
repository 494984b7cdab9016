#pragma once
// Fuzz targets: each is a check function over arbitrary bytes that drives one part of the
// program and returns what went wrong (empty when all is well), judging results against answers
// worked out independently (FrameOracle.h). The libFuzzer program fuzz_<name> aborts on a fault;
// the test suite replays fuzz/corpus/<name>/ through the same function. fuzz/README.md tells how
// a target is added.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace velorin::fuzz {

using Check = std::string (*)(std::span<const std::uint8_t> input);

struct Target {
    std::string_view name;  // the corpus folder fuzz/corpus/<name>/
    Check check;
};

// Every target declared in fuzz/CMakeLists.txt.
std::span<const Target> targets();

// The checks, each described where it is defined.
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

}  // namespace velorin::fuzz
