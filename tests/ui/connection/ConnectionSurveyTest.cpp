// 搜尋所有站號 on a line of three drives: exactly the three, in order, with one answering later
// than the reply wait and silent stations between them; Esc keeps the drives found so far; a
// double-click connects to the drive chosen and the mode menu gets the line's list.

#include <QTest>

#include "ConnectionFixture.h"
#include "model/FaultRegisters.h"

namespace velorin::test {
namespace {

class ConnectionSurveyTest : public ConnectionTest {
protected:
    void SetUp() override {
        ConnectionTest::SetUp();
        SimulatedDrive* drives[] = {&sim.drive, &second, &third};
        const int stations[] = {2, 3, 5};
        for (int i = 0; i < 3; ++i) {
            drives[i]->setLink(static_cast<std::uint8_t>(stations[i]), 1, 0);  // 9600,N,7,2
            drives[i]->setReg(faultregs::kModel, static_cast<std::uint16_t>(30 + i));
            drives[i]->setReg(faultregs::kRunHours, static_cast<std::uint16_t>(100 * (i + 1)));
            if (i > 0)
                sim.line.addDrive(*drives[i]);
        }
        // Station 3 answers later than the reply wait (100 ms).
        second.setResponseDelay(std::chrono::milliseconds(160));
    }
    void survey(int rate, int format) {
        list("rateList")->setCurrentIndex(rate);
        list("formatList")->setCurrentIndex(format);
        button("surveyButton")->click();
    }
    QTreeWidget* drives() { return child<QTreeWidget>(form, "driveList"); }
    QStringList rows() {
        QStringList out;
        for (int i = 0; i < drives()->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = drives()->topLevelItem(i);
            out << item->text(0) + " " + item->text(1) + " " + item->text(2);
        }
        return out;
    }
    QString status() { return child<QLabel>(form, "statusLine")->text(); }

    SimulatedDrive second, third;
};

TEST_F(ConnectionSurveyTest, ListsEveryDriveAndConnectsToTheOneChosen) {
    open();
    EXPECT_FALSE(drives()->isVisible()) << "until a survey runs";
    survey(1, 0);
    EXPECT_EQ(rows(), QStringList({"2 30 100", "3 31 200", "5 32 300"}));
    EXPECT_EQ(status(), "找到 3 台變頻機，請選擇一台後連線。");
    EXPECT_EQ(boxes() + shown, "");
    EXPECT_FALSE(portOpen());
    for (const SimulatedDrive* d : {&sim.drive, &second, &third})
        EXPECT_TRUE(d->writeLog().empty());

    // The third drive chosen and double-clicked: connected there, the list handed on.
    QTreeWidgetItem* fifth = drives()->topLevelItem(2);
    drives()->setCurrentItem(fifth);
    EXPECT_EQ(list("stationBox")->currentText(), "5");
    emit drives()->itemDoubleClicked(fifth, 0);
    EXPECT_EQ(shown, "menu");
    EXPECT_EQ(linkState(), "5 9600,N,7,2 RTU=0 COM1");
    const std::vector<SurveyedDrive> found = {{2, 30, 100}, {3, 31, 200}, {5, 32, 300}};
    EXPECT_EQ(sim.services.drives, found);
}

TEST_F(ConnectionSurveyTest, EscKeepsTheDrivesFoundSoFar) {
    third.setLink(200, 1, 0);  // far beyond the stop
    open();
    const auto start = sim.clock.now();
    sim.clock.after(std::chrono::seconds(3), [&] { QTest::keyClick(form, Qt::Key_Escape); });
    survey(1, 0);
    EXPECT_EQ(rows(), QStringList({"2 30 100", "3 31 200"}));
    EXPECT_EQ(status(), "已停止搜尋，列出已找到的 2 台變頻機。");
    // The whole survey takes over a minute here (the slow drive lengthens every wait).
    EXPECT_LT(sim.clock.now() - start, std::chrono::seconds(20)) << "stopped, not run to the end";
    EXPECT_EQ(boxes(), "");
    EXPECT_EQ(enabled(), "++++++");
    EXPECT_FALSE(portOpen());

    // Nothing on the line at another rate: the search's own message, the choice kept.
    open();
    survey(2, 0);
    EXPECT_EQ(rows(), QStringList());
    EXPECT_EQ(boxes(), "連線錯誤: 未偵測到變頻機，請檢查連線。");
    EXPECT_EQ(list("rateList")->currentIndex(), 2);
}

}  // namespace
}  // namespace velorin::test
