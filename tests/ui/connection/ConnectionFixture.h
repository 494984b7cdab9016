#pragma once
// The connection screen's fixture, shared by its window tests and the test over a pseudo-terminal.

#include <gtest/gtest.h>
#include <QtWidgets>
#include <optional>

#include "link/Transaction.h"
#include "platform/EventLoopWait.h"
#include "platform/QtSettings.h"
#include "support/LineTap.h"
#include "support/SimServices.h"
#include "support/Widgets.h"
#include "ui/connection/ConnectionWindow.h"

namespace velorin::test {

// A connection screen on the simulated drive, its probes, replies, boxes and windows recorded.
class ConnectionTest : public ::testing::Test {
protected:
    // The link state: "station settings RTU=n COMn".
    std::string linkState() const {
        const LinkState& l = sim.services.link();
        return QString("%1 %2 RTU=%3 COM%4").arg(l.station).arg(l.settings.c_str())
            .arg(isRtu(l.framing) ? 1 : 0).arg(l.comPort).toStdString();
    }

    void SetUp() override {
        sim.clock.setPump([] { QCoreApplication::processEvents(); });
        sim.services.windows.menu = [this] { return next("menu"); };
        sim.services.windows.editor = [this](const Opening&) { return next("editor"); };
        tap.emplace(sim.services.lineObservers, [this](const TransactionRecord& t) {
            if (!form)
                return;  // a later window's traffic
            // station, settings, framing, RTU, then the lists: station, format, rate
            probes.push_back(QString("%1 %2 %3 RTU=%4 shows %5/%6/%7").arg(sim.services.link().station)
                .arg(screenPort() ? screenPort()->settings().c_str() : "?")
                .arg(isRtu(t.framing) ? "rtu" : "ascii")
                .arg(isRtu(sim.services.link().framing) ? 1 : 0).arg(list("stationBox")->currentText())
                .arg(list("formatList")->currentIndex()).arg(list("rateList")->currentIndex())
                .toStdString());
            answers += t.check.outcome == LinkOutcome::Ok;
        });
    }
    // The next window is to come up while the screen is still there.
    QWidget* next(const char* name) {
        shown += name + std::string(form->isVisible() ? "" : " (screen gone)");
        return nullptr;
    }
    void TearDown() override { tap.reset(); delete form.data(); }
    // A fresh screen, link state, boxes and windows (the probes are kept).
    void open() {
        delete form.data();
        sim.services.setLink({});
        shown.clear();
        sim.dialogs.clear();
        form = new ConnectionWindow(sim.services);
        form->show();
    }
    void click(int rate, int format, const QString& station) {
        list("rateList")->setCurrentIndex(rate);
        list("formatList")->setCurrentIndex(format);
        list("stationBox")->setEditText(station);
        button("connectButton")->click();
    }
    QComboBox* list(const char* name) const { return child<QComboBox>(form, name); }
    QString choices() const {
        return list("rateList")->currentText() + " " + list("formatList")->currentText() + " " +
               list("stationBox")->currentText();
    }
    QPushButton* button(const char* name) const { return child<QPushButton>(form, name); }
    bool portOpen() const { return screenPort() && screenPort()->isOpen(); }
    // The screen's port where the simulated ports made it.
    const SerialPort* screenPort() const {
        const auto* ports = dynamic_cast<const SimPortProvider*>(sim.services.ports);
        return ports && form ? ports->lastCreated() : nullptr;
    }
    std::string boxes() const { return sim.dialogs.boxes(); }
    // Settings kept in a file; called again, read afresh as at the next run.
    QtSettings& keepSettings() {
        keptSettings.reset();
        keptSettings = std::make_unique<QtSettings>(keptFolder.filePath("velorin.ini"));
        sim.services.settings = keptSettings.get();
        return *keptSettings;
    }
    // Enabled or not: the port, rate, format and station lists, connect, offline.
    std::string enabled() const {
        std::string out;
        for (QWidget* w : QWidgetList{list("portList"), list("rateList"), list("formatList"),
                                      list("stationBox"), button("connectButton"),
                                      button("offlineButton")})
            out += w->isEnabled() ? '+' : '-';
        return out;
    }
    // After an attempt without result; offline is barred after a search that found nothing.
    void expectIdle(const std::string& box, bool offlineOpen = false) {
        EXPECT_EQ(boxes(), box);
        EXPECT_EQ(enabled() + (form->isVisible() ? "" : " hidden"), offlineOpen ? "++++++" : "+++++-");
        EXPECT_FALSE(portOpen());
        EXPECT_EQ(shown, "");
    }
    // Closed, its port too, and deleted once the handler that ran in it is over.
    void expectGone() {
        ASSERT_TRUE(form);
        EXPECT_FALSE(form->isVisible() || portOpen());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(form);
    }

    SimServices sim;
    QPointer<ConnectionWindow> form;
    std::vector<std::string> probes;
    std::string shown;  // the windows that came next
    int answers = 0;    // replies that came back
    std::optional<LineTap> tap;  // every probe on the line
    QTemporaryDir keptFolder;
    std::unique_ptr<QtSettings> keptSettings;
};

}  // namespace velorin::test
