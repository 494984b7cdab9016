#include "CliRequest.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QRegularExpression>
#include <algorithm>
#include <set>

#include "CliOptions.h"
#include "drive/ConnectSession.h"
#include "drive/LineBackup.h"
#include "editor/ParameterFile.h"
#include "editor/ParameterFind.h"
#include "link/NetworkAddress.h"
#include "model/Catalogue.h"
#include "records/ChangeLog.h"

namespace velorin {

namespace {

// What each command takes. A new command is a row here and a row in the command table.
enum class Arguments {
    None,
    Registers,
    RegisterAndValue,
    Parameters,          // one or more codes, ranges or pages
    OptionalParameters,  // none: every parameter
    Assignments,         // CODE VALUE, one pair or more
    File,
    OptionalFile,
};
enum class LineUse {
    None,       // no port
    OneLink,    // the port with --settings and --station
    EveryLink,  // every settings string and station in turn
    IfDrive,    // the port with --settings and --station when the drive is one of the sets
};
struct CommandSyntax {
    CliCommand command;
    const char* name;
    Arguments arguments;
    LineUse line;
};
constexpr CommandSyntax kCommandSyntax[] = {
    {CliCommand::Ports, "ports", Arguments::None, LineUse::None},
    {CliCommand::Probe, "probe", Arguments::None, LineUse::OneLink},
    {CliCommand::Read, "read", Arguments::Registers, LineUse::OneLink},
    {CliCommand::Write, "write", Arguments::RegisterAndValue, LineUse::OneLink},
    {CliCommand::Scan, "scan", Arguments::None, LineUse::EveryLink},
    {CliCommand::Survey, "survey", Arguments::None, LineUse::OneLink},
    {CliCommand::Get, "get", Arguments::Parameters, LineUse::OneLink},
    {CliCommand::Set, "set", Arguments::Assignments, LineUse::OneLink},
    {CliCommand::Backup, "backup", Arguments::File, LineUse::OneLink},
    {CliCommand::Restore, "restore", Arguments::File, LineUse::OneLink},
    {CliCommand::Diff, "diff", Arguments::OptionalFile, LineUse::IfDrive},
    {CliCommand::Catalogue, "catalogue", Arguments::OptionalParameters, LineUse::None},
    {CliCommand::Log, "log", Arguments::None, LineUse::None},
    {CliCommand::Faults, "faults", Arguments::OptionalFile, LineUse::IfDrive},
    {CliCommand::Report, "report", Arguments::File, LineUse::IfDrive},
};

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

// Fills a request from the parsed words; returns the usage error, or an empty text.
class RequestBuilder {
public:
    RequestBuilder(const QCommandLineParser& parser, const ParserOptions& opt)
        : m_parser(parser), m_opt(opt) {}

    QString build(QStringList words, CliRequest& request);

private:
    QString value(const QCommandLineOption& o) const { return unmark(m_parser.value(o)); }
    QString readLink(CliRequest& request) const;
    QString readGateway(CliRequest& request) const;
    QString readStations(CliRequest& request, int first, int last) const;
    QString readDriveList(const CommandSyntax& syntax, CliRequest& request) const;
    QString readArguments(const CommandSyntax& syntax, const QStringList& words,
                          CliRequest& request) const;
    QString readSetOptions(const CommandSyntax& syntax, CliRequest& request) const;

    const QCommandLineParser& m_parser;
    const ParserOptions& m_opt;
};

QString registerError(const QString& text, std::optional<RegisterArg>& out) {
    const auto v = parseInteger(text);
    if (!v)
        return QStringLiteral("register \"%1\" is not a number: use decimal or 0x hexadecimal")
            .arg(text);
    if (*v < 0 || *v > 0xFFFF)
        return QStringLiteral("register %1 is out of range 0..65535 (0x0000..0xFFFF)").arg(text);
    const bool hex = text.trimmed().startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    RegisterArg r;
    r.reg = static_cast<std::uint16_t>(*v);
    r.text = hex ? QStringLiteral("0x") +
                       QStringLiteral("%1").arg(r.reg, 4, 16, QLatin1Char('0')).toUpper()
                 : QString::number(r.reg);
    out = r;
    return {};
}

QString RequestBuilder::readLink(CliRequest& request) const {
    if (m_parser.isSet(m_opt.settings)) {
        const QString text = value(m_opt.settings);
        const std::string s = text.trimmed().toUpper().remove(QLatin1Char(' ')).toStdString();
        if (!formatIndexOf(s))
            return QStringLiteral(
                       "unknown settings string \"%1\": use a rate of 4800, 9600, "
                       "19200, 38400 or 115200 and a format of N,7,2 E,7,1 O,7,1 "
                       "(ASCII) or N,8,2 N,8,1 E,8,1 O,8,1 (RTU), e.g. \"9600,N,7,2\"")
                .arg(text);
        request.settings = s;
        request.settingsGiven = true;
    }
    request.framing = framingOfFormat(*formatIndexOf(request.settings));
    if (m_parser.isSet(m_opt.station)) {
        const QString text = value(m_opt.station);
        const auto n = parseInteger(text);
        if (!n || *n < 1 || *n > 254)
            return QStringLiteral("station \"%1\" is out of range 1..254").arg(text);
        request.station = static_cast<std::uint8_t>(*n);
    }
    return {};
}

// --tcp and what goes with it; the port name becomes the gateway's address as messages name it.
QString RequestBuilder::readGateway(CliRequest& request) const {
    if (!m_parser.isSet(m_opt.tcp)) {
        for (const QCommandLineOption* o : {&m_opt.framing, &m_opt.connectTimeout})
            if (m_parser.isSet(*o))
                return QStringLiteral("--%1 belongs to --tcp").arg(o->names().last());
        return {};
    }
    if (m_parser.isSet(m_opt.port))
        return QStringLiteral("give --port or --tcp, not both");
    const QString typed = value(m_opt.tcp);
    const std::optional<NetworkAddress> address = parseNetworkAddress(typed.toStdString());
    if (!address)
        return QStringLiteral(
                   "--tcp \"%1\": give HOST or HOST:PORT with a port 1..65535, e.g. "
                   "192.168.1.50:502")
            .arg(typed);
    request.gateway = true;
    request.gatewayHost = QString::fromStdString(address->host);
    request.gatewayPort = address->port;
    request.portName = QString::fromStdString(address->text());
    request.framing = Framing::Mbap;
    if (m_parser.isSet(m_opt.framing)) {
        const QString f = value(m_opt.framing).trimmed().toLower();
        if (f == QLatin1String("rtu"))
            request.framing = Framing::Rtu;
        else if (f == QLatin1String("ascii"))
            request.framing = Framing::Ascii;
        else if (f != QLatin1String("mbap"))
            return QStringLiteral("--framing \"%1\": use mbap, rtu or ascii").arg(f);
    }
    if (m_parser.isSet(m_opt.connectTimeout)) {
        const QString text = value(m_opt.connectTimeout);
        static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
        const int ms = digits.match(text).hasMatch() ? text.toInt() : -1;
        if (ms < 100 || ms > 60000)
            return QStringLiteral("--connect-timeout \"%1\": give the milliseconds, 100..60000")
                .arg(text);
        request.connectTimeoutMs = ms;
    }
    return {};
}

QString RequestBuilder::readStations(CliRequest& request, int first, int last) const {
    request.firstStation = first;
    request.lastStation = last;
    if (!m_parser.isSet(m_opt.stations))
        return {};
    const QString text = value(m_opt.stations);
    const QStringList parts = text.split(QLatin1Char('-'));
    std::optional<long long> a, b;
    if (parts.size() <= 2) {
        a = parseInteger(parts.front());
        b = parseInteger(parts.back());
    }
    if (!a || !b || *a < first || *b > last || *a > *b)
        return QStringLiteral("--stations \"%1\": give A-B or A with %2 <= A <= B <= %3")
            .arg(text)
            .arg(first)
            .arg(last);
    request.firstStation = static_cast<int>(*a);
    request.lastStation = static_cast<int>(*b);
    return {};
}

// backup and restore of several drives: --stations LIST (or backup --all), FILE their folder.
QString RequestBuilder::readDriveList(const CommandSyntax& syntax, CliRequest& request) const {
    const bool list = m_parser.isSet(m_opt.stations);
    request.allStations = syntax.command == CliCommand::Backup && m_parser.isSet(m_opt.all);
    if (!list && !request.allStations)
        return {};
    if (m_parser.isSet(m_opt.station))
        return QStringLiteral("give --station N for one drive or --stations LIST for several, "
                              "not both");
    // With --all, --stations A-B narrows the survey.
    if (request.allStations)
        return readStations(request, kFirstSurveyStation, kLastSurveyStation);
    if (list) {
        const QString text = value(m_opt.stations);
        const auto stations = parseStationList(text.trimmed().toStdString(),
                                               ScanOrder::kFirstStation, ScanOrder::kLastStation);
        if (!stations)
            return QStringLiteral("--stations \"%1\": give stations %2..%3 as a list such as 1-12 "
                                  "or 1-3,5,9 (station 0, the broadcast address, is never "
                                  "written to)")
                .arg(text)
                .arg(ScanOrder::kFirstStation)
                .arg(ScanOrder::kLastStation);
        request.stationList = *stations;
    }
    return {};
}

QString RequestBuilder::readArguments(const CommandSyntax& syntax, const QStringList& words,
                                      CliRequest& request) const {
    const QLatin1String name(syntax.name);
    QString why;
    switch (syntax.arguments) {
        case Arguments::Parameters:
            if (words.isEmpty())
                return QStringLiteral("%1 needs at least one parameter code, range or page")
                    .arg(name);
            request.parameters = selectParameters(words, why);
            return why;
        case Arguments::OptionalParameters:
            if (!words.isEmpty() && !request.find.isEmpty())
                return QStringLiteral("%1 takes codes or --find, not both").arg(name);
            if (!words.isEmpty())
                request.parameters = selectParameters(words, why);
            return why;
        case Arguments::Assignments:
            if (words.isEmpty() || words.size() % 2 != 0)
                return QStringLiteral("%1 needs pairs of a parameter code and a value").arg(name);
            for (qsizetype i = 0; i < words.size(); i += 2) {
                const std::optional<int> reg = singleParameter(words[i], why);
                if (!reg)
                    return why;
                for (const Assignment& a : request.assignments)
                    if (a.reg == *reg)
                        return QStringLiteral("%1 is given twice").arg(words[i]);
                request.assignments.push_back({*reg, words[i + 1].toStdString()});
            }
            return {};
        case Arguments::File:
        case Arguments::OptionalFile:
            if (words.size() > 1 || (words.isEmpty() && syntax.arguments == Arguments::File))
                return QStringLiteral("%1 needs %2 parameter file")
                    .arg(name, syntax.arguments == Arguments::File ? QStringLiteral("one")
                                                                   : QStringLiteral("at most one"));
            if (!words.isEmpty())
                request.file = words.front();
            return {};
        default:
            break;
    }
    switch (syntax.arguments) {
        case Arguments::None:
            if (!words.isEmpty())
                return QStringLiteral("%1 takes no arguments").arg(QLatin1String(syntax.name));
            return {};
        case Arguments::Registers:
            if (words.isEmpty())
                return QStringLiteral("%1 needs at least one register")
                    .arg(QLatin1String(syntax.name));
            break;
        case Arguments::RegisterAndValue:
            if (words.size() != 2)
                return QStringLiteral("%1 needs a register and a value")
                    .arg(QLatin1String(syntax.name));
            break;
        default:
            break;
    }
    const qsizetype registers = syntax.arguments == Arguments::Registers ? words.size() : 1;
    for (qsizetype i = 0; i < registers; ++i) {
        std::optional<RegisterArg> r;
        if (QString why = registerError(words[i], r); !why.isEmpty())
            return why;
        request.registers.push_back(*r);
    }
    if (syntax.arguments == Arguments::RegisterAndValue) {
        const auto v = parseInteger(words[1]);
        if (!v)
            return QStringLiteral("value \"%1\" is not a number: use decimal or 0x hexadecimal")
                .arg(words[1]);
        if (*v < -32768 || *v > 65535)
            return QStringLiteral("value %1 is out of range -32768..65535").arg(words[1]);
        request.value = static_cast<int>(*v);
    }
    return {};
}

QString RequestBuilder::build(QStringList words, CliRequest& request) {
    if (m_parser.isSet(m_opt.help)) {
        request.command = CliCommand::Help;
        return {};
    }
    if (m_parser.isSet(m_opt.version)) {
        request.command = CliCommand::Version;
        return {};
    }
    QStringList names;
    for (const auto& s : kCommandSyntax) names << QLatin1String(s.name);
    if (words.isEmpty())
        return QStringLiteral("no command given: %1 or %2")
            .arg(names.mid(0, names.size() - 1).join(QStringLiteral(", ")), names.last());
    const QString name = words.takeFirst();
    const CommandSyntax* syntax = nullptr;
    for (const auto& s : kCommandSyntax)
        if (name == QLatin1String(s.name))
            syntax = &s;
    if (!syntax)
        return QStringLiteral("unknown command \"%1\"").arg(name);
    request.command = syntax->command;

    if (QString why = readSetOptions(*syntax, request); !why.isEmpty())
        return why;
    const bool registerArguments = syntax->arguments == Arguments::Registers ||
                                   syntax->arguments == Arguments::RegisterAndValue ||
                                   syntax->arguments == Arguments::None;
    if (!registerArguments)
        if (QString why = readArguments(*syntax, words, request); !why.isEmpty())
            return why;
    if (request.command == CliCommand::Report &&
        !request.file.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive) &&
        !request.file.endsWith(QLatin1String(".html"), Qt::CaseInsensitive))
        return QStringLiteral("report writes FILE.pdf or FILE.html, not \"%1\"").arg(request.file);
    if (request.command == CliCommand::Diff) {
        if (m_parser.isSet(m_opt.drive) && !request.file.isEmpty())
            return QStringLiteral("diff compares the drive or FILE, not both, with the second set");
        if (!request.usesDrive() && request.file.isEmpty() && !request.againstFactory &&
            request.againstFile.isEmpty())
            return {};
        if (request.file.isEmpty() && !request.againstFactory && request.againstFile.isEmpty())
            return QStringLiteral("diff --drive needs --against FILE or --factory");
    }
    const bool scans = syntax->line == LineUse::EveryLink;
    const bool surveys = syntax->command == CliCommand::Survey;
    const bool drivesListed =
        syntax->command == CliCommand::Backup || syntax->command == CliCommand::Restore;
    if (m_parser.isSet(m_opt.stations) && !scans && !surveys && !drivesListed)
        return QStringLiteral("--stations belongs to scan, survey, backup and restore");
    if (scans && (m_parser.isSet(m_opt.settings) || m_parser.isSet(m_opt.station)))
        return QStringLiteral(
            "scan tries every settings string and station; narrow it with --stations A-B");
    if (surveys && m_parser.isSet(m_opt.station))
        return QStringLiteral("survey asks every station; narrow it with --stations A-B");
    if (drivesListed)
        if (QString why = readDriveList(*syntax, request); !why.isEmpty())
            return why;
    if (syntax->line == LineUse::OneLink ||
        (syntax->line == LineUse::IfDrive && request.usesDrive()) ||
        syntax->line == LineUse::EveryLink) {
        if (QString why = readGateway(request); !why.isEmpty())
            return why;
        if (!request.gateway)
            request.portName = value(m_opt.port).trimmed();
        if (request.portName.isEmpty())
            return QStringLiteral("no port given: use --port COM3 or --port /dev/ttyUSB0");
        const Framing gatewayFraming = request.framing;
        if (QString why = scans ? readStations(request, ScanOrder::kFirstStation,
                                               ScanOrder::kLastStation)
                                : readLink(request);
            !why.isEmpty())
            return why;
        if (surveys)
            if (QString why = readStations(request, kFirstSurveyStation, kLastSurveyStation);
                !why.isEmpty())
                return why;
        // Through a gateway the framing is the one it speaks; --settings only tells how fast
        // its serial side is, for the wait.
        if (request.gateway)
            request.framing = gatewayFraming;
    } else if (m_parser.isSet(m_opt.tcp)) {
        return QStringLiteral("--tcp belongs to the commands that talk to a drive");
    }
    if (m_parser.isSet(m_opt.timeout)) {
        const QString text = value(m_opt.timeout);
        static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
        const int ms = digits.match(text).hasMatch() ? text.toInt() : -1;
        if (ms < kMinReplyTimeoutMs || ms > kMaxReplyTimeoutMs)
            return QStringLiteral(
                       "--timeout \"%1\": give the milliseconds to wait for a reply, "
                       "%2..%3")
                .arg(text)
                .arg(kMinReplyTimeoutMs)
                .arg(kMaxReplyTimeoutMs);
        request.timeoutMs = ms;
    }
    request.signedValues = m_parser.isSet(m_opt.signedValues);
    request.trace = m_parser.isSet(m_opt.trace);
    request.blockReads = m_parser.isSet(m_opt.blockReads);
    request.verifyReads = m_parser.isSet(m_opt.verifyReads);
    return registerArguments ? readArguments(*syntax, words, request) : QString();
}

// Options that belong to one command or a few, and what they say.
QString RequestBuilder::readSetOptions(const CommandSyntax& syntax, CliRequest& request) const {
    using C = CliCommand;
    const struct {
        const QCommandLineOption& option;
        std::initializer_list<CliCommand> commands;
        const char* belongs;
    } owned[] = {
        {m_opt.format, {C::Get, C::Diff, C::Catalogue, C::Faults}, "get, diff, catalogue and faults"},
        {m_opt.raw, {C::Get}, "get"},
        {m_opt.pages, {C::Backup}, "backup"},
        {m_opt.dryRun, {C::Restore}, "restore"},
        {m_opt.changedOnly, {C::Restore}, "restore"},
        {m_opt.forceRunning, {C::Set, C::Restore}, "set and restore"},
        {m_opt.allowReset, {C::Set, C::Restore}, "set and restore"},
        {m_opt.strict, {C::Set, C::Restore}, "set and restore"},
        {m_opt.lenient, {C::Restore, C::Diff, C::Faults}, "restore, diff and faults"},
        {m_opt.find, {C::Catalogue}, "catalogue"},
        {m_opt.force, {C::Restore}, "restore"},
        {m_opt.forceModel, {C::Restore}, "restore"},
        {m_opt.drive, {C::Diff}, "diff"},
        {m_opt.against, {C::Diff, C::Report}, "diff and report"},
        {m_opt.from, {C::Report}, "report"},
        {m_opt.factory, {C::Diff}, "diff"},
        {m_opt.all, {C::Diff, C::Backup}, "diff and backup"},
        {m_opt.since, {C::Log}, "log"},
        {m_opt.noLog, {C::Write, C::Set, C::Restore}, "write, set and restore"},
        {m_opt.allowLinkChange, {C::Write, C::Set, C::Restore}, "write, set and restore"},
    };
    for (const auto& o : owned) {
        if (!m_parser.isSet(o.option))
            continue;
        if (std::find(o.commands.begin(), o.commands.end(), syntax.command) == o.commands.end())
            return QStringLiteral("--%1 belongs to %2")
                .arg(o.option.names().last(), QLatin1String(o.belongs));
    }
    if (m_parser.isSet(m_opt.format)) {
        const QString f = value(m_opt.format);
        if (f == QLatin1String("text"))
            request.format = OutputFormat::Text;
        else if (f == QLatin1String("csv"))
            request.format = OutputFormat::Csv;
        else if (f == QLatin1String("json"))
            request.format = OutputFormat::Json;
        else
            return QStringLiteral("--format \"%1\": use text, csv or json").arg(f);
    }
    request.raw = m_parser.isSet(m_opt.raw);
    request.dryRun = m_parser.isSet(m_opt.dryRun);
    request.changedOnly = m_parser.isSet(m_opt.changedOnly);
    request.forceRunning = m_parser.isSet(m_opt.forceRunning);
    request.allowReset = m_parser.isSet(m_opt.allowReset);
    request.allowLinkChange = m_parser.isSet(m_opt.allowLinkChange);
    request.strict = m_parser.isSet(m_opt.strict);
    request.force = m_parser.isSet(m_opt.force);
    request.forceModel = m_parser.isSet(m_opt.forceModel);
    request.lenient = m_parser.isSet(m_opt.lenient);
    if (m_parser.isSet(m_opt.find)) {
        request.find = value(m_opt.find);
        request.parameters = findParameters(request.find.toStdString());
        if (request.parameters.empty())
            return QStringLiteral("--find \"%1\" names no parameter").arg(request.find);
    }
    request.all = m_parser.isSet(m_opt.all);
    request.noLog = m_parser.isSet(m_opt.noLog);
    if (m_parser.isSet(m_opt.since)) {
        request.since = value(m_opt.since).trimmed().toStdString();
        if (!validSinceText(request.since))
            return QStringLiteral(
                       "--since \"%1\": give a local date, 2026-12-01, or a date and "
                       "time, 2026-12-01T08:30")
                .arg(value(m_opt.since));
    }
    if (syntax.command == C::Log && m_parser.isSet(m_opt.station)) {
        const auto n = parseInteger(value(m_opt.station));
        if (!n || *n < 0 || *n > 255)
            return QStringLiteral("station \"%1\" is out of range 0..255")
                .arg(value(m_opt.station));
        request.logStation = static_cast<int>(*n);
    }
    request.againstFactory = m_parser.isSet(m_opt.factory);
    request.againstFile = value(m_opt.against);
    request.fromFile = value(m_opt.from);
    if (request.againstFactory && !request.againstFile.isEmpty())
        return QStringLiteral("diff compares with --against FILE or --factory, not both");
    if (syntax.command == C::Backup) {
        request.pages.clear();
        for (int page = 0; page < kFilePageCount; ++page) request.pages.push_back(page);
        if (m_parser.isSet(m_opt.pages)) {
            QString why;
            request.pages = selectPages(value(m_opt.pages), why);
            if (!why.isEmpty())
                return why;
        }
    }
    return {};
}

}  // namespace

ParsedCommandLine parseCommandLine(const QStringList& args) {
    static const QRegularExpression negative(QStringLiteral("^-[0-9]"));
    QStringList marked;
    for (const QString& a : args) marked << (negative.match(a).hasMatch() ? kNegativeMark + a : a);

    QCommandLineParser parser;
    ParserOptions opt;
    opt.addTo(parser);
    if (!parser.parse(marked))
        return {std::nullopt, unmark(parser.errorText())};
    QStringList words;
    for (const QString& p : parser.positionalArguments()) words << unmark(p);

    CliRequest request;
    const QString why = RequestBuilder(parser, opt).build(words, request);
    if (!why.isEmpty())
        return {std::nullopt, why};
    return {request, {}};
}

bool CliRequest::usesDrive() const {
    switch (command) {
        case CliCommand::Help:
        case CliCommand::Version:
        case CliCommand::Ports:
        case CliCommand::Catalogue:
            return false;
        case CliCommand::Diff:
            return file.isEmpty() || (!againstFactory && againstFile.isEmpty());
        case CliCommand::Faults:
            return file.isEmpty();
        case CliCommand::Report:
            return fromFile.isEmpty();
        default:
            return true;
    }
}

QString optionsHelpText() {
    QCommandLineParser parser;
    ParserOptions opt;
    opt.addTo(parser);
    const QString all = parser.helpText();
    return all.mid(all.indexOf(QLatin1String("Options:")));
}

}  // namespace velorin
