// backup and restore of several drives of one line: --stations LIST (backup also --all, after a
// survey), FILE then the folder of their files. A drive that fails is named in the summary and
// the others go on; the exit status is 0 only when every drive succeeded.

#include <QDateTime>
#include <algorithm>
#include <filesystem>

#include "Commands.h"
#include "drive/LineBackup.h"
#include "platform/QtText.h"
#include "texts/EditorWords.h"
#include "platform/SafeFile.h"
#include "CliTexts.h"
#include "texts/FileTexts.h"

#ifndef VELORIN_VERSION
#define VELORIN_VERSION "0"
#endif

namespace velorin {

namespace {

namespace fs = std::filesystem;

QString pathText(const fs::path& path) {
    return QString::fromStdString(path.string());
}

QString stationText(const std::vector<std::uint8_t>& stations) {
    QStringList words;
    for (std::uint8_t s : stations) words << QString::number(s);
    return words.join(QLatin1Char(','));
}

// How a drive's backup ended, in a word or two.
QString outcomeWord(DriveBackupOutcome::Kind kind) {
    using K = DriveBackupOutcome::Kind;
    switch (kind) {
        case K::Saved:
            return QStringLiteral("saved");
        case K::Silent:
            return QStringLiteral("no answer");
        case K::ReadFailed:
            return QStringLiteral("read failed");
        case K::NotWritten:
            return QStringLiteral("not written");
        case K::Stopped:
            return QStringLiteral("stopped");
        case K::NotReached:
            return QStringLiteral("not reached");
        case K::PortLost:
            return QStringLiteral("port lost");
    }
    return {};
}

// A summary line on stdout.
QString backupLine(const DriveBackupOutcome& o) {
    using K = DriveBackupOutcome::Kind;
    QString line = QStringLiteral("station %1: %2").arg(o.station).arg(outcomeWord(o.kind));
    if (o.kind == K::Saved) {
        line += QStringLiteral(" %1 (%2 parameters)").arg(pathText(o.file)).arg(o.parameters);
        if (!o.sidecarFailure.empty())
            line += QStringLiteral("; no sidecar: ") + clitext::oneLine(o.sidecarFailure);
        return line;
    }
    if (o.unreadRegister >= 0)
        line += QStringLiteral(": ") + qs(pageReadFailed(o.unreadRegister));
    else if (!o.detail.empty())
        line += QStringLiteral(": ") + clitext::oneLine(o.detail);
    if (o.kind != K::NotReached)
        line += QStringLiteral("; nothing written");
    return line;
}

// Whether `folder` can take the files; an exit status after the message when it cannot.
std::optional<QString> folderRefusal(const fs::path& folder) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        return QStringLiteral("%1 is no folder; nothing was done").arg(pathText(folder));
    return std::nullopt;
}

}  // namespace

int BackupCommand::backUpMany() {
    const fs::path folder = m_request.file.toStdString();
    // A folder not there yet is made, as a file not there yet would be.
    std::error_code ec;
    if (!fs::exists(folder, ec) && !fs::create_directories(folder, ec) && ec) {
        error(QStringLiteral("%1: the folder cannot be made: %2; nothing was read")
                  .arg(pathText(folder), QString::fromStdString(ec.message())));
        return exitCode(CliExit::Refused);
    }
    if (const auto why = folderRefusal(folder)) {
        error(*why);
        return exitCode(CliExit::Refused);
    }
    const QDateTime now = QDateTime::currentDateTime();
    BackupStamp stamp;
    stamp.day = now.toString(QStringLiteral("yyyyMMdd")).toStdString();
    stamp.date = now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate).toStdString();
    stamp.program = "velorin-cli " VELORIN_VERSION;
    // A folder that cannot be written is told before any drive is read.
    if (const auto refusal = targetRefusal(folder / backupFileName({1, std::nullopt, stamp.day}))) {
        error(clitext::writeFaultLine(*refusal));
        return exitCode(CliExit::Refused);
    }

    std::vector<std::uint8_t> stations = m_request.stationList;
    if (m_request.allStations) {
        int openStatus = 0;
        const SurveyResult surveyed = surveyLine(openStatus);
        if (int c = surveyFailure(surveyed, openStatus))
            return c;
        for (const SurveyedDrive& d : surveyed.drives) stations.push_back(d.station);
        if (surveyed.end == ConnectResult::End::Stopped) {
            error(QStringLiteral("the survey stopped (drives found before: %1); nothing was "
                                 "backed up")
                      .arg(stationText(stations)));
            return interrupted();
        }
        m_console.line(QStringLiteral("%1 drives found at %2: stations %3")
                           .arg(stations.size())
                           .arg(QString::fromStdString(surveyed.link.settings))
                           .arg(stationText(stations)));
    } else if (int c = openLine(m_request.settings)) {
        return c;
    }

    m_line->setBeforeTransaction([this](FunctionCode, std::uint16_t, std::uint16_t) {
        checked({});
        if (m_env.stopRequested())
            m_line->stop();
    });
    LineBackupHooks hooks;
    hooks.save = [](const fs::path& path, std::string_view bytes) {
        const auto failure = writeFileSafely(path, bytes);
        return failure ? std::optional(describeWriteFault(*failure)) : std::nullopt;
    };
    hooks.progress = [this](const DriveBackupProgress& p) {
        const QString drive =
            QStringLiteral("station %1 (%2 of %3)").arg(p.station).arg(p.drive + 1).arg(p.drives);
        if (p.page < 0)
            m_console.line(QStringLiteral("backing up ") + drive);
        else if (m_console.terminal())
            m_console.live(QStringLiteral("%1: reading page %2 (%3 of %4)")
                               .arg(drive, qs(Catalogue::instance().page(p.page).caption))
                               .arg(p.pageNumber)
                               .arg(p.pageCount));
    };
    hooks.driveDone = [this](const DriveBackupOutcome& o) {
        m_console.endLive();
        m_out << backupLine(o) << '\n';
        m_out.flush();
    };
    hooks.stopRequested = [this] { return m_env.stopRequested(); };
    std::vector<DriveBackupOutcome> outcomes;
    m_line->submit([&] {
        outcomes = LineBackup(*m_line, hooks).run(stations, m_request.pages, folder, stamp);
    });
    m_console.endLive();

    const auto saved = std::count_if(outcomes.begin(), outcomes.end(),
                                     [](const DriveBackupOutcome& o) { return o.ok(); });
    QStringList failed;
    for (const DriveBackupOutcome& o : outcomes)
        if (!o.ok())
            failed << QString::number(o.station);
    m_console.line(QStringLiteral("%1 of %2 drives backed up in %3%4")
                       .arg(saved)
                       .arg(outcomes.size())
                       .arg(pathText(folder))
                       .arg(failed.isEmpty() ? QString()
                                             : QStringLiteral("; not backed up: station ") +
                                                   failed.join(QStringLiteral(", "))));
    if (m_line->portLost())
        return portLost(QStringLiteral("the drives after it were not backed up"));
    if (m_env.stopRequested())
        return interrupted();
    m_line->close();
    return exitCode(failed.isEmpty() ? CliExit::Ok : CliExit::SomeDrivesFailed);
}

int RestoreCommand::restoreMany() {
    const fs::path folder = m_request.file.toStdString();
    if (const auto why = folderRefusal(folder)) {
        error(*why);
        return exitCode(CliExit::Refused);
    }
    const auto& stations = m_request.stationList;
    QStringList summary;
    QStringList failed;
    int ended = 0;  // the status that ended the run early: Ctrl+C, a port that cannot be used
    int restored = 0;
    for (std::size_t i = 0; i < stations.size(); ++i) {
        const std::uint8_t station = stations[i];
        const QString head = QStringLiteral("station %1: ").arg(station);
        if (ended == 0 && m_env.stopRequested())
            ended = 128 + m_env.stopSignal();
        if (ended != 0) {
            summary << head + QStringLiteral("not reached");
            failed << QString::number(station);
            continue;
        }
        const auto file = latestBackupOf(folder, station);
        if (!file) {
            summary << head + QStringLiteral("no file %1 in %2; nothing written")
                                  .arg(QString::fromStdString(
                                           backupFileName({station, std::nullopt, "YYYYMMDD"}))
                                           .replace(QStringLiteral("_M_"), QStringLiteral("_M*_")),
                                       pathText(folder));
            failed << QString::number(station);
            continue;
        }
        m_console.line(QStringLiteral("restoring station %1 (%2 of %3) from %4")
                           .arg(station)
                           .arg(i + 1)
                           .arg(stations.size())
                           .arg(pathText(*file)));
        CliRequest one = m_request;
        one.stationList.clear();
        one.station = station;
        one.file = pathText(*file);
        one.fileModel = parseBackupFileName(file->filename().string())->model;
        int code = 0;
        {
            // The drive's own restore, as `restore FILE --station N` runs it.
            RestoreCommand drive(one, m_env, m_out, m_console.stream());
            if (m_trace)
                drive.m_trace.emplace(drive);
            code = drive.run();
        }
        if (code == 0) {
            ++restored;
            summary << head + QStringLiteral("restored from ") + pathText(*file);
            continue;
        }
        failed << QString::number(station);
        summary
            << head +
                   QStringLiteral("failed (exit status %1) with %2").arg(code).arg(pathText(*file));
        if (code == exitCode(CliExit::PortUnusable) || code > 128)
            ended = code;
    }
    for (const QString& line : summary) m_out << line << '\n';
    m_out.flush();
    m_console.line(QStringLiteral("%1 of %2 drives restored%3")
                       .arg(restored)
                       .arg(stations.size())
                       .arg(failed.isEmpty() ? QString()
                                             : QStringLiteral("; not restored: station ") +
                                                   failed.join(QStringLiteral(", "))));
    if (ended != 0)
        return ended;
    return exitCode(failed.isEmpty() ? CliExit::Ok : CliExit::SomeDrivesFailed);
}

}  // namespace velorin
