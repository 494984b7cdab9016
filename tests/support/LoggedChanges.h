#pragma once
// The entries of a change log file, in order; a line that is not one fails the test.

#include <gtest/gtest.h>

#include <QFile>
#include <string>
#include <vector>

#include "records/ChangeLog.h"

namespace velorin::test {

inline std::vector<ChangeEntry> loggedChanges(const QString& path) {
    std::vector<ChangeEntry> entries;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        while (!file.atEnd()) {
            const QByteArray line = file.readLine();
            const auto entry = parseChangeLogLine(line.toStdString());
            EXPECT_TRUE(entry) << line.toStdString();
            if (entry)
                entries.push_back(*entry);
        }
    return entries;
}

// An entry in short, where it went left out: "P01.06 0>1234 0.00>12.34 已確認 寫入變頻機" (an
// unknown value before is empty).
inline std::string shortChange(const ChangeEntry& e) {
    return e.code + " " + (e.oldRaw ? std::to_string(*e.oldRaw) : "") + ">" +
           std::to_string(e.newRaw) + " " + e.oldShown + ">" + e.newShown + " " +
           (e.confirmed ? kConfirmedText : kNotConfirmedText) + " " + e.command;
}

inline std::vector<std::string> shortChanges(const QString& path) {
    std::vector<std::string> lines;
    for (const ChangeEntry& e : loggedChanges(path)) lines.push_back(shortChange(e));
    return lines;
}

}  // namespace velorin::test
