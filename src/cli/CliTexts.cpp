#include "CliTexts.h"

#include "CliRequest.h"
#include "texts/FileTexts.h"

#ifndef VELORIN_VERSION
#define VELORIN_VERSION "0"
#endif

namespace velorin::clitext {

namespace {

QString exceptionName(ExceptionCode code) {
    switch (code) {
        case ExceptionCode::IllegalFunction:
            return QStringLiteral(" (illegal function)");
        case ExceptionCode::IllegalAddress:
            return QStringLiteral(" (illegal data address)");
        case ExceptionCode::IllegalValue:
            return QStringLiteral(" (illegal data value)");
        case ExceptionCode::DriveFailure:
            return QStringLiteral(" (drive failure)");
        case ExceptionCode::None:
            break;
    }
    return {};
}

QString fromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString framingText(Framing framing) {
    return fromView(framingName(framing));
}

}  // namespace

QString foundLine(const std::string& settings, Framing framing, int station) {
    return QStringLiteral("settings=%1 framing=%2 station=%3\n")
        .arg(QString::fromStdString(settings), framingText(framing))
        .arg(station);
}

QString valueText(std::uint16_t value, bool signedValues) {
    return signedValues ? QString::number(static_cast<std::int16_t>(value))
                        : QString::number(value);
}

QStringList portLines(const std::vector<CliPort>& ports, const std::vector<QString>& fixes) {
    qsizetype comWidth = 0, deviceWidth = 0;
    for (const auto& p : ports) {
        comWidth = std::max(comWidth, p.comName.size());
        deviceWidth = std::max(deviceWidth, p.device.size());
    }
    QStringList lines;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const CliPort& p = ports[i];
        QString state;
        switch (p.state) {
            case OpenResult::Ok:
                state = QStringLiteral("free");
                break;
            case OpenResult::InUse:
                state = QStringLiteral("in-use");
                break;
            case OpenResult::NoPermission:
                state = QStringLiteral("no-permission");
                break;
            default:
                state = QStringLiteral("unusable");
                break;
        }
        QString line = QStringLiteral("%1  %2  %3")
                           .arg(p.comName.leftJustified(comWidth),
                                p.device.leftJustified(deviceWidth), state.leftJustified(13));
        if (!p.description.isEmpty())
            line += QStringLiteral("  ") + p.description;
        if (p.state == OpenResult::NoPermission && i < fixes.size())
            line += QStringLiteral("  (fix: %1)").arg(fixes[i]);
        lines << line.trimmed();
    }
    return lines;
}

QString outcomeText(const ReplyCheck& check, Framing framing) {
    switch (check.outcome) {
        case LinkOutcome::Ok:
            return QStringLiteral("ok");
        case LinkOutcome::NoReply:
            return QStringLiteral("no reply");
        case LinkOutcome::NotAReply:
            return QStringLiteral("data on the line, but no reply");
        case LinkOutcome::BadChecksum:
            return isRtu(framing) ? QStringLiteral("bad CRC") : QStringLiteral("bad LRC");
        case LinkOutcome::WrongStation:
            return QStringLiteral("wrong station");
        case LinkOutcome::WrongFunction:
            return QStringLiteral("wrong function");
        case LinkOutcome::Malformed:
            return QStringLiteral("malformed reply");
        case LinkOutcome::Exception:
            return QStringLiteral("exception %1").arg(wireByte(check.exceptionCode)) +
                   exceptionName(check.exceptionCode);
        case LinkOutcome::PortError:
            return QStringLiteral("port error");
        case LinkOutcome::Stopped:
            return QStringLiteral("stopped");
        case LinkOutcome::Unsettled:
            return QStringLiteral("replies came, but the line never let them settle");
    }
    return fromView(linkOutcomeName(check.outcome));
}

QString openFailure(OpenResult result, const QString& port, const std::string& settings,
                    const QString& fix) {
    switch (result) {
        case OpenResult::InUse:
            return QStringLiteral("port %1 is in use by another program").arg(port);
        case OpenResult::NotFound:
            return QStringLiteral("port %1 not found ('velorin-cli ports' lists the ports)")
                .arg(port);
        case OpenResult::NoPermission:
            return QStringLiteral("no permission to open port %1; fix: %2").arg(port, fix);
        case OpenResult::BadSettings:
            return QStringLiteral("port %1 refuses the settings %2")
                .arg(port, QString::fromStdString(settings));
        default:
            return QStringLiteral("port %1 cannot be opened").arg(port);
    }
}

QString stopCause(int signal) {
    switch (signal) {
        case SIGTERM:
            return QStringLiteral("SIGTERM");
#ifdef SIGHUP
        case SIGHUP:
            return QStringLiteral("SIGHUP");
#endif
        default:
            return QStringLiteral("Ctrl+C");
    }
}

QString notASerialPort(const QString& port) {
    return QStringLiteral("port %1 is not a serial port ('velorin-cli ports' lists the ports)")
        .arg(port);
}

QString portLost(const QString& port, const QString& consequence) {
    return QStringLiteral("port lost: %1 went away (adapter unplugged?); %2")
        .arg(port, consequence);
}

QString connectFailure(OpenResult result, const QString& address, int timeoutMs) {
    switch (result) {
        case OpenResult::NotFound:
            return QStringLiteral("gateway %1 not found: no such host").arg(address);
        case OpenResult::NoPermission:
            return QStringLiteral("the system does not let this program connect to %1")
                .arg(address);
        default:
            return QStringLiteral(
                       "no connection to gateway %1 (refused, unreachable or no answer "
                       "within %2 ms)")
                .arg(address)
                .arg(timeoutMs);
    }
}

QString connectionLost(const QString& address, const QString& consequence) {
    return QStringLiteral("connection lost: gateway %1 dropped the connection; %2")
        .arg(address, consequence);
}

QString linkChangeRefused(const QString& address, std::uint16_t reg, std::uint16_t word,
                          const std::string& settings) {
    return QStringLiteral(
               "register %1 = %2 moves the drive's link, and gateway %3 does not follow "
               "it: %4, and the gateway must be set to match; nothing was written "
               "(--allow-link-change writes it)")
        .arg(reg)
        .arg(word)
        .arg(address, linkChangeNote(reg, word, settings));
}

QString gatewayScanNote(const QString& address, Framing framing) {
    return QStringLiteral(
               "through gateway %1 (%2) the rate and format belong to the gateway's "
               "serial side: the scan tries stations only")
        .arg(address, fromView(framingName(framing)));
}

QString gatewaySurveyNote(const QString& address, Framing framing) {
    return QStringLiteral(
               "through gateway %1 (%2) the rate and format belong to the gateway's "
               "serial side: the survey asks the stations at its framing")
        .arg(address, fromView(framingName(framing)));
}

QString linkChangeNote(std::uint16_t reg, std::uint16_t word, const std::string& settings) {
    const QString talksAt = QStringLiteral("the drive talks at --settings %1 from now on");
    if (reg == drive::kStationParameter)
        return QStringLiteral("the drive answers at station %1 from now on").arg(word);
    if (reg == drive::kRateParameter) {
        const auto position = baudPosition(word);
        return position ? talksAt.arg(QString::fromStdString(replaceRate(settings, *position)))
                        : QString{};
    }
    if (reg == drive::kFormatParameter && word < kFormats.size())
        return talksAt.arg(QString::fromStdString(replaceFormat(settings, word)));
    if (reg == drive::kResetParameter && drive::isFactoryReset(word))
        return QStringLiteral(
                   "the drive resets its parameters and answers at --settings %1 "
                   "--station %2 within 2 s")
            .arg(QLatin1String(drive::kFactorySettings))
            .arg(drive::kFactoryStation);
    return {};
}

QString durationText(Micros t) {
    const long long s = (t.count() + 500000) / 1000000;
    if (s < 60)
        return QStringLiteral("%1 s").arg(s);
    if (s < 3600)
        return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60);
    return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s % 3600 / 60);
}

QString scanProgress(const ScanOrder& order, const ScanStep& step, Micros left) {
    return QStringLiteral("scan: station %1 of %2-%3, %4, %5 baud, about %6 left")
        .arg(QString::number(step.station), QString::number(order.firstStation()),
             QString::number(order.lastStation()), fromView(kFormats[step.format].listText),
             fromView(kRates[step.rate].text), durationText(left));
}

QString scanStation(const ScanOrder& order, const ScanStep& step) {
    return QStringLiteral("scanning station %1 of %2-%3")
        .arg(step.station)
        .arg(order.firstStation())
        .arg(order.lastStation());
}

QString surveyProgress(int station, int first, int last, Micros left) {
    return QStringLiteral("survey: station %1 of %2-%3, about %4 left")
        .arg(station)
        .arg(first)
        .arg(last)
        .arg(durationText(left));
}

QString surveyedLine(const std::string& settings, Framing framing, const SurveyedDrive& drive) {
    const auto number = [](const std::optional<std::uint16_t>& v) {
        return v ? QString::number(*v) : QStringLiteral("?");
    };
    return foundLine(settings, framing, drive.station).chopped(1) +
           QStringLiteral(" model=%1 hours=%2\n").arg(number(drive.model), number(drive.hours));
}

QString scanStep(const ScanStep& step) {
    return QStringLiteral("station %1, %2")
        .arg(step.station)
        .arg(QString::fromStdString(step.settings()));
}

namespace {

QString traceBytes(std::span<const std::uint8_t> bytes, Framing framing) {
    QString text;
    if (isBinary(framing)) {
        for (std::size_t i = 0; i < bytes.size(); ++i)
            text += (i ? QStringLiteral(" ") : QString()) +
                    QStringLiteral("%1").arg(bytes[i], 2, 16, QLatin1Char('0')).toUpper();
        return text;
    }
    for (std::uint8_t b : bytes) {
        if (b == '\r')
            text += QStringLiteral("\\r");
        else if (b == '\n')
            text += QStringLiteral("\\n");
        else if (b < 0x20 || b > 0x7E)
            text += QStringLiteral("\\x") +
                    QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
        else
            text += QLatin1Char(static_cast<char>(b));
    }
    return text;
}

QString traceTime(Micros at, Micros start) {
    return QStringLiteral("[%1]").arg(static_cast<double>((at - start).count()) / 1e6, 10, 'f', 6);
}

QString purposeNote(RequestPurpose purpose) {
    switch (purpose) {
        case RequestPurpose::ReadAgain:
            return QStringLiteral("  (read again)");
        case RequestPurpose::BeforeWrite:
            return QStringLiteral("  (read before the first write)");
        case RequestPurpose::ReadBack:
            return QStringLiteral("  (read back)");
        case RequestPurpose::Read:
        case RequestPurpose::Write:
            break;
    }
    return {};
}

}  // namespace

QString oneLine(const std::string& text) {
    return QString::fromStdString(text).replace(QLatin1Char('\n'), QStringLiteral(": "));
}

QString writeFaultLine(const FileWriteFault& fault) {
    return oneLine(describeWriteFault(fault));
}

QStringList traceLines(const TransactionRecord& r, Micros start) {
    const QString sent = traceBytes(r.request, r.framing);
    const QString came = traceBytes(r.received, r.framing);
    QString reply = QStringLiteral("%1 <- %2  %3")
                        .arg(traceTime(r.notes.endedAt, start),
                             came.isEmpty() ? QStringLiteral("(nothing)") : came,
                             outcomeText(r.check, r.framing));
    if (r.notes.lateReplyHeard)
        reply += QStringLiteral("  (the previous reply came late)");
    if (r.notes.tooSoon)
        reply += QStringLiteral(
                     "  (a reply complete %1 ms after the request, sooner than the line "
                     "carries one, set aside as another's)")
                     .arg(static_cast<double>(r.notes.tooSoonAfter.count()) / 1000.0, 0, 'f', 2);
    if (r.notes.otherTransactions > 0)
        reply += QStringLiteral("  (%1 frame(s) of other transactions set aside)")
                     .arg(r.notes.otherTransactions);
    // Bytes besides the reply taken; without a reply they are what the check above names.
    if (r.notes.strayBefore || (r.notes.strayInside && r.check.complete()))
        reply += QStringLiteral("  (stray bytes)");
    return {QStringLiteral("%1 -> %2%3")
                .arg(traceTime(r.notes.sentAt, start),
                     sent.isEmpty() ? QStringLiteral("(nothing)") : sent,
                     purposeNote(r.purpose) +
                         (r.framing == Framing::Mbap
                              ? QStringLiteral("  (transaction %1)").arg(mbapTransaction(r.request))
                              : QString())),
            reply};
}

QString helpText() {
    return QStringLiteral(
               "Usage: velorin-cli [options] <command> [arguments]\n"
               "\n"
               "Talks to one Velorin drive on a serial line: Modbus ASCII or RTU, one register "
               "per\nrequest (function 3 to read, function 6 to write); pages in blocks with "
               "--block-reads.\n"
               "\n"
               "Commands:\n"
               "  ports               List the serial ports: COM name, device, state (free, "
               "in-use,\n"
               "                      no-permission with the fix, unusable), description.\n"
               "  probe               Read the drive's station register P496 (0x01F0); the "
               "drive is\n"
               "                      found when it holds more than 0. Prints\n"
               "                      settings=S framing=ASCII|RTU station=N.\n"
               "  read REG [REG ...]  Read each register; prints \"REG VALUE\" per line.\n"
               "  write REG VALUE     Read the register, then write it; prints \"REG OLD -> NEW\""
               "\n"
               "                      with NEW as the drive confirmed it (OLD is ? when the "
               "drive\n"
               "                      refuses the read).\n"
               "  scan                Try every station, format and rate (stations upwards; "
               "ASCII\n"
               "                      formats before RTU; rates from 4800 up) until the drive "
               "answers;\n"
               "                      prints settings=S framing=ASCII|RTU station=N. Ctrl+C "
               "stops it.\n"
               "  survey              Ask every station 1-247 (--stations A-B) at --settings, or "
               "search\n"
               "                      the settings first when none is given; prints the scan's "
               "line\n"
               "                      and model=M hours=H (P17.11, P17.05) for every drive that\n"
               "                      answers. Ctrl+C stops it and keeps what was found.\n"
               "\n"
               "Parameters, as the parameter editor shows, checks and writes them:\n"
               "  get CODE...         Read the parameters' pages; prints code, label and the "
               "value as\n"
               "                      the editor shows it (--raw: the register value). CODE is "
               "P01.06,\n"
               "                      a range P03.01-P03.09, a page P03, P01-1 or a group P09.\n"
               "  set CODE VALUE...   Take each value as its field would (numbers in the "
               "field's\n"
               "                      units, choices by option number, P15.01 by list\n"
               "                      position), check it as the editor does,\n"
               "                      write them and what follows from them; prints each value\n"
               "                      the drive confirmed. A refused value is not written\n"
               "                      (exit status 5).\n"
               "  backup FILE         Read the pages (--pages LIST, default P00 to P17-1) and "
               "save them\n"
               "                      as the editor's parameter file; progress on stderr; Ctrl+C "
               "or a\n"
               "                      failed read leaves no file.\n"
               "                      --stations 1-3,5 or --all (after a survey): one file per "
               "drive\n"
               "                      in FILE, a folder, named S01_M101_20261208.txt; a drive "
               "that\n"
               "                      fails keeps its old file and the others go on.\n"
               "  restore FILE        Load the file (all or nothing), check it, and write it with "
               "the\n"
               "                      editor's write sequence; --dry-run prints the writes "
               "instead;\n"
               "                      --changed-only reads the file's pages first and writes "
               "only\n"
               "                      the parameters whose value differs from the drive's.\n"
               "                      --stations LIST: each drive from its latest file in FILE, "
               "a\n"
               "                      folder; a file named for another model is refused.\n"
               "                      A running motor: refused unless --force-running.\n"
               "                      set and restore: a P17.08 of 2..7 (a factory reset) "
               "is refused\n"
               "                      unless --allow-reset; settings the drive would answer "
               "with\n"
               "                      ErP1-ErP3 are warned of on stderr, refused with "
               "--strict.\n"
               "  diff [FILE]         Compare the drive (or FILE) with --against FILE, "
               "--factory, or\n"
               "                      the drive; prints the parameters that differ (--all: "
               "every one).\n"
               "  catalogue [CODE...] The parameters without a drive: code, register, label, "
               "kind,\n"
               "                      display, range checks, factory value, options.\n"
               "                      --find QUERY: those a code, #register or name part "
               "names.\n"
               "\n"
               "Diagnosis:\n"
               "  faults [FILE]       The drive's last eight faults, latest first, with the "
               "running\n"
               "                      hours at each and how long ago; what the drive saw at "
               "the\n"
               "                      latest fault; the terminals on. FILE: a backup's "
               "history.\n"
               "  report FILE         The service report as FILE.pdf or FILE.html: the drive, "
               "the\n"
               "                      parameters unlike the factory's (--against FILE: unlike\n"
               "                      the file's), the fault history, this station's changes\n"
               "                      and the SHA-256 of the set; --from BACKUP: offline.\n"
               "get, diff, catalogue and faults print tab-separated text, or --format csv or "
               "json\n"
               "(docs/cli.md,\n"
               "installed as /usr/share/doc/velorin/cli.md.gz).\n"
               "\n"
               "The change log: write, set and restore log every register they write (unless\n"
               "--no-log) in changes.log in the user's data folder, as the desktop tool does.\n"
               "  log                 Print the change log: time, port, settings, station, code,\n"
               "                      name, old and new raw value, old and new value as shown,\n"
               "                      confirmed or not, the command; tab-separated.\n"
               "                      --since DATE (2026-12-01, 2026-12-01T08:30, local time)\n"
               "                      and --station N print only those writes.\n"
               "\n"
               "PORT is a COM name (COM3) or a device path (/dev/ttyUSB0, a pseudo-terminal).\n"
               "SETTINGS is a rate of 4800, 9600, 19200, 38400 or 115200 and one of the "
               "formats\n"
               "N,7,2 E,7,1 O,7,1 (Modbus ASCII) or N,8,2 N,8,1 E,8,1 O,8,1 (Modbus RTU).\n"
               "REG is 0..65535 and VALUE -32768..65535, decimal or 0x hexadecimal (0x2101).\n"
               "Values are shown as 0..65535 unless --signed is given.\n"
               "\n") +
           optionsHelpText() +
           QStringLiteral(
               "\n"
               "Exit status:\n"
               "  0    done: the drive answered, the write was confirmed, the drive was found\n"
               "  1    no usable reply: no drive answered, a read failed, the scan found "
               "nothing\n"
               "  2    usage error: unknown command, option, settings string, or a number out "
               "of range\n"
               "  3    the port cannot be opened (in use, not found, no permission, not a "
               "serial\n"
               "       port) or was lost during the command\n"
               "  4    the write was not confirmed by the drive, or not sent because the read "
               "before\n"
               "       it got no usable reply; set and restore: a write not confirmed\n"
               "  5    a range check refused a value (nothing written), the motor runs, a "
               "parameter\n"
               "       file is unsound, holds no page, has unreadable lines (without --lenient)\n"
               "       or cannot be written, a reset without --allow-reset, or an ErP warning\n"
               "       with --strict\n"
               "  6    diff found parameters that differ\n"
               "  7    done, but the change log could not be written: writes the drive may have\n"
               "       taken are not in it (the reason is on stderr)\n"
               "  8    backup or restore of several drives: one or more failed (the summary "
               "on\n"
               "       stdout names every drive with its outcome)\n"
               "  130  interrupted by Ctrl+C; the port is closed (129 for SIGHUP, 143 for\n"
               "       SIGTERM: 128 + the signal)\n");
}

QString versionLine() {
    return QStringLiteral("velorin-cli " VELORIN_VERSION "\n");
}

}  // namespace velorin::clitext
