// COM numbers stay with their devices for the whole run; what the list says of a port, and what
// a refused open of a device path means to the technician.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "platform/QtPortProvider.h"
#include "platform/QtSerialPort.h"
#include "support/Files.h"

#ifndef _WIN32
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
#endif
