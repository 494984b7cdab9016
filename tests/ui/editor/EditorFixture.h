#pragma once
// The parameter editor window on a simulated drive, its dialogs scripted, its line recorded.

#include <gtest/gtest.h>

#include <QTest>
#include <QtWidgets>
#include <functional>
#include <map>
#include <memory>

#include "editor/LineRecord.h"
#include "ui/editor/ParameterEditor.h"
#include "support/Files.h"
#include "support/Widgets.h"
#include "support/SimServices.h"

namespace velorin::test {

// A parameter file of P`first`-P`last`, each line ended by CR LF: `values` where given, else
// `otherwise` of the register (0 without it).
inline std::string fileOf(const std::map<int, std::string>& values, int first = 0, int last = 548,
                          const std::function<std::int32_t(int)>& otherwise = {}) {
    std::string text;
    for (int reg = first; reg <= last; ++reg) {
        const std::int32_t value = otherwise ? otherwise(reg) : 0;
        text += "P" + std::to_string(reg) + " " +
                (values.count(reg) ? values.at(reg) : std::to_string(value)) + "\r\n";
    }
    return text;
}

class EditorFixture : public ::testing::Test {
protected:
    void SetUp() override {
        s.services.setLink({1, Framing::Ascii, false, 1, "9600,N,7,2"});
        s.services.windows.menu = [this] {
            ++menuShown;
            return &otherWindow;
        };
        s.services.windows.connection = [this] {
            ++connectionShown;
            return &otherWindow;
        };
    }
    void TearDown() override {
        delete editor.data();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // Returning online to the menu, offline to the connection window.
    ParameterEditor* open(bool offline = false, QWidget* opener = nullptr) {
        LinkState link = s.services.link();
        link.offline = offline;
        s.services.setLink(link);
        const Opening opening{opener, [this, offline] {
                                  return offline ? s.services.windows.connection()
                                                 : s.services.windows.menu();
                              }};
        editor = qobject_cast<ParameterEditor*>(showParameterEditor(s.services, core, opening));
        return editor;
    }
    template <class T>
    T* find(const QString& name) {
        auto* w = editor->findChild<T*>(name);
        EXPECT_TRUE(w) << name.toStdString();
        return w;
    }
    QComboBox* field(int reg) { return find<QComboBox>(QStringLiteral("field%1").arg(reg)); }
    QToolButton* tab(int page) { return find<QToolButton>(QStringLiteral("pageTab%1").arg(page)); }
    QLineEdit* progress() { return find<QLineEdit>(QStringLiteral("progressText")); }
    int currentPage() { return find<QStackedWidget>(QStringLiteral("pages"))->currentIndex(); }
    void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }
    void shortcut(Qt::Key key) {
        QApplication::setActiveWindow(editor);
        QTest::keyClick(editor, key, Qt::ControlModifier);
    }
    void during(std::chrono::milliseconds ms, std::function<void()> f) {
        s.clock.after(ms, std::move(f));
    }
    void enter(int reg, const QString& text) { field(reg)->setEditText(text); }
    // As the technician types: the field's marks follow each key.
    void typeInto(int reg, const QString& text) {
        field(reg)->lineEdit()->selectAll();
        QTest::keyClicks(field(reg)->lineEdit(), text);
    }
    void forget() {
        s.dialogs.clear();
        s.drive.clearWriteLog();
        record.clear();
    }
    QString desktopFile(const QString& name = QStringLiteral("Data.txt")) {
        return QDir(s.folders.desktopFolder()).filePath(name);
    }
    // Closed and deleted once the handler that closed it is over, its port let go.
    void expectClosed() {
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(editor.isNull());
        EXPECT_FALSE(s.line.isHeld());
    }

    SimServices s;
    std::shared_ptr<EditorCore> core = std::make_shared<EditorCore>();
    QPointer<ParameterEditor> editor;
    QWidget otherWindow;
    int menuShown = 0;
    int connectionShown = 0;
    LineRecord record{s.services.lineObservers};
};

}  // namespace velorin::test
