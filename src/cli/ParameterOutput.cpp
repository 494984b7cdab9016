#include "ParameterOutput.h"
#include "platform/QtText.h"

#include <QStringList>

namespace velorin::paramout {

namespace {

QString jsonString(const QString& s) {
    QString out = QStringLiteral("\"");
    for (const QChar c : s) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\') + c;
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\r'))
            out += QStringLiteral("\\r");
        else if (c == QLatin1Char('\t'))
            out += QStringLiteral("\\t");
        else if (c.unicode() < 0x20)
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out + QLatin1Char('"');
}

QString jsonShown(const std::optional<std::string>& shown) {
    return shown ? jsonString(qs(*shown)) : QStringLiteral("null");
}

QString jsonArray(const QStringList& items) {
    return QLatin1Char('[') + items.join(QLatin1Char(',')) + QLatin1Char(']');
}

QString csvField(const QString& s) {
    if (!s.contains(QLatin1Char(',')) && !s.contains(QLatin1Char('"')) &&
        !s.contains(QLatin1Char('\n')) && !s.contains(QLatin1Char('\r')))
        return s;
    return QLatin1Char('"') + QString(s).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

QString csvLine(const QStringList& fields) {
    QStringList quoted;
    for (const QString& f : fields) quoted << csvField(f);
    return quoted.join(QLatin1Char(',')) + QLatin1Char('\n');
}

QString textShown(const std::optional<std::string>& shown) {
    return shown ? qs(*shown) : QLatin1String(kUnshowable);
}

// One json object per line inside the array, so a diff of two outputs stays readable.
QString jsonList(const QStringList& objects) {
    if (objects.isEmpty())
        return QStringLiteral("[]\n");
    return QStringLiteral("[\n") + objects.join(QStringLiteral(",\n")) + QStringLiteral("\n]\n");
}

QString jsonObject(const QStringList& members) {
    return QLatin1Char('{') + members.join(QLatin1Char(',')) + QLatin1Char('}');
}

QString member(const char* key, const QString& json) {
    return jsonString(QLatin1String(key)) + QLatin1Char(':') + json;
}

const ParameterInfo& info(int reg) {
    return Catalogue::instance().parameter(reg);
}

QString kindText(FieldKind kind) {
    switch (kind) {
        case FieldKind::Choice:
            return QStringLiteral("choice");
        case FieldKind::Number:
            return QStringLiteral("number");
        case FieldKind::NumberWithList:
            return QStringLiteral("number-list");
        case FieldKind::None:
            break;
    }
    return QStringLiteral("none");
}

QString accessText(Access access) {
    switch (access) {
        case Access::Editable:
            return QStringLiteral("editable");
        case Access::Locked:
            return QStringLiteral("locked");
        case Access::Disabled:
            return QStringLiteral("disabled");
    }
    return {};
}

QString displayForm(DisplayRule rule) {
    switch (rule) {
        case DisplayRule::None:
            return {};
        case DisplayRule::Position:
            return QStringLiteral("position");
        case DisplayRule::Integer:
            return QStringLiteral("0");
        case DisplayRule::Div10:
            return QStringLiteral("0.0");
        case DisplayRule::Div100:
            return QStringLiteral("0.00");
        case DisplayRule::Div1000:
            return QStringLiteral("0.000");
        case DisplayRule::RampTime:
            return QStringLiteral("0.00 while P03.00 is 0, else 0.0");
        case DisplayRule::StepTime:
            return QStringLiteral("0.0 while P08.03 is 0, else 0");
        case DisplayRule::PidSetpoint:
            return QStringLiteral("0 to 4 decimals as P13.35 says");
        case DisplayRule::BaudRate:
            return QStringLiteral("position (rate code 48, 96, 192, 384, 1152)");
    }
    return {};
}

QStringList checkTexts(int reg) {
    QStringList texts;
    for (const RangeCheck& check : Catalogue::instance().checks()) {
        if (check.reg != reg)
            continue;
        QString text = qs(check.boundsText);
        if (check.unitSelector >= 0 && !check.otherUnitText.empty())
            text += QStringLiteral(" (%1 while %2 is not 0)")
                        .arg(qs(check.otherUnitText), qs(Catalogue::codeOf(check.unitSelector)));
        texts << text;
    }
    return texts;
}

std::optional<std::string> factoryText(int reg) {
    const FactoryDefault& factory = info(reg).factory;
    switch (factory.kind) {
        case FactoryDefault::Kind::Position:
            return shownText(reg, SelectPosition{factory.position});
        case FactoryDefault::Kind::Text:
            return factory.text;
        case FactoryDefault::Kind::None:
            break;
    }
    return std::nullopt;
}

QStringList optionTexts(int reg) {
    QStringList texts;
    const auto options = Catalogue::instance().options(reg);
    for (std::size_t i = 0; i < options.size(); ++i)
        texts << qs(*shownText(reg, SelectPosition{static_cast<int>(i)}));
    return texts;
}

}  // namespace

QString values(const std::vector<ParameterValue>& rows, OutputFormat format, bool rawValues) {
    QString out;
    QStringList objects;
    if (format == OutputFormat::Csv)
        out += csvLine({"code", "register", "label", "raw", "display"});
    for (const ParameterValue& row : rows) {
        const ParameterInfo& p = info(row.reg);
        switch (format) {
            case OutputFormat::Text:
                out += QStringLiteral("%1\t%2\t%3\n")
                           .arg(qs(p.code), qs(p.name),
                                rawValues ? QString::number(row.raw) : textShown(row.shown));
                break;
            case OutputFormat::Csv:
                out += csvLine({qs(p.code), QString::number(row.reg), qs(p.name),
                                QString::number(row.raw), textShown(row.shown)});
                break;
            case OutputFormat::Json:
                objects << jsonObject({member("code", jsonString(qs(p.code))),
                                       member("register", QString::number(row.reg)),
                                       member("label", jsonString(qs(p.name))),
                                       member("raw", QString::number(row.raw)),
                                       member("display", jsonShown(row.shown))});
                break;
        }
    }
    return format == OutputFormat::Json ? jsonList(objects) : out;
}

QString differences(const std::vector<CompareRow>& rows, OutputFormat format) {
    QString out;
    QStringList objects;
    if (format == OutputFormat::Csv)
        out += csvLine({"code", "register", "label", "raw_first", "display_first", "raw_second",
                        "display_second", "differs"});
    for (const CompareRow& row : rows) {
        const ParameterInfo& p = info(row.reg);
        const SetValue &first = *row.values.at(0), &second = *row.values.at(1);
        switch (format) {
            case OutputFormat::Text:
                out += QStringLiteral("%1\t%2\t%3\t%4\n")
                           .arg(qs(p.code), qs(p.name), textShown(first.shown),
                                textShown(second.shown));
                break;
            case OutputFormat::Csv:
                out += csvLine({qs(p.code), QString::number(row.reg), qs(p.name),
                                QString::number(first.raw), textShown(first.shown),
                                QString::number(second.raw), textShown(second.shown),
                                row.differs ? QStringLiteral("1") : QStringLiteral("0")});
                break;
            case OutputFormat::Json:
                objects << jsonObject({member("code", jsonString(qs(p.code))),
                                       member("register", QString::number(row.reg)),
                                       member("label", jsonString(qs(p.name))),
                                       member("raw", jsonArray({QString::number(first.raw),
                                                                QString::number(second.raw)})),
                                       member("display", jsonArray({jsonShown(first.shown),
                                                                    jsonShown(second.shown)})),
                                       member("differs", row.differs ? QStringLiteral("true")
                                                                     : QStringLiteral("false"))});
                break;
        }
    }
    return format == OutputFormat::Json ? jsonList(objects) : out;
}

QString catalogue(const std::vector<int>& regs, OutputFormat format) {
    QString out;
    QStringList objects;
    if (format == OutputFormat::Csv)
        out += csvLine({"code", "register", "page", "label", "kind", "access", "display", "checks",
                        "factory", "options"});
    const QString separator = QStringLiteral(" | ");
    for (int reg : regs) {
        const ParameterInfo& p = info(reg);
        const QString page = qs(Catalogue::instance().page(p.page).caption);
        const QStringList checks = checkTexts(reg), options = optionTexts(reg);
        const std::optional<std::string> factory = factoryText(reg);
        switch (format) {
            case OutputFormat::Text:
                out += QStringList{qs(p.code),
                                   QString::number(reg),
                                   qs(p.name),
                                   kindText(p.kind),
                                   displayForm(p.display),
                                   checks.join(QStringLiteral("; ")),
                                   factory ? qs(*factory) : QString(),
                                   options.join(separator)}
                           .join(QLatin1Char('\t')) +
                       QLatin1Char('\n');
                break;
            case OutputFormat::Csv:
                out += csvLine({qs(p.code), QString::number(reg), page, qs(p.name),
                                kindText(p.kind), accessText(p.access), displayForm(p.display),
                                checks.join(QStringLiteral("; ")),
                                factory ? qs(*factory) : QString(), options.join(separator)});
                break;
            case OutputFormat::Json: {
                QStringList checkJson, optionJson;
                for (const QString& c : checks) checkJson << jsonString(c);
                for (const QString& o : options) optionJson << jsonString(o);
                objects << jsonObject(
                    {member("code", jsonString(qs(p.code))),
                     member("register", QString::number(reg)), member("page", jsonString(page)),
                     member("label", jsonString(qs(p.name))),
                     member("kind", jsonString(kindText(p.kind))),
                     member("access", jsonString(accessText(p.access))),
                     member("display", jsonString(displayForm(p.display))),
                     member("checks", jsonArray(checkJson)),
                     member("factory", factory ? jsonString(qs(*factory)) : QStringLiteral("null")),
                     member("options", jsonArray(optionJson))});
                break;
            }
        }
    }
    return format == OutputFormat::Json ? jsonList(objects) : out;
}

}  // namespace velorin::paramout
