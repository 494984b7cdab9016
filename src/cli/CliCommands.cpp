#include "CliCommands.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QRegularExpression>
#include <optional>

#include "link/DriveFacts.h"
#include "link/Global.h"
#include "link/MBus.h"

#ifndef VELORIN_VERSION
#define VELORIN_VERSION "0"
#endif

namespace velorin {

namespace {

constexpr std::uint16_t kStationRegister = 0x01F0;      // P496: the drive's own station number
constexpr std::uint16_t kRateRegister = 0x01F1;         // P497: rate / 100
constexpr std::uint16_t kFormatRegister = 0x01F2;       // P498: format index
constexpr std::uint16_t kLockResetRegister = 0x0222;    // P546: 2..7 reset to factory
constexpr const char* kDefaultSettings = "9600,N,7,2";  // the drive as it leaves the factory
constexpr Micros kProbeGuess{100000};  // time of one probe before any has been measured

// QCommandLineParser takes "-5" for an option; negative numbers carry this mark through it.
const QChar kNegativeMark(0xE000);

int exitCode(CliExit e) {
    return static_cast<int>(e);
}

QString unmark(QString s) {
    return s.remove(kNegativeMark);
}

QString framingName(bool rtu) {
    return rtu ? QStringLiteral("RTU") : QStringLiteral("ASCII");
}

QString exceptionName(std::uint8_t code) {
    switch (code) {
        case 1:
            return QStringLiteral(" (illegal function)");
        case 2:
            return QStringLiteral(" (illegal data address)");
        case 3:
            return QStringLiteral(" (illegal data value)");
        case 4:
            return QStringLiteral(" (drive failure)");
        default:
            return {};
    }
}

// What the check of a reply found, in the words of the trace and the messages.
QString checkText(const ReplyCheck& c, bool rtu) {
    switch (c.outcome) {
        case LinkOutcome::Ok:
            return QStringLiteral("ok");
        case LinkOutcome::NoReply:
            return QStringLiteral("no reply");
        case LinkOutcome::BadChecksum:
            return rtu ? QStringLiteral("bad CRC") : QStringLiteral("bad LRC");
        case LinkOutcome::WrongStation:
            return QStringLiteral("wrong station");
        case LinkOutcome::WrongFunction:
            return QStringLiteral("wrong function");
        case LinkOutcome::Malformed:
            return QStringLiteral("malformed reply");
        case LinkOutcome::Exception:
            return QStringLiteral("exception %1").arg(c.exceptionCode) +
                   exceptionName(c.exceptionCode);
        case LinkOutcome::PortError:
            return QStringLiteral("port error");
        case LinkOutcome::Stopped:
            return QStringLiteral("stopped");
    }
    return QString::fromUtf8(linkOutcomeName(c.outcome).data());
}


QString foundLine(const std::string& settings, bool rtu, int station) {
    return QStringLiteral("settings=%1 framing=%2 station=%3\n")
        .arg(QString::fromStdString(settings), framingName(rtu))
        .arg(station);
}

// "45 s", "14 min 40 s", "2 h 5 min".
QString durationText(Micros t) {
    const long long s = (t.count() + 500000) / 1000000;
    if (s < 60)
        return QStringLiteral("%1 s").arg(s);
    if (s < 3600)
        return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60);
    return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s % 3600 / 60);
}

// Decimal (optionally signed) or 0x hexadecimal; empty when the text is neither.
std::optional<long long> parseInteger(const QString& text) {
    static const QRegularExpression decimal(QStringLiteral("^[+-]?[0-9]{1,12}$"));
    static const QRegularExpression hex(QStringLiteral("^-?0[xX][0-9A-Fa-f]{1,8}$"));
    const QString t = text.trimmed();
    bool ok = false;
    long long v = 0;
    if (decimal.match(t).hasMatch()) {
        v = t.toLongLong(&ok, 10);
    } else if (hex.match(t).hasMatch()) {
        const bool negative = t.startsWith(QLatin1Char('-'));
        v = t.mid(negative ? 3 : 2).toLongLong(&ok, 16);
        if (negative)
            v = -v;
    }
    if (!ok)
        return std::nullopt;
    return v;
}

struct RegisterArg {
    std::uint16_t reg = 0;
    QString text;  // as the results show it: decimal, or 0x and four hexadecimal digits
};

// The technician's view of stderr: plain lines, and on a terminal one live line that the next
// line or live update replaces.
class Console {
public:
    Console(QTextStream& err, bool terminal) : m_err(err), m_terminal(terminal) {}
    bool terminal() const { return m_terminal; }

    void line(const QString& text) {
        clearLive();
        m_err << text << '\n';
        m_err.flush();
    }
    void live(const QString& text) {
        if (!m_terminal)
            return;
        m_err << '\r' << text.leftJustified(m_live);
        m_live = static_cast<int>(text.size());
        m_err.flush();
    }
    void endLive() {
        clearLive();
        m_err.flush();
    }

private:
    void clearLive() {
        if (m_live == 0)
            return;
        m_err << '\r' << QString(m_live, QLatin1Char(' ')) << '\r';
        m_live = 0;
    }

    QTextStream& m_err;
    bool m_terminal;
    int m_live = 0;
};

struct ParserOptions {
    QCommandLineOption port{{QStringLiteral("p"), QStringLiteral("port")},
                            QStringLiteral("The serial port: a COM name (COM3) or a device path "
                                           "(/dev/ttyUSB0, a pseudo-terminal)."),
                            QStringLiteral("PORT")};
    QCommandLineOption settings{
        {QStringLiteral("s"), QStringLiteral("settings")},
        QStringLiteral("Line settings, e.g. \"9600,N,7,2\" (the default, the drive's factory "
                       "setting). 7 data bits speak Modbus ASCII, 8 data bits Modbus RTU."),
        QStringLiteral("SETTINGS")};
    QCommandLineOption station{QStringLiteral("station"),
                               QStringLiteral("The drive's station, 1..254 (default 1)."),
                               QStringLiteral("N")};
    QCommandLineOption stations{QStringLiteral("stations"),
                                QStringLiteral("scan: the stations to try, A-B or A (default "
                                               "1-254)."),
                                QStringLiteral("A-B")};
    QCommandLineOption signedValues{
        QStringLiteral("signed"),
        QStringLiteral("Show values as 16-bit two's complement (-32768..32767) instead of "
                       "0..65535.")};
    QCommandLineOption trace{QStringLiteral("trace"),
                             QStringLiteral("Print every frame sent and received to stderr, with "
                                            "its time and the check of the reply.")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Show this help.")};
    QCommandLineOption version{QStringLiteral("version"), QStringLiteral("Show the version.")};

    void addTo(QCommandLineParser& parser) const {
        parser.addOptions({port, settings, station, stations, signedValues, trace, help, version});
    }
};

class CliRun {
public:
    CliRun(CliEnvironment& env, QTextStream& out, QTextStream& err)
        : m_env(env), m_out(out), m_con(err, env.errIsTerminal()), m_start(env.timedWait().now()) {}

    int run(const QStringList& args);

private:
    int usage(const QString& why);
    void error(const QString& message) { m_con.line(QStringLiteral("velorin-cli: ") + message); }
    int interrupted();

    std::optional<RegisterArg> parseRegister(const QString& text);
    QString portLabel() const;
    QString valueText(std::uint16_t v) const {
        return m_signed ? QString::number(static_cast<std::int16_t>(v)) : QString::number(v);
    }
    int openPort(const std::string& settings);
    void traceEvent(const LinkTraceEvent& e);
    void showProgress(const ScanOrder& order, long index, const ScanStep& step, Micros elapsed);
    void noteLinkChange(std::uint16_t reg, std::uint16_t word);

    int ports();
    int probe();
    int read(const std::vector<RegisterArg>& regs);
    int write(const RegisterArg& reg, int value);
    int scan(int first, int last);

    CliEnvironment& m_env;
    QTextStream& m_out;
    Console m_con;
    Micros m_start;

    QString m_portName;
    std::string m_settings = kDefaultSettings;
    bool m_rtu = false;
    std::uint8_t m_station = 1;
    bool m_signed = false;
    std::unique_ptr<SerialPort> m_port;
};

int CliRun::usage(const QString& why) {
    error(why);
    m_con.line(QStringLiteral("Try 'velorin-cli --help' for the commands and options."));
    return exitCode(CliExit::Usage);
}

int CliRun::interrupted() {
    error(QStringLiteral("interrupted; the port is closed"));
    return exitCode(CliExit::Interrupted);
}

std::optional<RegisterArg> CliRun::parseRegister(const QString& text) {
    const auto v = parseInteger(text);
    if (!v) {
        usage(QStringLiteral("register \"%1\" is not a number: use decimal or 0x hexadecimal")
                  .arg(text));
        return std::nullopt;
    }
    if (*v < 0 || *v > 0xFFFF) {
        usage(QStringLiteral("register %1 is out of range 0..65535 (0x0000..0xFFFF)").arg(text));
        return std::nullopt;
    }
    const bool hex = text.trimmed().startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    RegisterArg r;
    r.reg = static_cast<std::uint16_t>(*v);
    r.text = hex ? QStringLiteral("0x") +
                       QStringLiteral("%1").arg(r.reg, 4, 16, QLatin1Char('0')).toUpper()
                 : QString::number(r.reg);
    return r;
}

QString CliRun::portLabel() const {
    const QString device = m_port ? QString::fromStdString(m_port->deviceName()) : QString();
    if (device.isEmpty() || m_portName.endsWith(device))
        return m_portName;
    return QStringLiteral("%1 (%2)").arg(m_portName, device);
}

int CliRun::openPort(const std::string& settings) {
    if (!m_port)
        m_port = m_env.createPort(m_portName);
    OpenResult r = OpenResult::NotFound;
    if (m_port)
        r = m_port->setSettings(settings) ? m_port->open() : OpenResult::BadSettings;
    if (r == OpenResult::Ok)
        return 0;
    switch (r) {
        case OpenResult::InUse:
            error(QStringLiteral("port %1 is in use by another program").arg(portLabel()));
            break;
        case OpenResult::NotFound:
            error(QStringLiteral("port %1 not found ('velorin-cli ports' lists the ports)")
                      .arg(portLabel()));
            break;
        case OpenResult::NoPermission:
            error(QStringLiteral("no permission to open port %1; fix: %2")
                      .arg(portLabel(), m_env.permissionFix(m_portName)));
            break;
        case OpenResult::BadSettings:
            error(QStringLiteral("port %1 refuses the settings %2")
                      .arg(portLabel(), QString::fromStdString(settings)));
            break;
        default:
            error(QStringLiteral("port %1 cannot be opened").arg(portLabel()));
            break;
    }
    return exitCode(CliExit::PortUnusable);
}

void CliRun::traceEvent(const LinkTraceEvent& e) {
    const double seconds = static_cast<double>((e.time - m_start).count()) / 1e6;
    QString bytes;
    if (e.rtu) {
        for (std::size_t i = 0; i < e.bytes.size(); ++i)
            bytes += (i ? QStringLiteral(" ") : QString()) +
                     QStringLiteral("%1").arg(e.bytes[i], 2, 16, QLatin1Char('0')).toUpper();
    } else {
        for (std::uint8_t b : e.bytes) {
            if (b == '\r')
                bytes += QStringLiteral("\\r");
            else if (b == '\n')
                bytes += QStringLiteral("\\n");
            else if (b < 0x20 || b > 0x7E)
                bytes += QStringLiteral("\\x") +
                         QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
            else
                bytes += QLatin1Char(static_cast<char>(b));
        }
    }
    QString text = QStringLiteral("[%1] %2 %3")
                       .arg(seconds, 10, 'f', 6)
                       .arg(e.sent ? QStringLiteral("->") : QStringLiteral("<-"),
                            bytes.isEmpty() ? QStringLiteral("(nothing)") : bytes);
    if (!e.sent)
        text += QStringLiteral("  ") + checkText(e.check, e.rtu);
    m_con.line(text);
}

void CliRun::showProgress(const ScanOrder& order, long index, const ScanStep& step,
                          Micros elapsed) {
    const QString range =
        QStringLiteral("%1-%2").arg(order.firstStation()).arg(order.lastStation());
    if (!m_con.terminal()) {
        if (step.format == 0 && step.rate == 0)
            m_con.line(QStringLiteral("scanning station %1 of %2").arg(step.station).arg(range));
        return;
    }
    const Micros perProbe = index > 0 ? elapsed / index : kProbeGuess;
    const Micros left = perProbe * (order.total() - index);
    m_con.live(
        QStringLiteral("scan: station %1 of %2, %3, %4 baud, about %5 left")
            .arg(QString::number(step.station), range,
                 QString::fromUtf8(kFormats[step.format].listText.data(),
                                   kFormats[step.format].listText.size()),
                 QString::fromUtf8(kRates[step.rate].text.data(), kRates[step.rate].text.size()),
                 durationText(left)));
}

void CliRun::noteLinkChange(std::uint16_t reg, std::uint16_t word) {
    QString note;
    if (reg == kStationRegister) {
        note = QStringLiteral("the drive answers at station %1 from now on").arg(word);
    } else if (reg == kRateRegister) {
        for (int i = 0; i < static_cast<int>(kRates.size()); ++i)
            if (kRates[i].driveValue == word)
                note = QStringLiteral("the drive talks at --settings %1 from now on")
                           .arg(QString::fromStdString(replaceRate(m_settings, i)));
    } else if (reg == kFormatRegister && word < kFormats.size()) {
        note = QStringLiteral("the drive talks at --settings %1 from now on")
                   .arg(QString::fromStdString(replaceFormat(m_settings, word)));
    } else if (reg == kLockResetRegister && word >= 2 && word <= 7) {
        note = QStringLiteral(
            "the drive resets its parameters and answers at --settings "
            "9600,N,7,2 --station 1 within 2 s");
    }
    if (!note.isEmpty())
        m_con.line(QStringLiteral("note: ") + note);
}

int CliRun::ports() {
    const std::vector<CliPort> list = m_env.listPorts();
    if (list.empty()) {
        m_con.line(QStringLiteral("no serial ports found"));
        return exitCode(CliExit::Ok);
    }
    qsizetype comWidth = 0, deviceWidth = 0;
    for (const auto& p : list) {
        comWidth = std::max(comWidth, p.comName.size());
        deviceWidth = std::max(deviceWidth, p.device.size());
    }
    for (const auto& p : list) {
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
        if (p.state == OpenResult::NoPermission)
            line += QStringLiteral("  (fix: %1)").arg(m_env.permissionFix(p.comName));
        m_out << line.trimmed() << '\n';
    }
    return exitCode(CliExit::Ok);
}

int CliRun::probe() {
    if (int c = openPort(m_settings))
        return c;
    const ReplyCheck r = transact(*m_port, m_rtu, m_station, 3, kStationRegister, 1);
    m_port->close();
    if (drive::probeFound(r, framingOf(m_rtu))) {
        const int own = m_rtu ? r.value : static_cast<std::int16_t>(r.value);
        m_out << foundLine(m_settings, m_rtu, own);
        return exitCode(CliExit::Ok);
    }
    if (r.outcome == LinkOutcome::Ok)
        error(QStringLiteral("the drive at station %1 answered, but its station register P496 "
                             "holds %2, so it is not taken as found")
                  .arg(m_station)
                  .arg(valueText(r.value)));
    else
        error(QStringLiteral("no drive answered at station %1 with %2 (Modbus %3) on %4: %5")
                  .arg(QString::number(m_station), QString::fromStdString(m_settings),
                       framingName(m_rtu), portLabel(), checkText(r, m_rtu)));
    return exitCode(CliExit::NoUsableReply);
}

int CliRun::read(const std::vector<RegisterArg>& regs) {
    if (int c = openPort(m_settings))
        return c;
    bool allRead = true;
    for (const auto& reg : regs) {
        if (m_env.stopRequested()) {
            m_port->close();
            return interrupted();
        }
        const ReplyCheck r = transact(*m_port, m_rtu, m_station, 3, reg.reg, 1);
        if (r.outcome == LinkOutcome::Ok) {
            m_out << reg.text << ' ' << valueText(r.value) << '\n';
            m_out.flush();
        } else {
            allRead = false;
            error(QStringLiteral("register %1: no usable reply: %2")
                      .arg(reg.text, checkText(r, m_rtu)));
        }
    }
    m_port->close();
    return exitCode(allRead ? CliExit::Ok : CliExit::NoUsableReply);
}

int CliRun::write(const RegisterArg& reg, int value) {
    if (int c = openPort(m_settings))
        return c;
    const auto word = static_cast<std::uint16_t>(value < 0 ? value + 65536 : value);
    const ReplyCheck r = transact(*m_port, m_rtu, m_station, 6, reg.reg, word);
    m_port->close();
    if (r.outcome != LinkOutcome::Ok) {
        QString why = checkText(r, m_rtu);
        if (r.outcome == LinkOutcome::NoReply || r.outcome == LinkOutcome::Malformed ||
            r.outcome == LinkOutcome::BadChecksum)
            why += QStringLiteral(" (the drive may or may not have taken it)");
        error(QStringLiteral("write of %1 to register %2 not confirmed: %3")
                  .arg(QString::number(value), reg.text, why));
        return exitCode(CliExit::WriteNotConfirmed);
    }
    m_out << reg.text << ' ' << valueText(r.value) << '\n';
    noteLinkChange(reg.reg, word);
    return exitCode(CliExit::Ok);
}

int CliRun::scan(int first, int last) {
    const ScanOrder order(first, last);
    TimedWait& clock = m_env.timedWait();
    const Micros started = clock.now();
    auto where = [](const ScanStep& s) {
        return QStringLiteral("station %1, %2")
            .arg(s.station)
            .arg(QString::fromStdString(s.settings()));
    };
    for (long i = 0; i < order.total(); ++i) {
        const ScanStep step = order.step(i);
        if (m_env.stopRequested()) {
            m_con.endLive();
            error(QStringLiteral("scan stopped before probe %1 of %2 (%3); nothing found")
                      .arg(i + 1)
                      .arg(order.total())
                      .arg(where(step)));
            return interrupted();
        }
        showProgress(order, i, step, clock.now() - started);
        if (int c = openPort(step.settings())) {
            m_con.line(QStringLiteral("velorin-cli: scan stopped at %1").arg(where(step)));
            return c;
        }
        const ReplyCheck r = transact(*m_port, step.rtu(), step.station, 3, kStationRegister, 1);
        m_port->close();
        if (drive::probeFound(r, step.framing())) {
            m_con.line(QStringLiteral("found by probe %1 of %2 after %3")
                           .arg(i + 1)
                           .arg(order.total())
                           .arg(durationText(clock.now() - started)));
            m_out << foundLine(step.settings(), step.rtu(), step.station);
            return exitCode(CliExit::Ok);
        }
    }
    error(QStringLiteral("no drive found on %1 at stations %2-%3 (%4 probes)")
              .arg(portLabel())
              .arg(first)
              .arg(last)
              .arg(order.total()));
    return exitCode(CliExit::NoUsableReply);
}

int CliRun::run(const QStringList& args) {
    static const QRegularExpression negative(QStringLiteral("^-[0-9]"));
    QStringList marked;
    for (const QString& a : args) marked << (negative.match(a).hasMatch() ? kNegativeMark + a : a);

    QCommandLineParser parser;
    ParserOptions opt;
    opt.addTo(parser);
    if (!parser.parse(marked))
        return usage(unmark(parser.errorText()));
    if (parser.isSet(opt.help)) {
        m_out << cliHelpText();
        return exitCode(CliExit::Ok);
    }
    if (parser.isSet(opt.version)) {
        m_out << "velorin-cli " VELORIN_VERSION "\n";
        return exitCode(CliExit::Ok);
    }
    QStringList pos;
    for (const QString& p : parser.positionalArguments()) pos << unmark(p);
    if (pos.isEmpty())
        return usage(QStringLiteral("no command given: ports, probe, read, write or scan"));
    const QString command = pos.takeFirst();
    static const QStringList commands{QStringLiteral("ports"), QStringLiteral("probe"),
                                      QStringLiteral("read"), QStringLiteral("write"),
                                      QStringLiteral("scan")};
    if (!commands.contains(command))
        return usage(QStringLiteral("unknown command \"%1\"").arg(command));
    const bool isScan = command == QLatin1String("scan");
    if (parser.isSet(opt.stations) && !isScan)
        return usage(QStringLiteral("--stations belongs to scan"));
    if (isScan && (parser.isSet(opt.settings) || parser.isSet(opt.station)))
        return usage(
            QStringLiteral("scan tries every settings string and station; narrow it "
                           "with --stations A-B"));

    if (command == QLatin1String("ports")) {
        if (!pos.isEmpty())
            return usage(QStringLiteral("ports takes no arguments"));
        return ports();
    }

    m_portName = unmark(parser.value(opt.port)).trimmed();
    if (m_portName.isEmpty())
        return usage(QStringLiteral("no port given: use --port COM3 or --port /dev/ttyUSB0"));
    m_signed = parser.isSet(opt.signedValues);

    int firstStation = ScanOrder::kFirstStation, lastStation = ScanOrder::kLastStation;
    std::vector<RegisterArg> regs;
    int value = 0;
    if (isScan) {
        if (!pos.isEmpty())
            return usage(QStringLiteral("scan takes no arguments"));
        if (parser.isSet(opt.stations)) {
            const QString text = unmark(parser.value(opt.stations));
            const QStringList parts = text.split(QLatin1Char('-'));
            std::optional<long long> a, b;
            if (parts.size() <= 2) {
                a = parseInteger(parts.front());
                b = parseInteger(parts.back());
            }
            if (!a || !b || *a < 1 || *b > 254 || *a > *b)
                return usage(QStringLiteral("--stations \"%1\": give A-B or A with 1 <= A <= B "
                                            "<= 254")
                                 .arg(text));
            firstStation = static_cast<int>(*a);
            lastStation = static_cast<int>(*b);
        }
    } else {
        if (parser.isSet(opt.settings)) {
            const QString text = unmark(parser.value(opt.settings));
            const std::string s = text.trimmed().toUpper().remove(QLatin1Char(' ')).toStdString();
            const auto format = formatIndexOf(s);
            if (!format)
                return usage(QStringLiteral("unknown settings string \"%1\": use a rate of 4800, "
                                            "9600, 19200, 38400 or 115200 and a format of N,7,2 "
                                            "E,7,1 O,7,1 (ASCII) or N,8,2 N,8,1 E,8,1 O,8,1 "
                                            "(RTU), e.g. \"9600,N,7,2\"")
                                 .arg(text));
            m_settings = s;
        }
        m_rtu = isRtu(framingOfFormat(*formatIndexOf(m_settings)));
        if (parser.isSet(opt.station)) {
            const QString text = unmark(parser.value(opt.station));
            const auto n = parseInteger(text);
            if (!n || *n < 1 || *n > 254)
                return usage(QStringLiteral("station \"%1\" is out of range 1..254").arg(text));
            m_station = static_cast<std::uint8_t>(*n);
        }
        if (command == QLatin1String("probe") && !pos.isEmpty())
            return usage(QStringLiteral("probe takes no arguments"));
        if (command == QLatin1String("read") && pos.isEmpty())
            return usage(QStringLiteral("read needs at least one register"));
        if (command == QLatin1String("write") && pos.size() != 2)
            return usage(QStringLiteral("write needs a register and a value"));
        const qsizetype regCount = command == QLatin1String("write") ? 1 : pos.size();
        for (qsizetype i = 0; i < regCount; ++i) {
            auto r = parseRegister(pos[i]);
            if (!r)
                return exitCode(CliExit::Usage);
            regs.push_back(*r);
        }
        if (command == QLatin1String("write")) {
            const auto v = parseInteger(pos[1]);
            if (!v)
                return usage(QStringLiteral("value \"%1\" is not a number: use decimal or 0x "
                                            "hexadecimal")
                                 .arg(pos[1]));
            if (*v < -32768 || *v > 65535)
                return usage(QStringLiteral("value %1 is out of range -32768..65535").arg(pos[1]));
            value = static_cast<int>(*v);
        }
    }

    // The trace lives as long as the command; the link must not call into it afterwards.
    struct TraceScope {
        explicit TraceScope(CliRun* run) {
            setLinkTrace([run](const LinkTraceEvent& e) { run->traceEvent(e); });
        }
        ~TraceScope() { setLinkTrace({}); }
    };
    std::optional<TraceScope> trace;
    if (parser.isSet(opt.trace))
        trace.emplace(this);

    if (isScan)
        return scan(firstStation, lastStation);
    if (command == QLatin1String("probe"))
        return probe();
    if (command == QLatin1String("read"))
        return read(regs);
    return write(regs.front(), value);
}

}  // namespace

int runCli(const QStringList& args, CliEnvironment& env, QTextStream& out, QTextStream& err) {
    CliRun run(env, out, err);
    const int code = run.run(args);
    out.flush();
    err.flush();
    return code;
}

QString cliHelpText() {
    QCommandLineParser parser;
    ParserOptions opt;
    opt.addTo(parser);
    QString options = parser.helpText();
    options = options.mid(options.indexOf(QLatin1String("Options:")));
    return QStringLiteral(
               "Usage: velorin-cli [options] <command> [arguments]\n"
               "\n"
               "Talks to one Velorin drive on a serial line: Modbus ASCII or RTU, one register "
               "per\nrequest (function 3 to read, function 6 to write).\n"
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
               "  write REG VALUE     Write one register; prints \"REG VALUE\" as the drive "
               "confirmed it.\n"
               "  scan                Try every station, format and rate (stations upwards; "
               "ASCII\n"
               "                      formats before RTU; rates from 4800 up) until the drive "
               "answers;\n"
               "                      prints settings=S framing=ASCII|RTU station=N. Ctrl+C "
               "stops it.\n"
               "\n"
               "PORT is a COM name (COM3) or a device path (/dev/ttyUSB0, a pseudo-terminal).\n"
               "SETTINGS is a rate of 4800, 9600, 19200, 38400 or 115200 and one of the "
               "formats\n"
               "N,7,2 E,7,1 O,7,1 (Modbus ASCII) or N,8,2 N,8,1 E,8,1 O,8,1 (Modbus RTU).\n"
               "REG is 0..65535 and VALUE -32768..65535, decimal or 0x hexadecimal (0x2101).\n"
               "Values are shown as 0..65535 unless --signed is given.\n"
               "\n") +
           options +
           QStringLiteral(
               "\n"
               "Exit status:\n"
               "  0    done: the drive answered, the write was confirmed, the drive was found\n"
               "  1    no usable reply: no drive answered, a read failed, the scan found "
               "nothing\n"
               "  2    usage error: unknown command, option, settings string, or a number out "
               "of range\n"
               "  3    the port cannot be opened: in use, not found, no permission\n"
               "  4    the write was not confirmed by the drive\n"
               "  130  interrupted by Ctrl+C; the port is closed\n");
}

}  // namespace velorin
