#pragma once
// velorin-cli's options as the parser takes them: names, value names and the help line of each.

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>

namespace velorin {

// QCommandLineParser takes "-5" for an option; negative numbers carry this mark through it.
inline const QChar kNegativeMark(0xE000);

inline QString unmark(QString s) {
    return s.remove(kNegativeMark);
}

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
    QCommandLineOption tcp{
        QStringLiteral("tcp"),
        QStringLiteral("Reach the drive through a network gateway at HOST[:PORT] "
                       "(port 502 unless given) instead of --port."),
        QStringLiteral("HOST[:PORT]")};
    QCommandLineOption framing{
        QStringLiteral("framing"),
        QStringLiteral("With --tcp: mbap (Modbus TCP, the default: the gateway translates), rtu "
                       "or ascii (the gateway passes the serial frames through)."),
        QStringLiteral("FRAMING")};
    QCommandLineOption connectTimeout{
        QStringLiteral("connect-timeout"),
        QStringLiteral("With --tcp: how long to wait for the connection, 100..60000 ms "
                       "(default 3000)."),
        QStringLiteral("MS")};
    QCommandLineOption allowLinkChange{
        QStringLiteral("allow-link-change"),
        QStringLiteral("With --tcp: write the drive's station, rate or format (P15.00-P15.02) or "
                       "a P17.08 reset through the gateway, which must then be set to follow.")};
    QCommandLineOption station{QStringLiteral("station"),
                               QStringLiteral("The drive's station, 1..254 (default 1)."),
                               QStringLiteral("N")};
    QCommandLineOption stations{
        QStringLiteral("stations"),
        QStringLiteral("scan, survey: the stations to try, A-B or A (default 1-254, survey "
                       "1-247); backup, restore: the drives, a list such as 1-12 or 1-3,5,9, "
                       "FILE then their folder."),
        QStringLiteral("LIST")};
    QCommandLineOption timeout{
        QStringLiteral("timeout"),
        QStringLiteral("How long to wait for each reply, counted from the end of the request, "
                       "%1..%2 ms (default %3).")
            .arg(kMinReplyTimeoutMs)
            .arg(kMaxReplyTimeoutMs)
            .arg(kDefaultReplyTimeoutMs),
        QStringLiteral("MS")};
    QCommandLineOption blockReads{
        QStringLiteral("block-reads"),
        QStringLiteral("Read pages in blocks of registers where the drive reads them right "
                       "(checked against single reads first).")};
    QCommandLineOption verifyReads{
        QStringLiteral("verify-reads"),
        QStringLiteral("Accepted for scripts written for earlier versions: every read is "
                       "checked this way now (a value like another register's recent reply "
                       "counts once a further read agrees).")};
    QCommandLineOption signedValues{
        QStringLiteral("signed"),
        QStringLiteral("Show values as 16-bit two's complement (-32768..32767) instead of "
                       "0..65535.")};
    QCommandLineOption trace{QStringLiteral("trace"),
                             QStringLiteral("Print every frame sent and received to stderr, with "
                                            "its time and the check of the reply.")};
    QCommandLineOption format{QStringLiteral("format"),
                              QStringLiteral("get, diff, catalogue, faults: text (the default), "
                                             "csv or json."),
                              QStringLiteral("FORMAT")};
    QCommandLineOption raw{QStringLiteral("raw"),
                           QStringLiteral("get: print the raw register values.")};
    QCommandLineOption pages{QStringLiteral("pages"),
                             QStringLiteral("backup: the pages to read, e.g. P00,P03,P15 "
                                            "(default: every page P00-P17-1)."),
                             QStringLiteral("LIST")};
    QCommandLineOption dryRun{QStringLiteral("dry-run"),
                              QStringLiteral("restore: print the writes it would send and "
                                             "send none.")};
    QCommandLineOption changedOnly{QStringLiteral("changed-only"),
                                   QStringLiteral("restore: read the file's pages from the drive "
                                                  "and write only the parameters that differ.")};
    QCommandLineOption forceRunning{QStringLiteral("force-running"),
                                    QStringLiteral("set, restore: write even while the motor "
                                                   "runs.")};
    QCommandLineOption allowReset{QStringLiteral("allow-reset"),
                                  QStringLiteral("set, restore: write a P17.08 value of 2..7, "
                                                 "which resets the drive to its factory values "
                                                 "and its link to 9600,N,7,2, station 1.")};
    QCommandLineOption strict{QStringLiteral("strict"),
                              QStringLiteral("set, restore: write nothing when the drive would "
                                             "answer with ErP1, ErP2 or ErP3.")};
    QCommandLineOption force{QStringLiteral("force"),
                             QStringLiteral("restore: write a file whose SHA-256 no longer "
                                            "matches its sidecar (edited or damaged).")};
    QCommandLineOption forceModel{QStringLiteral("force-model"),
                                  QStringLiteral("restore: write a file whose sidecar names "
                                                 "another drive model.")};
    QCommandLineOption lenient{QStringLiteral("lenient"),
                               QStringLiteral("restore, diff: go on with a parameter file whose "
                                              "unreadable lines are left out.")};
    QCommandLineOption find{QStringLiteral("find"),
                            QStringLiteral("catalogue: the parameters a code (P09.15, 9.15), a "
                                           "register (#261) or part of a name names."),
                            QStringLiteral("QUERY")};
    QCommandLineOption drive{QStringLiteral("drive"),
                             QStringLiteral("diff: the drive is the first set (the default "
                                            "without FILE).")};
    QCommandLineOption against{QStringLiteral("against"),
                               QStringLiteral("diff, report: compare with this parameter "
                                              "file."),
                               QStringLiteral("FILE")};
    QCommandLineOption from{QStringLiteral("from"),
                            QStringLiteral("report: the parameter set of this backup instead of "
                                           "the drive's (no port needed)."),
                            QStringLiteral("FILE")};
    QCommandLineOption factory{QStringLiteral("factory"),
                               QStringLiteral("diff: compare with the factory values.")};
    QCommandLineOption all{QStringLiteral("all"),
                           QStringLiteral("diff: print every parameter compared, not only "
                                          "those that differ. backup: every drive a survey "
                                          "finds, FILE then their folder.")};
    QCommandLineOption since{QStringLiteral("since"),
                             QStringLiteral("log: only the writes since DATE (local time: "
                                            "2026-12-01 or 2026-12-01T08:30)."),
                             QStringLiteral("DATE")};
    QCommandLineOption noLog{QStringLiteral("no-log"),
                             QStringLiteral("write, set, restore: leave the writes out of the "
                                            "change log.")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Show this help.")};
    QCommandLineOption version{QStringLiteral("version"), QStringLiteral("Show the version.")};

    void addTo(QCommandLineParser& parser) const {
        parser.addOptions(
            {port,           settings,   station, stations,   timeout,     signedValues,
             trace,          format,     raw,     pages,      dryRun,      changedOnly,
             forceRunning,   allowReset, strict,  lenient,    find,        drive,
             against,        factory,    all,     blockReads, verifyReads, since,
             noLog,          help,       version, tcp,        framing,     connectTimeout,
             allowLinkChange, force,     forceModel, from});
    }
};

}  // namespace velorin
