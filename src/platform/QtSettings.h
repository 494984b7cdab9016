#pragma once
// The settings the program keeps between runs, in QSettings: the user's native store, or an INI
// file of the caller's choice (tests).

#include <QSettings>

#include "platform/Services.h"

namespace velorin {

class QtSettings : public Settings {
public:
    // The user's store for the program.
    QtSettings();
    // An INI file at `path`.
    explicit QtSettings(const QString& path);

    std::optional<int> number(const QString& key) const override;
    void setNumber(const QString& key, int value) override;
    std::optional<QString> text(const QString& key) const override;
    void setText(const QString& key, const QString& value) override;

private:
    QSettings m_store;
};

}  // namespace velorin
