// velorin-drive-sim: a simulated drive on a pseudo-terminal, or behind a network gateway on a TCP
// port (--tcp). Prints the device to open (or 127.0.0.1:PORT) as its first line, then serves
// until SIGTERM / SIGINT or until its standard input closes.

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "PtyDrive.h"
#include "SimOptions.h"
#include "TcpDrive.h"

namespace {

std::atomic<bool> g_stop{false};

void onSignal(int) {
    g_stop = true;
}

// Without SA_RESTART: a signal ends the poll or wait under way instead of resuming it.
void stopOn(int signal) {
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;
    sigaction(signal, &sa, nullptr);
}

// A link to the device in the folder the desktop tool's port list looks in (see
// platform/QtPortProvider.h), so the simulator shows up there while it runs. Returns the link.
std::string announce(const std::string& device) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string folder = runtime && *runtime
                                   ? std::string(runtime) + "/velorin-drive-sim"
                                   : "/tmp/velorin-drive-sim-" + std::to_string(::getuid());
    ::mkdir(folder.c_str(), 0700);
    const std::string link = folder + "/" + std::to_string(::getpid());
    ::unlink(link.c_str());
    return ::symlink(device.c_str(), link.c_str()) == 0 ? link : std::string();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace velorin;
    std::string error;
    const auto options =
        parseSimOptions(std::vector<std::string_view>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "velorin-drive-sim: %s\n%s", error.c_str(), simUsage().c_str());
        return 2;
    }
    if (options->help) {
        std::fputs(simUsage().c_str(), stdout);
        return 0;
    }
    // One drive per station on the line (one unless --stations).
    const std::vector<int> stations = stationsOf(*options);
    std::vector<std::unique_ptr<SimulatedDrive>> drives;
    std::vector<SimulatedDrive*> onLine;
    for (int station : stations) {
        drives.push_back(std::make_unique<SimulatedDrive>());
        configure(*drives.back(), *options, station);
        onLine.push_back(drives.back().get());
    }
    SimulatedDrive& drive = *onLine.front();
    const bool several = onLine.size() > 1;
    const auto printWrite = [several](std::uint8_t station, const WriteRecord& w) {
        if (several)
            std::printf("W %u:%u %u\n", station, w.reg, w.value);
        else
            std::printf("W %u %u\n", w.reg, w.value);
        std::fflush(stdout);
    };
    stopOn(SIGTERM);
    stopOn(SIGINT);
    if (options->tcpPort) {
        GatewayLink link(drive, options->gatewayFraming, options->network);
        TcpDrive tcp(link);
        if (!tcp.listen(*options->tcpPort)) {
            std::perror("velorin-drive-sim: cannot listen on the TCP port");
            return 1;
        }
        if (options->log)
            tcp.onWrite([&](const WriteRecord& w) { printWrite(drive.station(), w); });
        std::printf("127.0.0.1:%d\n", tcp.port());
        std::fflush(stdout);
        tcp.serve(g_stop, options->watchStdin ? 0 : -1);
        return 0;
    }

    PtyDrive pty(onLine);
    if (!pty.open()) {
        std::perror("velorin-drive-sim: cannot open a pseudo-terminal");
        return 1;
    }
    if (options->log)
        pty.onWrite(printWrite);
    // Listed before the device is told, so whoever reads the line finds it in the port list.
    const std::string link = announce(pty.devicePath());
    std::printf("%s\n", pty.devicePath().c_str());
    std::fflush(stdout);
    pty.serve(g_stop, options->watchStdin ? 0 : -1);
    if (!link.empty())
        ::unlink(link.c_str());
    return 0;
}
