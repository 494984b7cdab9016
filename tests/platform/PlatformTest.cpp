// The platform pieces: port numbers and names, the change log file, the boxes and their keys, the
// wait and the TCP port.

#include <gtest/gtest.h>

#include <QLibraryInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QtWidgets>
#include <algorithm>
#include <cstdlib>
#include <map>

#include "platform/ChangeLogFile.h"
#include "platform/EventLoopWait.h"
#include "platform/PortNaming.h"
#include "platform/QtDialogs.h"
#include "platform/QtPortProvider.h"
#include "platform/QtSerialPort.h"
#include "platform/QtTcpPort.h"
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

namespace velorin {
namespace {

using namespace std::chrono_literals;

// "n=device" for every COM number handed out.
std::string numbers(const ComAssignment& a) {
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
    // Reached through a link, the device is known by its own lock.
    const QString byId = dir.filePath("usb-FTDI-if00");
    ASSERT_TRUE(QFile::link(device, byId) && test::writeFile(lock, std::to_string(parent) + "\n"));
    EXPECT_EQ(portStateOf(byId, {dir.path()}), PortState::InUse);
    QFile::setPermissions(device, QFileDevice::ReadOwner);
    if (::geteuid() != 0)
        EXPECT_EQ(portStateOf(device, {dir.path()}), PortState::NoPermission);
}

// Only a character device is a port whose access can be granted.
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

    // Held through the link, the device is in use by its own name too (both opens once went
    // through, each with a lock of its own name).
    EventLoopWait wait;
    QtSerialPort held(wait, toPty), again(wait, pty);
    ASSERT_TRUE(held.setSettings("9600,N,8,1") && again.setSettings("9600,N,8,1"));
    ASSERT_EQ(held.open(), OpenResult::Ok);
    EXPECT_EQ(again.open(), OpenResult::InUse);
    ::close(other);
}
#endif

const LinkState kLink{1, Framing::Ascii, false, 3, "9600,N,7,2"};

std::optional<std::string> record(ChangeLogFile& log, const std::string& command) {
    return log.record(wordChange({"COM3", &kLink, command}, 31, 1, true));
}

std::vector<std::string> commands(const ChangeLogRead& read) {
    std::vector<std::string> out;
    for (const ChangeEntry& e : read.entries) out.push_back(e.command);
    return out;
}

// A line left cut short gets its end before the next record.
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

// Presses `button` on the next modal box; `seen` gets its text.
void answerNextBox(QMessageBox::StandardButton button, std::string& seen) {
    QTimer::singleShot(0, [&seen, button] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen = box->text().toStdString();
        box->button(button)->click();
    });
}

enum class Box { Question, Cautious, Table };
const std::string kTitles[] = {"反轉設定", "參數未寫入", "寫入變頻機"};  // by Box

Answer ask(QtDialogs& dialogs, Box box) {
    const QString title = QString::fromStdString(kTitles[int(box)]);
    if (box == Box::Question)
        return dialogs.question(nullptr, "是否解除禁止反轉?", title);
    if (box == Box::Cautious)
        return dialogs.cautiousQuestion(nullptr, "是否放棄這些變更？", title);
    return dialogs.confirmTable(nullptr, "是否寫入？", {"參數", "寫入後"}, {{"P01.06", "1.50"}},
                                title);
}

// Enter answers a plain question Yes, a cautious one and the table box No: the reset, the ErP
// warnings and dropping edits once took Enter as Yes.
TEST(DialogKeys, YAndNAnswerEveryBoxWithOrWithoutAltAndEnterOnlyAPlainQuestion) {
    QTranslator qtTexts;
    const bool chinese =
        qtTexts.load("qtbase_zh_TW", QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    const std::tuple<Box, Qt::Key, Qt::KeyboardModifiers, Answer> cases[] = {
        {Box::Question, Qt::Key_Y, Qt::NoModifier, Answer::Yes},
        {Box::Question, Qt::Key_N, Qt::NoModifier, Answer::No},
        {Box::Question, Qt::Key_Y, Qt::AltModifier, Answer::Yes},
        {Box::Cautious, Qt::Key_Y, Qt::NoModifier, Answer::Yes},
        {Box::Cautious, Qt::Key_N, Qt::AltModifier, Answer::No},
        {Box::Table, Qt::Key_Y, Qt::NoModifier, Answer::Yes},
        {Box::Table, Qt::Key_N, Qt::NoModifier, Answer::No},
        {Box::Table, Qt::Key_Y, Qt::AltModifier, Answer::Yes},
        {Box::Question, Qt::Key_Return, Qt::NoModifier, Answer::Yes},
        {Box::Cautious, Qt::Key_Return, Qt::NoModifier, Answer::No},
        {Box::Table, Qt::Key_Return, Qt::NoModifier, Answer::No},
    };
    for (bool translated : {false, true}) {
        if (translated && !chinese)
            continue;
        if (translated)
            QApplication::installTranslator(&qtTexts);
        for (const auto& [box, key, modifiers, expected] : cases) {
            SCOPED_TRACE(testing::Message()
                         << "box " << int(box) << " key " << char(key) << " alt "
                         << (modifiers == Qt::AltModifier) << " zh " << translated);
            QtDialogs dialogs;
            std::string shown;  // the box's title
            bool stuck = false;
            QTimer::singleShot(0, [&, key = key, modifiers = modifiers] {
                QWidget* modal = QApplication::activeModalWidget();
                ASSERT_NE(modal, nullptr);
                shown = modal->windowTitle().toStdString();
                // Through the window, as the system delivers keys: Alt+Y is a shortcut.
                QTest::keyClick(modal->windowHandle(), key, modifiers);
                // A key that did nothing: the box still waits.
                QTimer::singleShot(300, modal, [modal, &stuck] {
                    stuck = true;
                    modal->close();
                });
            });
            const Answer answer = ask(dialogs, box);
            EXPECT_EQ(std::tuple(answer, shown, stuck),
                      std::tuple(expected, kTitles[int(box)], false));
        }
        QApplication::removeTranslator(&qtTexts);
    }
}

TEST(QtDialogs, SaveDialogAddsTheExtensionAndAsksBeforeReplacing) {
    QTemporaryDir folder;
    QtDialogs dialogs;
    const QString filter = "Text Files (*.txt);;All Files (*.*)";
    for (bool exists : {false, true}) {
        if (exists)
            ASSERT_TRUE(test::writeFile(folder.filePath("Backup.txt"), ""));
        QString offered;
        std::string asked;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            offered = name->text();
            name->setText("Backup");
            if (exists)
                answerNextBox(QMessageBox::Yes, asked);
            static_cast<QDialog*>(dialog)->accept();
        });
        const auto path = dialogs.saveFile(nullptr, "參數儲存", folder.path(), "Data.txt", filter);
        EXPECT_EQ(std::tuple(offered, path, asked.find("Backup.txt") != std::string::npos),
                  std::tuple(QString("Data.txt"), folder.filePath("Backup.txt"), exists))
            << asked;
    }
}

// Its keys and default are the DialogKeys table's.
TEST(QtDialogs, TableBoxShowsItsRows) {
    QtDialogs dialogs;
    QTranslator qtTexts;  // the README's picture speaks the program's language, as it runs
    if (std::getenv("VELORIN_SCREENSHOT_DIR") &&
        qtTexts.load("qtbase_zh_TW", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    QStringList shown;
    QTimer::singleShot(0, [&shown] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        auto* table = box->findChild<QTableWidget*>();
        ASSERT_NE(table, nullptr);
        shown << box->windowTitle() << table->horizontalHeaderItem(3)->text()
              << table->item(1, 0)->text() << table->item(1, 3)->text();
        if (const char* dir = std::getenv("VELORIN_SCREENSHOT_DIR"))
            box->grab().save(QString::fromLocal8Bit(dir) + "/writePreview.png");
        box->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Yes)->click();
    });
    EXPECT_EQ(dialogs.confirmTable(
                  nullptr, "寫入將變更變頻機的 2 項參數。是否寫入？", {"參數", "名稱", "變頻機的值", "寫入後"},
                  {{"P00.02", "監看變數LPF時間", "6", "7"}, {"P01.06", "起動轉速", "0.00", "1.50"}},
                  "寫入變頻機"),
              Answer::Yes);
    EXPECT_EQ(shown, (QStringList{"寫入變頻機", "寫入後", "P01.06", "1.50"}));
    QApplication::removeTranslator(&qtTexts);
}

TEST(EventLoopWait, TimersFireDuringTheWaitAndAWakeEndsItEarly) {
    EventLoopWait wait;
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        wait.wakeNow();  // as a port does when bytes arrive
    });
    timer.start(5);
    const Micros t0 = wait.now();
    EXPECT_FALSE(wait.wait(60ms));
    EXPECT_GE(wait.now() - t0, Micros{60000});
    EXPECT_GT(ticks, 2) << "events are processed while waiting";

    const Micros t1 = wait.now();
    EXPECT_TRUE(wait.wait(5s, [&] { return ticks >= 20; }));
    EXPECT_LT(wait.now() - t1, Micros{2000000});
}

TEST(EventLoopWait, TheConditionIsAskedOnWakesNotOnAClock) {
    EventLoopWait wait;
    QTimer quiet;  // events that announce nothing for the line
    QObject::connect(&quiet, &QTimer::timeout, [] {});
    quiet.start(2);
    int asked = 0;
    EXPECT_FALSE(wait.wait(50ms, [&] {
        ++asked;
        return false;
    }));
    EXPECT_LE(asked, 2) << "once at the start and once at the deadline";

    // A wake from inside a nested wait also ends the outer wait once the inner one is over.
    bool outerDone = false, innerDone = false;
    QTimer::singleShot(5, [&] {
        QTimer::singleShot(5, [&] {
            outerDone = true;
            wait.wakeNow();
        });
        wait.wait(20ms, [&] { return innerDone; });
    });
    const Micros t0 = wait.now();
    EXPECT_TRUE(wait.wait(2s, [&] { return outerDone; }));
    EXPECT_LT(wait.now() - t0, Micros{1000000});
}

TEST(QtTcpPort, CarriesBytesAndADroppedConnectionIsALostPort) {
    EventLoopWait wait;
    QTcpServer gateway;
    ASSERT_TRUE(gateway.listen(QHostAddress::LocalHost));
    QtTcpPort port(wait, QStringLiteral("127.0.0.1"), gateway.serverPort());
    EXPECT_EQ(std::tuple(port.deviceName(), port.isNetwork(), port.carriesWireTime()),
              std::tuple("127.0.0.1:" + std::to_string(gateway.serverPort()), true, false));
    ASSERT_EQ(port.open(), OpenResult::Ok);
    ASSERT_TRUE(wait.wait(2s, [&] { return gateway.hasPendingConnections(); }));
    QTcpSocket* far = gateway.nextPendingConnection();

    // Stale bytes are dropped before a request; what comes after it is taken.
    far->write("stale");
    far->flush();
    wait.wait(50ms);
    port.discardInput();
    const std::uint8_t request[] = {0, 1, 0, 0, 0, 6, 1, 3, 0, 0, 0, 1};
    ASSERT_TRUE(port.send(request));
    ASSERT_TRUE(wait.wait(2s, [&] { return far->bytesAvailable() >= 12; }));
    EXPECT_EQ(far->readAll(), QByteArray(reinterpret_cast<const char*>(request), 12));
    far->write("reply");
    std::vector<std::uint8_t> got;
    wait.wait(2s, [&] {
        const auto more = port.take();
        got.insert(got.end(), more.begin(), more.end());
        return got.size() >= 5;
    });
    EXPECT_EQ(std::string(got.begin(), got.end()), "reply");

    far->close();  // the gateway drops the connection
    EXPECT_TRUE(wait.wait(2s, [&] { return !port.isOpen(); }));
    EXPECT_FALSE(port.send(request));
    // Opened again: a new connection.
    EXPECT_EQ(port.open(), OpenResult::Ok);
    EXPECT_TRUE(port.isOpen());
}

TEST(QtTcpPort, ARefusedOrSilentAddressFailsWithinTheConnectTime) {
    EventLoopWait wait;
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 nobody = closed.serverPort();
    closed.close();  // nobody listens there now
    QtTcpPort refused(wait, QStringLiteral("127.0.0.1"), nobody);
    EXPECT_EQ(refused.open(), OpenResult::Failed);
    EXPECT_FALSE(refused.isOpen());
    // A reserved address that never answers: the connect time ends the try.
    QtTcpPort silent(wait, QStringLiteral("192.0.2.1"), 502, 300ms);
    const Micros t0 = wait.now();
    EXPECT_NE(silent.open(), OpenResult::Ok);
    EXPECT_LT(wait.now() - t0, Micros{2000000});
}

}  // namespace
}  // namespace velorin
