#pragma once
// Finding a window's controls by their object names, as a technician finds them by their place.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QObject>
#include <QString>
#include <QWidget>
#include <stdexcept>

namespace velorin::test {

template <class T>
T* child(const QObject* window, const char* name) {
    T* c = window ? window->findChild<T*>(QLatin1String(name)) : nullptr;
    if (!c)
        throw std::runtime_error(std::string("no control named ") + name);
    return c;
}

// Saves `w` as picture `name` where VELORIN_SCREENSHOT_DIR names a folder (the README's).
inline void screenshot(QWidget* w, const QString& name) {
    if (!qEnvironmentVariableIsSet("VELORIN_SCREENSHOT_DIR"))
        return;
    QApplication::processEvents();
    EXPECT_TRUE(w->grab().save(QDir(qEnvironmentVariable("VELORIN_SCREENSHOT_DIR")).filePath(name)));
}

}  // namespace velorin::test
