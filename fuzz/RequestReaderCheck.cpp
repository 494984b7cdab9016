// The simulated drive's request reader: it takes exactly the well-formed frames on the line,
// however the bytes are cut into pieces, never holds more than a frame, and a valid request
// after a quiet spell is always heard. The whole drive is fed the same bytes as well.

#include "FuzzCheck.h"
#include "sim/RequestReader.h"
#include "sim/SimulatedDrive.h"

namespace velorin::fuzz {

namespace {

DriveRequest requestOf(std::span<const std::uint8_t> b) {
    return {b[0], b[1], static_cast<std::uint16_t>(b[2] << 8 | b[3]),
            static_cast<std::uint16_t>(b[4] << 8 | b[5])};
}

// The request the last `size` characters of `run` stand for, if they are a well-formed frame.
std::optional<DriveRequest> frameAtEnd(std::span<const std::uint8_t> run, std::size_t size,
                                       Framing framing) {
    if (run.size() < size)
        return std::nullopt;
    const auto payload = framePayload(run.last(size), framing, true);
    return payload ? std::optional(requestOf(*payload)) : std::nullopt;
}

}  // namespace

// Input: flags (bit 0 RTU), six bytes for a request sent last, then pieces: a control byte
// (bits 0-5 length, bit 6 the line goes quiet after the piece) and the piece's bytes.
std::string checkRequestReaderInput(std::span<const std::uint8_t> input) {
    InputReader in(input);
    const Framing framing = (in.byte() & 1) ? Framing::Rtu : Framing::Ascii;
    const auto last = in.bytes(6);
    std::vector<std::uint8_t> fields(last.begin(), last.end());
    fields.resize(6);

    struct Piece {
        std::vector<std::uint8_t> bytes;
        bool quietAfter;
    };
    std::vector<Piece> pieces;
    while (!in.empty()) {
        const std::uint8_t control = in.byte();
        const auto b = in.bytes(control & 0x3F);
        pieces.push_back({{b.begin(), b.end()}, (control & 0x40) != 0});
    }
    pieces.push_back({referenceFrame(fields, framing), true});
    // The last request comes after a quiet spell.
    if (isRtu(framing) && pieces.size() >= 2)
        pieces[pieces.size() - 2].quietAfter = true;

    RequestReader reader(framing);
    // A drive at its factory settings takes a while to build: copied from one built once.
    static const SimulatedDrive factoryDrive;
    SimulatedDrive drive = factoryDrive;
    drive.setLink(fields[0], 1, isRtu(framing) ? 5 : 0);
    const std::size_t limit =
        isRtu(framing) ? RequestReader::kRtuFrame : RequestReader::kAsciiFrame;

    std::vector<std::uint8_t> run;  // bytes since the last quiet spell (all of them for ASCII)
    std::size_t lastEnd = 0;        // end of the last frame taken, in `run`
    std::optional<DriveRequest> lastTaken;
    for (const Piece& piece : pieces) {
        for (std::uint8_t c : piece.bytes) {
            run.push_back(c);
            const auto got = reader.push(c);
            const auto due = frameAtEnd(run, limit, framing);
            if (reader.pending() >= limit)
                return "holds " + std::to_string(reader.pending()) + " characters";
            if (got && (!due || !(*got == *due)))
                return "took a request that is not a well-formed frame: " + hexDump(run);
            if (got && run.size() - limit < lastEnd)
                return "took two frames out of overlapping bytes: " + hexDump(run);
            // An ASCII frame always stands out (a colon starts it, nothing in it is a colon); an
            // RTU frame is certain at the start of a run or right after the last one taken.
            const bool certain = !isRtu(framing) || run.size() - limit == lastEnd;
            if (due && certain && !got)
                return "refused a well-formed frame: " + hexDump(run);
            if (got) {
                lastEnd = run.size();
                lastTaken = got;
            }
        }
        drive.hear(piece.bytes, drive.line());
        if (piece.quietAfter) {
            reader.silence();
            drive.silence();
            if (isRtu(framing)) {
                run.clear();
                lastEnd = 0;
            }
        }
    }
    if (!lastTaken || !(*lastTaken == requestOf(fields)))
        return "the last request was not heard";
    return {};
}

}  // namespace velorin::fuzz
