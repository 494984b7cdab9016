// The boxes the running program shows and the keys that answer them, with the program's Chinese
// button texts (是(Y), 否(N)) as with Qt's own; the program's wait, woken rather than on a clock;
// the connection to a gateway over a real socket on loopback.

#include <gtest/gtest.h>

#include <QLibraryInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QtWidgets>
#include <cstdlib>

#include "platform/EventLoopWait.h"
#include "platform/QtDialogs.h"
#include "platform/QtTcpPort.h"
#include "support/Files.h"

namespace velorin {
namespace {

using namespace std::chrono_literals;

// Presses `button` on the next modal box; `seen` gets "title: text", " (icon)", its buttons.
void answerNextBox(QMessageBox::StandardButton button, std::string& seen) {
    QTimer::singleShot(0, [&seen, button] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen = QString("%1: %2%3, buttons: %4").arg(box->windowTitle(), box->text())
                   .arg(box->icon() == QMessageBox::NoIcon ? "" : " (icon)")
                   .arg(box->buttons().size()).toStdString();
        box->button(button)->click();
    });
}

enum class Box { Question, Cautious, Table };

Answer ask(QtDialogs& dialogs, Box box) {
    if (box == Box::Question)
        return dialogs.question(nullptr, "是否解除禁止反轉?", "反轉設定");
    if (box == Box::Cautious)
        return dialogs.cautiousQuestion(nullptr, "是否放棄這些變更？", "參數未寫入");
    return dialogs.confirmTable(nullptr, "是否寫入？", {"參數", "寫入後"}, {{"P01.06", "1.50"}},
                                "寫入變頻機");
}

TEST(QtDialogs, QuestionShowsItsTitleAndTextAndReportsTheButtonPressed) {
    QtDialogs dialogs;
    std::string seen;
    answerNextBox(QMessageBox::No, seen);
    EXPECT_EQ(ask(dialogs, Box::Question), Answer::No);
    EXPECT_EQ(seen, "反轉設定: 是否解除禁止反轉?, buttons: 2");
}

// Enter answers a plain question Yes, but a question before something that cannot be taken
// back No, and the table box No too: the reset, the ErP warnings and dropping edits once took
// Enter as Yes.
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
            bool shown = false, stuck = false;
            QTimer::singleShot(0, [&, key = key, modifiers = modifiers] {
                QWidget* modal = QApplication::activeModalWidget();
                ASSERT_NE(modal, nullptr);
                shown = true;
                // Through the window, as the system delivers keys: Alt+Y is a shortcut.
                QTest::keyClick(modal->windowHandle(), key, modifiers);
                // A key that did nothing: the box still waits.
                QTimer::singleShot(300, modal, [modal, &stuck] {
                    stuck = true;
                    modal->close();
                });
            });
            EXPECT_EQ(ask(dialogs, box), expected);
            EXPECT_TRUE(shown);
            EXPECT_FALSE(stuck);
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
        EXPECT_EQ(offered, "Data.txt");
        EXPECT_EQ(path, folder.filePath("Backup.txt"));
        EXPECT_EQ(asked.find("Backup.txt") != std::string::npos, exists) << asked;
    }
}

// The box before a write: its rows under the columns' headers (its keys and default are the
// DialogKeys table's).
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
    // An address that never answers (a reserved one, dropped on the way): the connect time ends
    // the try.
    QtTcpPort silent(wait, QStringLiteral("192.0.2.1"), 502, 300ms);
    const Micros t0 = wait.now();
    EXPECT_NE(silent.open(), OpenResult::Ok);
    EXPECT_LT(wait.now() - t0, Micros{2000000});
}

}  // namespace
}  // namespace velorin
