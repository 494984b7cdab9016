#pragma once
// A connection screen on the simulated drive (or on any ports and wait a test puts in), with
// every probe it sends, the replies, the boxes and the windows it opens recorded.

#include <gtest/gtest.h>
#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>

#include "connection/Main.h"
#include "link/MBus.h"
#include "platform/EventLoopWait.h"
#include "support/SimServices.h"

namespace velorin::test {

class ConnectionTest : public ::testing::Test {
protected:
    // The link state: "station settings RTU=n COMn".
    std::string linkState() const {
        const LinkState& l = sim.services.link;
        return QString("%1 %2 RTU=%3 COM%4").arg(l.station).arg(l.settings.c_str())
            .arg(isRtu(l.framing) ? 1 : 0).arg(l.comPort).toStdString();
    }

    void SetUp() override {
        sim.clock.setPump([] { QCoreApplication::processEvents(); });
        sim.services.windows.menu = [this] { return next("menu"); };
        sim.services.windows.editor = [this] { return next("editor"); };
        setLinkTrace([this](const LinkTraceEvent& e) {
            if (!e.sent)
                answers += e.check.outcome == LinkOutcome::Ok;
            else  // station, settings, framing, RTU, then the lists: station, format, rate
                probes.push_back(QString("%1 %2 %3 RTU=%4 shows %5/%6/%7").arg(sim.services.link.station)
                    .arg(form->MSComm1->settings().c_str()).arg(e.rtu ? "rtu" : "ascii")
                    .arg(isRtu(sim.services.link.framing) ? 1 : 0).arg(form->Combo4->currentText())
                    .arg(form->Combo3->currentIndex()).arg(form->Combo2->currentIndex())
                    .toStdString());
        });
    }
    // The next window is to come up while the screen is still there.
    QWidget* next(const char* name) {
        shown += name + std::string(form->isVisible() ? "" : " (screen gone)");
        return nullptr;
    }
    void TearDown() override { setLinkTrace({}); delete form.data(); }
    // A fresh screen, link state, boxes and windows (the probes are kept).
    void open() {
        delete form.data();
        sim.services.link = {};
        shown.clear();
        sim.dialogs.clear();
        form = new Form1(sim.services);
        form->show();
    }
    void click(int rate, int format, const QString& station) {
        form->Combo2->setCurrentIndex(rate);
        form->Combo3->setCurrentIndex(format);
        form->Combo4->setEditText(station);
        form->Command1->click();
    }
    // "title: text" of every box shown, one a line.
    std::string boxes() const {
        QStringList out;
        for (const auto& d : sim.dialogs.shown()) out << d.title + ": " + d.text;
        return out.join('\n').toStdString();
    }
    // Enabled or not: the port, rate, format and station lists, connect, offline.
    std::string enabled() const {
        std::string out;
        for (QWidget* w : QWidgetList{form->Combo1, form->Combo2, form->Combo3, form->Combo4,
                                      form->Command1, form->Command2})
            out += w->isEnabled() ? '+' : '-';
        return out;
    }
    // After an attempt without result: `box` shown, the screen idle with offline barred, the
    // port shut.
    void expectIdle(const std::string& box) {
        EXPECT_EQ(boxes(), box);
        EXPECT_EQ(enabled() + (form->isVisible() ? "" : " hidden"), "+++++-");
        EXPECT_FALSE(form->MSComm1->isOpen());
        EXPECT_EQ(shown, "");
    }
    // Closed, its port too, and deleted once the handler that ran in it is over.
    void expectGone() {
        ASSERT_TRUE(form);
        EXPECT_FALSE(form->isVisible() || form->MSComm1->isOpen());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(form);
    }

    SimServices sim;
    QPointer<Form1> form;
    std::vector<std::string> probes;
    std::string shown;  // the windows that came next
    int answers = 0;    // replies that came back
};

}  // namespace velorin::test
