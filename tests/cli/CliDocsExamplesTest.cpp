// Every velorin-cli command in the code blocks of README.md and docs/cli.md, run against the
// simulated drive: none may be a usage error or name a port that cannot be opened, and where the
// docs show what a command prints (a "$ " line and the lines under it), it prints that.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <map>

#include "CliSim.h"

namespace velorin {
namespace {

using namespace ::testing;
using namespace velorin::test;

struct Example {
    QString where;      // "docs/cli.md:412"
    QString command;    // the words after velorin-cli, shell variables still in them
    QStringList shown;  // what the docs show it printing; empty when they show nothing
    QString block;      // the code block it is in: "docs/cli.md#12"
};

// The velorin-cli commands of the code blocks of one file, in order.
std::vector<Example> examplesIn(const QString& name) {
    QFile file(QStringLiteral(VELORIN_SOURCE_DIR "/") + name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    std::vector<Example> found;
    bool inBlock = false, showing = false;
    int block = 0;
    // A command, not the program's name inside what a command printed ("velorin-cli 1.0").
    static const QRegularExpression command(
        QStringLiteral("(?<![\\w\"-])velorin-cli ((?:\\$\\([^)]*\\)|[^&|;>)])+)"));
    for (int n = 0; n < lines.size(); ++n) {
        const QString line = lines[n];
        if (line.startsWith(QLatin1String("```"))) {
            inBlock = !inBlock;
            showing = false;
            block += inBlock;
            continue;
        }
        if (!inBlock)
            continue;
        const bool prompt = line.startsWith(QLatin1String("$ "));
        if (showing && !prompt) {
            found.back().shown << line;
            continue;
        }
        QString code = line;
        code.remove(QRegularExpression(QStringLiteral("\\s+#.*$")));
        if (code.trimmed().startsWith('#'))
            continue;
        if (code.contains(QLatin1String("<command>")))
            continue;  // the synopsis, no example
        for (auto it = command.globalMatch(code); it.hasNext();) {
            const QString words = it.next().captured(1).trimmed();
            found.push_back({QStringLiteral("%1:%2").arg(name).arg(n + 1), words, {},
                             QStringLiteral("%1#%2").arg(name).arg(block)});
        }
        showing =
            prompt && !found.empty() && found.back().where.endsWith(QString(":%1").arg(n + 1));
    }
    return found;
}

// The words with the shell's variables and command substitutions of the examples filled in.
QString expanded(QString words, const std::map<QString, QString>& variables) {
    words.replace(QStringLiteral("$(seq 96 111)"), QStringLiteral("96 97 98 99 100 101 102 103 104 "
                                                                  "105 106 107 108 109 110 111"));
    for (const auto& [name, value] : variables) {
        words.replace(QStringLiteral("\"$%1\"").arg(name), value);
        words.replace(QStringLiteral("$%1").arg(name), value);
    }
    return words;
}

// Printed lines as the docs show them, in order: progress and trace times, which depend on the
// line, left out.
QStringList comparable(QStringList lines) {
    lines.removeIf([](const QString& l) { return l.startsWith(QLatin1String("reading page")); });
    lines.replaceInStrings(QRegularExpression(QStringLiteral("^\\[ *[0-9.]+\\]")),
                           QStringLiteral("[t]"));
    lines.sort();
    return lines;
}

TEST(CliDocsExamples, EveryExampleRunsAndPrintsWhatTheDocsShow) {
    std::vector<Example> examples = examplesIn(QStringLiteral("README.md"));
    const std::vector<Example> guide = examplesIn(QStringLiteral("docs/cli.md"));
    examples.insert(examples.end(), guide.begin(), guide.end());
    ASSERT_GE(examples.size(), 15u);

    QTemporaryDir work;  // the files the examples write (reference.txt, backup.txt)
    const QString before = QDir::currentPath();
    QDir::setCurrent(work.path());
    std::unique_ptr<SimEnvironment> env;
    QString lastBlock;
    std::map<QString, QString> variables{{"reg", "96"}, {"value", "0"}, {"pty", "COM3"}};
    for (const Example& example : examples) {
        SCOPED_TRACE(example.where.toStdString() + ": " + example.command.toStdString());
        // Each code block starts with a drive at its factory settings.
        if (!env || example.block != lastBlock)
            env = std::make_unique<SimEnvironment>();
        lastBlock = example.block;
        QStringList words = expanded(example.command, variables).split(' ', Qt::SkipEmptyParts);
        for (QString& w : words)
            if (w.startsWith(QLatin1String("/dev/pts/")))
                w = QStringLiteral("COM3");
        // The drive answers with the settings and station the command names, unless the docs
        // show it silent.
        const auto option = [&words](const char* name, const char* other, const char* given) {
            const qsizetype at = std::max(words.indexOf(name), words.indexOf(other));
            return at >= 0 && at + 1 < words.size() ? words[at + 1].toUpper().toStdString()
                                                    : std::string(given);
        };
        const std::string settings = option("-s", "--settings", "9600,N,7,2");
        if (!example.shown.join('\n').contains(QLatin1String("no reply")) &&
            !words.contains(QLatin1String("scan")))
            env->drive.setLink(std::stoi(option("--station", "--station", "1")),
                               *rateIndexOf(settings), *formatIndexOf(settings));
        // A gateway's address is the reader's own; the in-process drive has no network.
        const bool network = words.contains(QLatin1String("--tcp"));
        // The fault history shown is a drive's with a past; a fresh simulated drive has none.
        const bool history =
            words.contains(QLatin1String("faults")) || words.contains(QLatin1String("report"));
        const Outcome r = cli(*env, words.join(' '));
        EXPECT_NE(r.code, 2) << r.err;  // usage error
        if (!network)
            EXPECT_NE(r.code, 3) << r.err;  // a port that cannot be opened
        if (!example.shown.isEmpty() && !history) {
            const QString printed = QString::fromStdString(r.out + r.err);
            EXPECT_EQ(comparable(printed.split('\n', Qt::SkipEmptyParts)).join('\n').toStdString(),
                      comparable(example.shown).join('\n').toStdString());
        }
        // What a command prints as "name=value" words is there for the next (eval).
        for (const QString& word : QString::fromStdString(r.out).split(QRegularExpression("\\s+")))
            if (word.contains('='))
                variables[word.section('=', 0, 0)] = word.section('=', 1);
    }
    QDir::setCurrent(before);
}

}  // namespace
}  // namespace velorin
