// velorin-drive-sim: a simulated drive on a pseudo-terminal. Prints the device to open as its
// first line, then serves until SIGTERM / SIGINT or until its standard input closes.

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "PtyDrive.h"
#include "link/Global.h"

namespace {

std::atomic<bool> g_stop{false};

void onSignal(int) { g_stop = true; }

int usage(const char* why) {
    std::fprintf(stderr,
                 "%s%s"
                 "usage: velorin-drive-sim [options]\n"
                 "  --station N            station address (P496), 0..254; default 1\n"
                 "  --settings S           line settings, e.g. \"9600,N,7,2\" (the drive's\n"
                 "                         rates and formats only); default 9600,N,7,2\n"
                 "  --set REG=VALUE        start with register REG (0..562) holding VALUE\n"
                 "  --response-delay-ms N  time from request to reply; default 2\n"
                 "  --wire-time            replies take the time of a real line at the rate\n"
                 "  --fault KIND           every reply meets KIND: noreply, corrupt, truncated,\n"
                 "                         split, exception, otherstation, noise, slow\n"
                 "  --log                  print every write the drive carries out (W REG VALUE)\n"
                 "  --no-stdin             keep serving when standard input closes\n",
                 why, *why ? "\n" : "");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace velorin;
    SimulatedDrive drive;
    int station = 1;
    std::string settings = "9600,N,7,2";
    bool log = false, watchStdin = true;
    std::vector<std::pair<int, int>> sets;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (a == "--station") {
            const char* v = value();
            if (!v) return usage("--station needs a number");
            station = std::atoi(v);
            if (station < 0 || station > 254) return usage("station out of range 0..254");
        } else if (a == "--settings") {
            const char* v = value();
            if (!v || !rateIndexOf(v)) return usage("unknown line settings");
            settings = v;
        } else if (a == "--set") {
            const char* v = value();
            const char* eq = v ? std::strchr(v, '=') : nullptr;
            if (!eq) return usage("--set needs REG=VALUE");
            const int reg = std::atoi(v), val = std::atoi(eq + 1);
            if (reg < 0 || reg >= kParameterCount || val < -32768 || val > 65535)
                return usage("--set: register 0..562, value -32768..65535");
            sets.emplace_back(reg, val);
        } else if (a == "--response-delay-ms") {
            const char* v = value();
            if (!v) return usage("--response-delay-ms needs a number");
            drive.setResponseDelay(Micros{std::atoll(v) * 1000});
        } else if (a == "--wire-time") {
            drive.setWireTime(true);
        } else if (a == "--fault") {
            const char* v = value();
            const std::string_view k = v ? v : "";
            using K = DriveFault::Kind;
            DriveFault f;
            if (k == "noreply") f.kind = K::NoReply;
            else if (k == "corrupt") f.kind = K::CorruptChecksum;
            else if (k == "truncated") f.kind = K::Truncated;
            else if (k == "split") f.kind = K::Split;
            else if (k == "exception") f.kind = K::Exception;
            else if (k == "otherstation") f.kind = K::OtherStation;
            else if (k == "noise") f.kind = K::Noise;
            else if (k == "slow") { f.kind = K::Slow; f.delay = Micros{300000}; }
            else return usage("unknown fault");
            drive.injectFault(f, 1 << 30);
        } else if (a == "--log") {
            log = true;
        } else if (a == "--no-stdin") {
            watchStdin = false;
        } else if (a == "--help" || a == "-h") {
            usage("");
            return 0;
        } else {
            return usage("unknown option");
        }
    }
    drive.setWireTime(false);
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]) == "--wire-time") drive.setWireTime(true);
    drive.setLink(static_cast<std::uint8_t>(station), *rateIndexOf(settings),
                  *formatIndexOf(settings));
    for (auto [reg, val] : sets) drive.setReg(reg, static_cast<std::uint16_t>(val & 0xFFFF));

    PtyDrive pty(drive);
    if (!pty.open()) {
        std::perror("velorin-drive-sim: cannot open a pseudo-terminal");
        return 1;
    }
    if (log)
        pty.onWrite([](const WriteRecord& w) {
            std::printf("W %u %u\n", w.reg, w.value);
            std::fflush(stdout);
        });
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    std::printf("%s\n", pty.devicePath().c_str());
    std::fflush(stdout);
    pty.serve(g_stop, watchStdin ? 0 : -1);
    return 0;
}
