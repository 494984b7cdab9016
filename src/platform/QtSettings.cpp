#include "QtSettings.h"

namespace velorin {

QtSettings::QtSettings() : m_store(QStringLiteral("Velorin"), QStringLiteral("velorin")) {}

QtSettings::QtSettings(const QString& path) : m_store(path, QSettings::IniFormat) {}

std::optional<int> QtSettings::number(const QString& key) const {
    bool ok = false;
    const int v = m_store.value(key).toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

void QtSettings::setNumber(const QString& key, int value) {
    m_store.setValue(key, value);
    m_store.sync();  // kept even if the program is ended at once (the quit command)
}

std::optional<QString> QtSettings::text(const QString& key) const {
    const QVariant v = m_store.value(key);
    return v.isValid() ? std::optional<QString>(v.toString()) : std::nullopt;
}

void QtSettings::setText(const QString& key, const QString& value) {
    m_store.setValue(key, value);
    m_store.sync();
}

}  // namespace velorin
