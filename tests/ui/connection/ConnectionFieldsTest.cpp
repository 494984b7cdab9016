// The connection screen's fields as a new technician meets them: 自動搜尋 in the rate and format
// lists (the search, to be chosen again after a remembered choice), tooltips on the reply
// timeout and block reads, a timeout out of range refused with the range, a search line that
// never breaks inside a number and its unit, and the device found last time chosen again though
// its COM number changed.

#include <QTest>
#include <QTextLayout>
#include <QtWidgets>

#include "ConnectionFixture.h"
#include "platform/QtSettings.h"

using namespace velorin;
using namespace std::chrono_literals;
using velorin::test::child;
using velorin::test::ConnectionTest;

namespace {

// COM1 and COM2 on simulated lines, named after the devices the test gives them.
struct RenamedPorts : test::SimPortProvider {
    std::map<int, QString> names;
    QString deviceOf(int comNumber) const override {
        return names.count(comNumber) ? names.at(comNumber) : QString();
    }
    std::vector<ListedPort> listPorts() override {
        std::vector<ListedPort> out = SimPortProvider::listPorts();
        for (ListedPort& p : out) p.device = deviceOf(p.comNumber);
        return out;
    }
};

// The lines `text` takes in a label `width` pixels wide.
QStringList linesOf(const QString& text, const QFont& font, int width) {
    QTextLayout layout(text, font);
    layout.beginLayout();
    QStringList lines;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines;
}

}  // namespace

TEST_F(ConnectionTest, AutoSearchEntriesTooltipsAndTheTimeoutRange) {
    sim.drive.setLink(1, 1, 0);
    open();
    for (const char* name : {"rateList", "formatList"}) {
        QComboBox* box = list(name);
        EXPECT_EQ(box->itemText(box->count() - 1), "自動搜尋") << name;
        EXPECT_EQ(box->placeholderText(), "自動搜尋") << name;
    }
    EXPECT_FALSE(child<QCheckBox>(form, "blockReadsBox")->toolTip().isEmpty());
    EXPECT_TRUE(child<QSpinBox>(form, "replyTimeoutBox")->toolTip().contains("20~5000"));

    // Typed and confirmed with Enter: refused with the range, the wait kept, nothing connects.
    auto* timeout = child<QSpinBox>(form, "replyTimeoutBox");
    const std::tuple<const char*, int, std::string> cases[] = {
        {"5", 100, "回應逾時錯誤: 回應逾時範圍為20~5000毫秒，請重新輸入。"},
        {"99999", 100, "回應逾時錯誤: 回應逾時範圍為20~5000毫秒，請重新輸入。"},
        {"250", 250, ""},
        {"19", 250, "回應逾時錯誤: 回應逾時範圍為20~5000毫秒，請重新輸入。"},
    };
    for (const auto& [typed, kept, box] : cases) {
        SCOPED_TRACE(typed);
        sim.dialogs.clear();
        timeout->setFocus();
        timeout->selectAll();
        QTest::keyClicks(timeout, typed);
        QTest::keyClick(timeout, Qt::Key_Return);
        EXPECT_EQ(timeout->value(), kept);
        EXPECT_EQ(sim.services.replyTimeout, std::chrono::milliseconds(kept));
        EXPECT_EQ(boxes(), box);
        if (!box.empty())
            EXPECT_EQ(shown, "");
        shown.clear();
    }

    // A choice remembered, then 自動搜尋 chosen: the search from 4800 baud.
    open();
    list("stationBox")->setEditText("1");
    list("rateList")->setCurrentIndex(list("rateList")->count() - 1);
    list("formatList")->setCurrentIndex(list("formatList")->count() - 1);
    probes.clear();
    button("connectButton")->click();
    ASSERT_FALSE(probes.empty());
    EXPECT_EQ(probes.front().substr(0, 16), "1 4800,N,7,2 asc");
    EXPECT_EQ(shown, "menu");
}

TEST_F(ConnectionTest, TheSearchLineKeepsNumbersWithTheirUnits) {
    sim.drive.setLink(200, 1, 0);  // far into the search
    open();
    QStringList seen;
    sim.clock.after(2s, [&] {
        auto* line = child<QLabel>(form, "statusLine");
        seen = linesOf(line->text(), line->font(), line->width());
        QTest::keyClick(form, Qt::Key_Escape);
    });
    click(-1, -1, "1");
    ASSERT_GE(seen.size(), 2) << seen.join('|').toStdString();
    const QRegularExpression brokenNumber(QStringLiteral("^[分秒次/\\d]"));
    for (int i = 1; i < seen.size(); ++i)
        EXPECT_FALSE(seen[i].contains(brokenNumber) && seen[i - 1].back().isDigit())
            << seen.join('|').toStdString();
    for (const QString& l : seen)
        EXPECT_FALSE(l.endsWith(QChar(0xA0)) || l.endsWith("第")) << l.toStdString();
}

TEST_F(ConnectionTest, TheDeviceFoundLastTimeIsChosenThoughItsNumberChanged) {
    QTemporaryDir dir;
    QtSettings kept(dir.filePath("velorin.ini"));
    sim.services.settings = &kept;
    SimulatedLine other{sim.drive};
    RenamedPorts ports;
    ports.attach(1, sim.line);
    ports.attach(2, other);
    sim.services.ports = &ports;
    // Found on /dev/ttyUSB1 when it was COM2; now it is COM1.
    kept.setNumber("link/comPort", 2);
    kept.setText("link/device", "/dev/ttyUSB1");
    ports.names = {{1, "/dev/ttyUSB1"}, {2, "/dev/ttyUSB0"}};
    open();
    EXPECT_TRUE(list("portList")->currentText().startsWith("COM1"))
        << list("portList")->currentText().toStdString();
    // A connection keeps the device it found the drive on.
    list("portList")->setCurrentIndex(1);
    click(1, 0, "1");
    EXPECT_EQ(kept.text("link/device").value_or(""), "/dev/ttyUSB0");
}
