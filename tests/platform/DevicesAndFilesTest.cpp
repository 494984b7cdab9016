// COM numbers for the system's serial devices, kept with their devices for the whole run; what the
// list says of a port, and what a refused open of a device path means to the technician. The
// change log file: a line cut short before, a full disk, and three programs appending at once.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <map>

#include "platform/ChangeLogFile.h"
#include "platform/PortNaming.h"
#include "platform/QtPortProvider.h"
#include "platform/QtSerialPort.h"
#include "support/Files.h"
#include "support/LoggedChanges.h"
#include "support/SmallDisk.h"

#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace velorin;

// "n=device" for every COM number handed out.
static std::string numbers(const ComAssignment& a) {
    QStringList out;
    for (int n = 1; n <= 16; ++n)
        if (!a.deviceOf(n).isEmpty())
            out << QString("%1=%2").arg(n).arg(a.deviceOf(n));
    return out.join(' ').toStdString();
}

TEST(ComAssignment, DevicesKeepTheirNumbersWhileOthersComeAndGo) {
    ComAssignment a;
    a.update({{1, "/dev/ttyUSB0", {}}, {2, "/dev/ttyUSB1", {}}, {3, "/dev/ttyS0", {}}});
    const std::string first = "1=/dev/ttyUSB0 2=/dev/ttyUSB1 3=/dev/ttyS0";
    EXPECT_EQ(numbers(a), first);
    // ttyUSB0 unplugged, the system numbering the rest from 1 again: nothing moves.
    a.update({{1, "/dev/ttyUSB1", {}}, {2, "/dev/ttyS0", {}}});
    EXPECT_EQ(numbers(a), first);
    // A new adapter takes the lowest free number; the old one comes back to its own.
    a.update({{1, "/dev/ttyUSB2", {}}, {2, "/dev/ttyUSB0", {}}});
    EXPECT_EQ(numbers(a), first + " 4=/dev/ttyUSB2");

    // Windows numbers are kept, and a reserved number is never handed to a system port.
    ComAssignment w;
    w.update({{3, "COM3", {}}, {7, "COM7", {}}});
    EXPECT_EQ(w.reserve("模擬變頻機"), 1);
    w.update({{1, "COM1", {}}, {3, "COM3", {}}});
    EXPECT_EQ(numbers(w), "1=模擬變頻機 2=COM1 3=COM3 7=COM7");
}

TEST(PortNaming, UsbAdaptersFirstThenByNameWithNumbersInOrder) {
    const QStringList ordered =
        orderDevices({"/dev/ttyS10", "/dev/ttyS2", "/dev/ttyUSB10", "/dev/pts/3", "/dev/ttyACM0",
                      "/dev/ttyUSB2", "/dev/ttyS2"});
    EXPECT_EQ(ordered, (QStringList{"/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM0", "/dev/pts/3",
                                    "/dev/ttyS2", "/dev/ttyS10"}));
}

TEST(PortNaming, ComNames) {
    for (auto [name, number] : {std::pair{"COM3", 3}, {"com12", 12}, {" COM1 ", 1}})
        EXPECT_EQ(comNumberOf(name), number) << name;
    for (const char* other : {"COM", "COMx", "/dev/ttyUSB0", "COM3 被占用", "LPT1"})
        EXPECT_FALSE(comNumberOf(other)) << other;
}

TEST(PortNaming, ExtraDevicesFollowTheSystemsAndNumbersStopAtSixteen) {
    QStringList extra;
    for (int i = 0; i < 20; ++i) extra << QStringLiteral("/dev/pts/velorin-test-%1").arg(i);
    const auto ports = systemPorts(extra);
    ASSERT_EQ(ports.size(), static_cast<std::size_t>(kComPorts));
    for (std::size_t i = 0; i < ports.size(); ++i) EXPECT_EQ(ports[i].comNumber, int(i) + 1);
    // Whatever the machine has comes first; the extra devices keep their order after it.
    const auto first = std::find_if(ports.begin(), ports.end(), [](const PortName& p) {
        return p.device.startsWith("/dev/pts/velorin-test-");
    });
    ASSERT_NE(first, ports.end());
    EXPECT_EQ(first->device, "/dev/pts/velorin-test-0");
}

#ifndef _WIN32
// "in use" from a live process's lock file, "no permission" from the mode, never by an open.
TEST(PortState, LearnedFromLockFilesAndPermissionsWithoutAnOpen) {
    QTemporaryDir dir;
    const QString device = dir.filePath("ttyUSB7");
    const QString lock = dir.filePath("LCK..ttyUSB7");
    QFile(device).open(QIODevice::WriteOnly);
    const pid_t gone = ::fork();  // a process id that was alive and is no more
    if (gone == 0)
        ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    const qint32 parent = ::getppid();
    const struct {
        QByteArray lockFile;  // empty: none
        PortState state;
    } rows[] = {
        {{}, PortState::Free},
        {QByteArray::number(parent).rightJustified(10, ' ') + '\n', PortState::InUse},
        {QByteArray(reinterpret_cast<const char*>(&parent), 4), PortState::InUse},
        {QByteArray::number(::getpid()) + '\n', PortState::Free},  // our own
        {QByteArray::number(gone) + '\n', PortState::Free},        // stale
        {"garbage\n", PortState::Free},
    };
    for (const auto& row : rows) {
        QFile::remove(lock);
        if (!row.lockFile.isEmpty())
            ASSERT_TRUE(test::writeFile(lock, row.lockFile.toStdString()));
        EXPECT_EQ(portStateOf(device, {dir.path()}), row.state) << row.lockFile.toStdString();
    }
    QFile::setPermissions(device, QFileDevice::ReadOwner);
    if (::geteuid() != 0)
        EXPECT_EQ(portStateOf(device, {dir.path()}), PortState::NoPermission);
}

// The system reports a permission error for anything the user may not open; only a character
// device is a port whose access can be granted.
TEST(OpenError, APermissionErrorOnWhatIsNoDeviceSaysItIsNoSerialPort) {
    QTemporaryDir dir;
    const QString file = dir.filePath("ttyUSB0"), fifo = dir.filePath("fifo");
    QFile(file).open(QIODevice::WriteOnly);
    QFile::setPermissions(file, {});  // a regular file nobody may read or write
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const std::pair<QString, OpenResult> cases[] = {
        {file, OpenResult::Failed},
        {fifo, OpenResult::Failed},
        {dir.path(), OpenResult::Failed},
        {dir.filePath("gone"), OpenResult::NotFound},
        {QStringLiteral("/dev/null"), OpenResult::InUse},  // a device we may use: locked by another
    };
    for (const auto& [device, expected] : cases)
        EXPECT_EQ(classifyOpenError(QSerialPort::PermissionError, device), expected)
            << device.toStdString();
}

TEST(PortNaming, PseudoTerminalKnownByWhatItIsAlsoThroughALink) {
    const int other = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(other >= 0 && ::grantpt(other) == 0 && ::unlockpt(other) == 0);
    const QString pty = QString::fromLocal8Bit(::ptsname(other));
    QTemporaryDir dir;
    const QString toPty = dir.filePath("ttyV0"), toNull = dir.filePath("ttyV1"),
                  plain = dir.filePath("plain");
    ASSERT_TRUE(QFile::link(pty, toPty));
    ASSERT_TRUE(QFile::link("/dev/null", toNull));
    ASSERT_TRUE(test::writeFile(plain, ""));
    const std::pair<QString, bool> cases[] = {  // device, a pseudo-terminal
        {pty, true},     {toPty, true},  {"/dev/null", false},
        {toNull, false}, {plain, false}, {dir.filePath("missing"), false},
    };
    for (const auto& [device, pseudoTerminal] : cases)
        EXPECT_EQ(isPseudoTerminal(device), pseudoTerminal) << device.toStdString();
    ::close(other);
}
#endif

namespace velorin {
namespace {

const LinkState kLink{1, Framing::Ascii, false, 3, "9600,N,7,2"};

std::optional<std::string> record(ChangeLogFile& log, const std::string& command) {
    return log.record(wordChange({"COM3", &kLink, command}, 31, 1, true));
}

std::vector<std::string> commands(const ChangeLogRead& read) {
    std::vector<std::string> out;
    for (const ChangeEntry& e : read.entries) out.push_back(e.command);
    return out;
}

// Every record is whole or absent; a line left cut short gets its end before the next record, and
// a log damaged before that still shows the entries around the damage.
TEST(ChangeLogFile, ARecordIsWholeOrAbsentAndTheLogReadsAroundDamage) {
    QTemporaryDir dir;
    const QString path = dir.filePath("data/changes.log");  // the folder is made on first use
    ChangeLogFile log(path);
    ASSERT_EQ(record(log, "first"), std::nullopt);
    const std::string first = test::fileBytes(path);
    ASSERT_TRUE(test::writeFile(path, first.substr(0, 40), true));  // a record cut short, as a full disk left them before
    ASSERT_EQ(record(log, "second"), std::nullopt);
    ASSERT_TRUE(test::writeFile(path, first.substr(0, 40) + first, true));  // an old log's second record glued to a cut one
    ASSERT_TRUE(test::writeFile(path, "edited by hand\n", true));
    ASSERT_EQ(record(log, "third"), std::nullopt);
    const ChangeLogRead read = readChangeLog(test::fileBytes(path));
    EXPECT_EQ(commands(read), (std::vector<std::string>{"first", "second", "first", "third"}));
    EXPECT_EQ(read.damagedLines, (std::vector<int>{2, 4, 5})) << test::fileBytes(path);
#ifndef _WIN32
    struct stat info {};
    ASSERT_EQ(::stat(path.toLocal8Bit().constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "the log holds the factory unlock codes";
#endif

    test::SmallDisk disk;
    if (!disk.mounted())
        GTEST_SKIP() << "the full-disk case needs root to mount a small tmpfs";
    ChangeLogFile full(QString::fromStdString(disk.path() + "/changes.log"));
    ASSERT_EQ(record(full, "before"), std::nullopt);
    disk.fill();
    // The log's last block takes a few more records; the one that finds the disk full is cut
    // short by the system and taken back.
    std::vector<std::string> kept{"before"};
    std::optional<std::string> failure;
    for (int i = 0; i < 200 && !failure; ++i)
        if (!(failure = record(full, std::to_string(i))))
            kept.push_back(std::to_string(i));
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->find("No space left on device"), std::string::npos) << *failure;
    EXPECT_EQ(record(full, "lost too"), std::nullopt) << "told once";
    EXPECT_EQ(std::pair(full.unrecorded(), full.lastFailure()), std::pair(2L, *failure));
    disk.free();
    ASSERT_EQ(record(full, "after"), std::nullopt);
    kept.push_back("after");
    const ChangeLogRead afterFull = readChangeLog(test::fileBytes(full.path()));
    EXPECT_EQ(commands(afterFull), kept);
    EXPECT_TRUE(afterFull.damagedLines.empty());
}

#ifndef _WIN32
TEST(ChangeLogFile, ThreeProgramsAppendingAtOnceLoseAndSplitNothing) {
    QTemporaryDir dir;
    const QString path = dir.filePath("changes.log");
    constexpr int kRecords = 1000;
    std::vector<pid_t> writers;
    for (const std::string name : {"velorin-cli set", "寫入變頻機", "velorin-cli restore"}) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ChangeLogFile log(path);
            int failed = 0;
            for (int i = 0; i < kRecords; ++i)
                failed += record(log, name + " " + std::to_string(i)).has_value();
            ::_exit(failed);
        }
        writers.push_back(pid);
    }
    for (const pid_t pid : writers) {
        int status = -1;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::map<std::string, int> next;  // each writer's records come in its own order
    for (const ChangeEntry& e : test::loggedChanges(path)) {
        const auto space = e.command.rfind(' ');
        EXPECT_EQ(e.command.substr(space + 1), std::to_string(next[e.command.substr(0, space)]++));
    }
    EXPECT_EQ(next, (std::map<std::string, int>{{"velorin-cli set", kRecords},
                                                {"寫入變頻機", kRecords},
                                                {"velorin-cli restore", kRecords}}));
}
#endif

}  // namespace
}  // namespace velorin
