// Reading every page in blocks through the editor's core over a pseudo-terminal against
// velorin-drive-sim with its wire-time model (32 registers a block at most), beside the line's
// limit for one register per request and its limit for blocks: each page's range in as few
// blocks as the drive takes, request and reply on the wire, the drive's response delay and the
// silent gap before each request. The session finds the block size and checks its first block
// register by register as it goes: that is in the time measured.
//
//   block_read_bench [response delay ms, default 5]

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <memory>

#include "LineLimit.h"
#include "SimLine.h"
#include "editor/EditorCore.h"
#include "link/LineSession.h"

using namespace velorin;

namespace {

constexpr int kMaxBlock = 32;  // the simulator's default


}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int delayMs = argc > 1 ? std::atoi(argv[1]) : 5;
    const std::pair<const char*, Framing> cases[] = {{"9600,E,8,1", Framing::Rtu},
                                                     {"115200,E,8,1", Framing::Rtu},
                                                     {"9600,N,7,2", Framing::Ascii},
                                                     {"115200,N,7,2", Framing::Ascii}};
    std::printf("all 30 pages in blocks of up to %d; response delay %d ms\n", kMaxBlock, delayMs);
    std::printf("%-14s %-6s %9s %11s %13s %13s %9s %7s\n", "settings", "frame", "requests",
                "measured s", "1-reg limit s", "block limit s", "ratio", "failed");
    for (const auto& [settingsText, framing] : cases) {
        bench::SimLine sim;
        if (!sim.start(settingsText, framing, delayMs))
            return 1;
        LineSession& line = sim.line();
        line.setBlockReads(true);
        bench::RequestCount count;
        line.observers().add(count);
        const LineSettings settings = *parseSettings(settingsText);
        const double response = delayMs / 1000.0;
        const int requestChars = isRtu(framing) ? 8 : 17;
        double singleLimit = 0, blockLimit = 0;
        for (const PageInfo& page : Catalogue::instance().pages()) {
            const int registers = page.read.last - page.read.first + 1;
            singleLimit += registers * bench::requestSeconds(settings, framing,
                                                             bench::readChars(framing), response);
            for (int left = registers; left > 0; left -= kMaxBlock) {
                const int n = std::min(left, kMaxBlock);
                const int replyChars = isRtu(framing) ? 5 + 2 * n : 11 + 4 * n;
                blockLimit +=
                    bench::requestSeconds(settings, framing, requestChars + replyChars, response);
            }
        }
        EditorCore core;
        core.beginVisit(&line, framing);
        QElapsedTimer t;
        t.start();
        const auto& pages = Catalogue::instance().pages();
        const auto failed =
            static_cast<int>(std::count_if(pages.begin(), pages.end(), [&](const PageInfo& p) {
                return !core.readPage(p.index).ok();
            }));
        const double seconds = t.nsecsElapsed() / 1e9;
        std::printf("%-14s %-6s %9d %11.3f %13.3f %13.3f %9.3f %7d\n", settingsText,
                    isRtu(framing) ? "RTU" : "ASCII", count.requests, seconds, singleLimit,
                    blockLimit, seconds / blockLimit, failed);
        line.observers().remove(count);
    }
    return 0;
}
