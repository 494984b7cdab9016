#include "SimOptions.h"

#include <algorithm>
#include <charconv>

namespace velorin {

namespace {

// A whole decimal number in [lo, hi]: digits only (a minus sign where lo < 0), nothing else.
std::optional<long long> integerIn(std::string_view text, long long lo, long long hi) {
    long long v = 0;
    const char* end = text.data() + text.size();
    if (text.empty() || text.front() == '+')
        return std::nullopt;
    const auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc{} || ptr != end || v < lo || v > hi)
        return std::nullopt;
    return v;
}

std::optional<DriveFault> faultNamed(std::string_view name) {
    using K = DriveFault::Kind;
    static const std::pair<std::string_view, K> kinds[] = {
        {"noreply", K::NoReply},
        {"corrupt", K::CorruptChecksum},
        {"truncated", K::Truncated},
        {"split", K::Split},
        {"exception", K::Exception},
        {"otherstation", K::OtherStation},
        {"noise", K::Noise},
        {"slow", K::Slow},
        {"late", K::Slow},
        {"duplicate", K::Duplicate},
        {"block-shift", K::BlockShift},
    };
    for (const auto& [n, k] : kinds) {
        if (n != name)
            continue;
        DriveFault f;
        f.kind = k;
        if (k == K::Slow)
            f.delay = Micros{(name == "late" ? kDefaultLateMs : 300) * 1000};
        if (k == K::Duplicate)
            f.delay = Micros{kDefaultDuplicateMs * 1000};
        return f;
    }
    return std::nullopt;
}

// usb:MS, loop:MS or pause:PCT:MS added to `profile`.
bool addAnswerProfile(std::string_view text, AnswerProfile& profile) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos)
        return false;
    const std::string_view kind = text.substr(0, colon), rest = text.substr(colon + 1);
    if (kind == "pause") {
        const auto second = rest.find(':');
        const auto percent = integerIn(rest.substr(0, second), 0, 100);
        const auto ms = second == std::string_view::npos
                            ? std::nullopt
                            : integerIn(rest.substr(second + 1), 1, kMaxResponseDelayMs);
        if (!percent || !ms)
            return false;
        profile.pausePercent = static_cast<int>(*percent);
        profile.pauseLongest = Micros{*ms * 1000};
        return true;
    }
    const auto ms = integerIn(rest, 1, kMaxResponseDelayMs);
    if (!ms || (kind != "usb" && kind != "loop"))
        return false;
    (kind == "usb" ? profile.usbLatency : profile.loopPeriod) = Micros{*ms * 1000};
    return true;
}

}  // namespace

std::string simUsage() {
    return "usage: velorin-drive-sim [options]\n"
           "  --station N            station address (P496), 0..254; default 1\n"
           "  --settings S           line settings, e.g. \"9600,N,7,2\" (the drive's\n"
           "                         rates and formats only); default 9600,N,7,2\n"
           "  --stations LIST        several drives on the one line, one per station\n"
           "                         (\"1,2,5\"; each 1..247), all at --settings\n"
           "  --set [S:]REG=VALUE    start with register REG (0..562) holding VALUE\n"
           "                         (-32768..65535); with S: on the drive at station S\n"
           "                         only (so too --response-delay-ms, --fault and\n"
           "                         --faults-history)\n"
           "  --response-delay-ms N  time from request to reply, 0..60000; default 2\n"
           "  --wire-time            replies take the time of a real line at the rate\n"
           "  --answer-ms MIN-MAX    each reply starts after a time drawn in MIN..MAX ms\n"
           "                         (in place of --response-delay-ms)\n"
           "  --answer-profile P     the timing of a real line, given more than once to\n"
           "                         combine: usb:MS (bytes handed on in pieces on a\n"
           "                         latency timer of MS), loop:MS (the reply leaves at\n"
           "                         the next tick of a main loop of period MS),\n"
           "                         pause:PCT:MS (PCT % of the replies pause up to MS)\n"
           "  --fault KIND           every reply meets KIND: noreply, corrupt, truncated,\n"
           "                         split, exception, otherstation, noise, slow (300 ms\n"
           "                         late), late, duplicate, block-shift (a block read\n"
           "                         across --block-gaps answered with the values\n"
           "                         shifted, no exception); given more than once, each\n"
           "                         faulty reply meets one of them at random\n"
           "  --max-block N          the most registers one read is answered for, 1..125;\n"
           "                         more is refused with exception 3; default 32\n"
           "  --block-gaps REG[-LAST] registers a block read may not include (exception\n"
           "                         2; read alone they are answered); may be given more\n"
           "                         than once; default none\n"
           "  --fault-rate PERCENT   only this share of the replies meets a fault, 0..100\n"
           "  --seed N               the random draws of --fault-rate and of a mix; default 1\n"
           "  --late-ms N            how much later a late reply comes, 1..60000; default 230\n"
           "  --duplicate-ms N       time between a reply and its copy, 0..60000; default 20\n"
           "  --tcp PORT             serve as a network gateway on 127.0.0.1:PORT (0: a\n"
           "                         free port) instead of a pseudo-terminal; prints\n"
           "                         127.0.0.1:PORT as its first line\n"
           "  --framing F            with --tcp: mbap (Modbus TCP, the default), rtu or\n"
           "                         ascii (frames passed through to the drive, whose\n"
           "                         --settings must be of that framing; rtu without\n"
           "                         --settings means 9600,N,8,2)\n"
           "  --split-segments       with --tcp: every byte of a reply in a segment of its own\n"
           "  --latency-ms N         with --tcp: each reply held up by 0..N ms, 0..60000\n"
           "  --duplicate-segments PCT  with --tcp: this share of the replies sent twice\n"
           "  --drop-at N            with --tcp: the connection drops at request N (carried\n"
           "                         out, never answered)\n"
           "  --drop-rate PCT        with --tcp: this share of the requests drops it\n"
           "  --faults-history LIST  the faults the drive remembers, latest first, as\n"
           "                         NUMBER@HOURS,... (\"20@1200,6@1190\"; at most 8)\n"
           "  --log                  print every write the drive carries out (W REG VALUE;\n"
           "                         with --stations, W STATION:REG VALUE)\n"
           "  --no-stdin             keep serving when standard input closes\n";
}

std::optional<SimOptions> parseSimOptions(const std::vector<std::string_view>& args,
                                          std::string& error) {
    SimOptions o;
    std::optional<long long> lateMs, duplicateMs;
    std::vector<std::string_view> faultNames;  // beside o.faults: "late" and "slow" share a kind
    bool framingGiven = false, networkGiven = false, settingsGiven = false;
    auto fail = [&error](std::string message) -> std::optional<SimOptions> {
        error = std::move(message);
        return std::nullopt;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        const bool takesValue =
            a == "--station" || a == "--settings" || a == "--set" || a == "--response-delay-ms" ||
            a == "--fault" || a == "--fault-rate" || a == "--seed" || a == "--late-ms" ||
            a == "--duplicate-ms" || a == "--max-block" || a == "--block-gaps" ||
            a == "--answer-ms" || a == "--answer-profile" || a == "--tcp" || a == "--framing" ||
            a == "--latency-ms" || a == "--duplicate-segments" || a == "--drop-at" ||
            a == "--drop-rate" || a == "--faults-history" || a == "--stations";
        if (takesValue && i + 1 >= args.size())
            return fail(std::string(a) + " needs a value");
        std::string_view v = takesValue ? args[++i] : std::string_view{};
        const std::string quoted = "\"" + std::string(v) + "\"";
        // "S:" before a value gives it to the drive at station S alone.
        std::optional<int> own;
        if (const auto colon = v.find(':'); colon != std::string_view::npos &&
                                            (a == "--set" || a == "--response-delay-ms" ||
                                             a == "--fault" || a == "--faults-history")) {
            const auto station = integerIn(v.substr(0, colon), 1, 247);
            if (!station)
                return fail(std::string(a) + ": " + quoted + " does not start with a station " +
                            "1..247 before its colon");
            own = static_cast<int>(*station);
            v = v.substr(colon + 1);
        }
        if (a == "--station") {
            const auto n = integerIn(v, 0, 254);
            if (!n)
                return fail("--station: " + quoted + " is not a station 0..254");
            o.station = static_cast<int>(*n);
        } else if (a == "--settings") {
            if (!rateIndexOf(v) || !formatIndexOf(v))
                return fail("--settings: " + quoted + " is not one of the drive's line settings");
            o.settings = v;
            settingsGiven = true;
        } else if (a == "--set") {
            const auto eq = v.find('=');
            const auto reg = integerIn(v.substr(0, eq), 0, kParameterCount - 1);
            const auto val = eq == std::string_view::npos
                                 ? std::nullopt
                                 : integerIn(v.substr(eq + 1), -32768, 65535);
            if (!reg || !val)
                return fail("--set: " + quoted + " is not REG=VALUE with REG 0..562 and VALUE " +
                            "-32768..65535");
            (own ? o.ownOptions[*own].registers : o.registers)
                .emplace_back(static_cast<int>(*reg), static_cast<std::uint16_t>(*val & 0xFFFF));
        } else if (a == "--response-delay-ms") {
            const auto ms = integerIn(v, 0, kMaxResponseDelayMs);
            if (!ms)
                return fail("--response-delay-ms: " + quoted + " is not 0..60000");
            if (own)
                o.ownOptions[*own].responseDelay = Micros{*ms * 1000};
            else
                o.responseDelay = Micros{*ms * 1000};
        } else if (a == "--fault") {
            const auto fault = faultNamed(v);
            if (!fault)
                return fail("--fault: unknown fault " + quoted);
            if (own) {
                o.ownOptions[*own].faults.push_back(*fault);
            } else {
                o.faults.push_back(*fault);
                faultNames.push_back(v);
            }
        } else if (a == "--fault-rate") {
            const auto percent = integerIn(v, 0, 100);
            if (!percent)
                return fail("--fault-rate: " + quoted + " is not a percentage 0..100");
            o.faultRate = static_cast<int>(*percent);
        } else if (a == "--seed") {
            const auto seed = integerIn(v, 0, 0xFFFFFFFFLL);
            if (!seed)
                return fail("--seed: " + quoted + " is not 0..4294967295");
            o.seed = static_cast<std::uint32_t>(*seed);
        } else if (a == "--late-ms") {
            lateMs = integerIn(v, 1, kMaxResponseDelayMs);
            if (!lateMs)
                return fail("--late-ms: " + quoted + " is not 1..60000");
        } else if (a == "--duplicate-ms") {
            duplicateMs = integerIn(v, 0, kMaxResponseDelayMs);
            if (!duplicateMs)
                return fail("--duplicate-ms: " + quoted + " is not 0..60000");
        } else if (a == "--max-block") {
            const auto n = integerIn(v, 1, kMostBlockRegisters);
            if (!n)
                return fail("--max-block: " + quoted + " is not 1..125");
            o.maxBlock = static_cast<int>(*n);
        } else if (a == "--block-gaps") {
            const auto dash = v.find('-');
            const auto first = integerIn(v.substr(0, dash), 0, kParameterCount - 1);
            const auto last = dash == std::string_view::npos
                                  ? first
                                  : integerIn(v.substr(dash + 1), 0, kParameterCount - 1);
            if (!first || !last || *last < *first)
                return fail("--block-gaps: " + quoted + " is not REG or FIRST-LAST within 0..562");
            for (long long r = *first; r <= *last; ++r)
                o.blockGaps.push_back(static_cast<std::uint16_t>(r));
        } else if (a == "--answer-ms") {
            const auto dash = v.find('-');
            const auto low = integerIn(v.substr(0, dash), 0, kMaxResponseDelayMs);
            const auto high = dash == std::string_view::npos
                                  ? std::nullopt
                                  : integerIn(v.substr(dash + 1), 0, kMaxResponseDelayMs);
            if (!low || !high || *high < *low)
                return fail("--answer-ms: " + quoted + " is not MIN-MAX within 0..60000");
            o.profile.answerLow = Micros{*low * 1000};
            o.profile.answerHigh = Micros{*high * 1000};
        } else if (a == "--answer-profile") {
            if (!addAnswerProfile(v, o.profile))
                return fail("--answer-profile: " + quoted +
                            " is not usb:MS, loop:MS or pause:PCT:MS (MS 1..60000, PCT 0..100)");
        } else if (a == "--tcp") {
            const auto port = integerIn(v, 0, 65535);
            if (!port)
                return fail("--tcp: " + quoted + " is not a port 0..65535");
            o.tcpPort = static_cast<int>(*port);
        } else if (a == "--framing") {
            if (v != "mbap" && v != "rtu" && v != "ascii")
                return fail("--framing: " + quoted + " is not mbap, rtu or ascii");
            o.gatewayFraming = v == "mbap"  ? Framing::Mbap
                               : v == "rtu" ? Framing::Rtu
                                            : Framing::Ascii;
            framingGiven = true;
        } else if (a == "--latency-ms" || a == "--duplicate-segments" || a == "--drop-at" ||
                   a == "--drop-rate") {
            const long long most = a == "--latency-ms" ? kMaxResponseDelayMs
                                   : a == "--drop-at"  ? 1000000000LL
                                                       : 100;
            const auto n = integerIn(v, 0, most);
            if (!n)
                return fail(std::string(a) + ": " + quoted + " is not 0.." + std::to_string(most));
            networkGiven = true;
            if (a == "--latency-ms")
                o.network.latencyMost = Micros{*n * 1000};
            else if (a == "--duplicate-segments")
                o.network.duplicatePercent = static_cast<int>(*n);
            else if (a == "--drop-at")
                o.network.dropAt = *n;
            else
                o.network.dropPercent = static_cast<int>(*n);
        } else if (a == "--split-segments") {
            o.network.splitEveryByte = networkGiven = true;
        } else if (a == "--faults-history") {
            const auto history = parseFaultHistory(v);
            if (!history)
                return fail("--faults-history: " + quoted +
                            " is not NUMBER@HOURS,... with at most 8 faults, each 0..65535");
            if (own)
                o.ownOptions[*own].faultHistory = *history;
            else
                o.faultHistory = *history;
        } else if (a == "--stations") {
            o.stations.clear();
            for (std::size_t start = 0; start <= v.size();) {
                const auto comma = std::min(v.find(',', start), v.size());
                const auto station = integerIn(v.substr(start, comma - start), 1, 247);
                if (!station || std::find(o.stations.begin(), o.stations.end(), *station) !=
                                    o.stations.end())
                    return fail("--stations: " + quoted +
                                " is not a list of different stations 1..247");
                o.stations.push_back(static_cast<int>(*station));
                start = comma + 1;
            }
        } else if (a == "--wire-time") {
            o.wireTime = true;
        } else if (a == "--log") {
            o.log = true;
        } else if (a == "--no-stdin") {
            o.watchStdin = false;
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else {
            return fail("unknown option \"" + std::string(a) + "\"");
        }
    }
    if (!o.stations.empty() && o.tcpPort)
        return fail("--stations puts drives on a pseudo-terminal's line, not behind --tcp");
    for (const auto& [station, own] : o.ownOptions)
        if (std::find(o.stations.begin(), o.stations.end(), station) == o.stations.end() &&
            station != o.station)
            return fail("station " + std::to_string(station) + " has options but no drive");
    if ((framingGiven || networkGiven) && !o.tcpPort)
        return fail("--framing and the network's faults belong to --tcp");
    if (o.tcpPort && o.gatewayFraming != Framing::Mbap) {
        if (!settingsGiven && o.gatewayFraming == Framing::Rtu)
            o.settings = kDefaultRtuSettings;
        if (kFormats[*formatIndexOf(o.settings)].framing != o.gatewayFraming)
            return fail("--framing " + std::string(framingName(o.gatewayFraming)) +
                        ": the drive's --settings " + o.settings + " are of the other framing");
    }
    o.network.seed = o.seed;
    // The delays hold whatever their order on the command line.
    for (std::size_t i = 0; i < o.faults.size(); ++i) {
        DriveFault& f = o.faults[i];
        if (f.kind == DriveFault::Kind::Duplicate && duplicateMs)
            f.delay = Micros{*duplicateMs * 1000};
        if (f.kind == DriveFault::Kind::Slow && lateMs && faultNames[i] == "late")
            f.delay = Micros{*lateMs * 1000};
    }
    return o;
}

std::vector<int> stationsOf(const SimOptions& o) {
    return o.stations.empty() ? std::vector<int>{o.station} : o.stations;
}

void configure(SimulatedDrive& drive, const SimOptions& o, int station) {
    const auto found = o.ownOptions.find(station);
    const StationOptions own = found == o.ownOptions.end() ? StationOptions{} : found->second;
    drive.setLink(static_cast<std::uint8_t>(station), *rateIndexOf(o.settings),
                  *formatIndexOf(o.settings));
    drive.setFaultHistory(own.faultHistory.value_or(o.faultHistory));
    for (auto [reg, value] : o.registers) drive.setReg(reg, value);
    for (auto [reg, value] : own.registers) drive.setReg(reg, value);
    drive.setResponseDelay(own.responseDelay.value_or(o.responseDelay));
    drive.setWireTime(o.wireTime);
    // Each drive draws its own timing and faults: the same seed would make them move in step.
    const std::uint32_t seed = o.seed + static_cast<std::uint32_t>(station) - 1;
    drive.setAnswerProfile(o.profile, seed);
    drive.setMaxBlock(o.maxBlock);
    drive.setBlockGaps(o.blockGaps);
    drive.setFaultMix(own.faults.empty() ? o.faults : own.faults, o.faultRate, seed);
}

void configure(SimulatedDrive& drive, const SimOptions& o) {
    configure(drive, o, o.station);
}

}  // namespace velorin
