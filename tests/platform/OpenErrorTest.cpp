// What a refused open of a device path means to the technician. The system reports a permission
// error for anything the user may not open; only a character device is a port whose access can
// be granted.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/QtSerialPort.h"

namespace velorin {
namespace {

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

}  // namespace
}  // namespace velorin
