#include "Commands.h"

#include <QRegularExpression>
#include <map>

#include "editor/ParameterSets.h"

namespace velorin {

namespace {

// What a number field takes, said on the command line: " (a whole number, 0~65535)".
QString formWords(const std::optional<FieldForm>& form) {
    if (!form)
        return {};
    const QString kind = form->decimals == 0 ? QStringLiteral("a whole number")
                                             : QStringLiteral("a number with at most %1 decimal%2")
                                                   .arg(form->decimals)
                                                   .arg(form->decimals == 1 ? "" : "s");
    return QStringLiteral(" (%1, %2)").arg(kind, QString::fromStdString(form->range));
}

}  // namespace

int SetCommand::run() {
    // Each value as its field would take it, before the drive is asked anything.
    static const QRegularExpression number(QStringLiteral("^[0-9]{1,5}$"));
    const Catalogue& catalogue = Catalogue::instance();
    std::vector<int> regs;
    std::map<int, FieldContent> edits;
    for (const Assignment& a : m_request.assignments) {
        const ParameterInfo& p = catalogue.parameter(a.reg);
        regs.push_back(a.reg);
        QString why;
        // A list takes the number of an option, the value the drive keeps for it.
        const auto option = number.match(qs(a.text)).hasMatch()
                                ? catalogue.optionPosition(a.reg, std::stoi(a.text))
                                : std::nullopt;
        if (p.conversion == ConversionKind::None || p.access != Access::Editable)
            why = QStringLiteral("the drive shows it; it cannot be set");
        else if (p.conversion == ConversionKind::List && !option)
            why = QStringLiteral("\"%1\" is no option of its list (%2)")
                      .arg(qs(a.text), optionNumbers(a.reg));
        if (!why.isEmpty()) {
            error(QStringLiteral("%1: %2; nothing was written").arg(codeAndName(a.reg), why));
            return exitCode(CliExit::Refused);
        }
        edits[a.reg] = p.conversion == ConversionKind::List ? FieldContent{*option, {}}
                                                            : FieldContent{-1, a.text};
    }
    if (int c = openEditor())
        return c;
    if (int c = readPages(pagesOf(regs)))
        return c;
    // The pages as the window shows them, taken with the technician's values as its conversion
    // takes its fields: a unit switch first, then every other field of the pages at the unit it
    // leaves, as the fields show them.
    std::vector<FieldView> views;
    for (int page : pagesOf(regs))
        for (FieldView& view : m_core->showPage(page)) views.push_back(std::move(view));
    const std::vector<int> refused = m_core->takeFields(views, edits);
    for (int reg : refused) {
        const ConversionKind kind = catalogue.parameter(reg).conversion;
        const int selector = kind == ConversionKind::ByRampUnit   ? drive::kRampUnitParameter
                             : kind == ConversionKind::ByStepUnit ? drive::kStepUnitParameter
                                                                  : -1;
        if (selector >= 0 && m_core->unshown(selector))
            error(QStringLiteral("%1: %2; nothing was written")
                      .arg(codeAndName(reg), unitUnknown(reg, m_core->driveValue(selector))));
        else
            error(QStringLiteral("%1: \"%2\" is no value its field takes%3; nothing was written")
                      .arg(codeAndName(reg),
                           qs(catalogue.parameter(reg).conversion == ConversionKind::List
                                  ? std::to_string(edits[reg].selected)
                                  : edits[reg].text),
                           formWords(fieldForm(reg, m_core->conversionContext()))));
    }
    if (!refused.empty()) {
        m_line->close();
        return exitCode(CliExit::Refused);
    }
    // Fields the technician did not name whose raw value changes with a new unit or P13.35.
    std::vector<std::pair<int, QString>> followers;
    for (const FieldView& view : views) {
        const std::int32_t working = m_core->working()[view.reg];
        const std::int32_t raw = view.reg == drive::kRateParameter
                                     ? rateCodeAt(working).value_or(working)
                                     : working;
        if (edits.count(view.reg) || m_core->unshown(view.reg) ||
            catalogue.parameter(view.reg).conversion == ConversionKind::None ||
            raw == view.driveValue)
            continue;
        const auto before = shownText(view.reg, view.display);
        const auto after =
            shownText(view.reg, loadedDisplay(view.reg, working, m_core->workingDisplayContext()));
        followers.emplace_back(view.reg, QStringLiteral("%1 %2 -> %3")
                                             .arg(codeAndName(view.reg), qs(before.value_or("?")),
                                                  qs(after.value_or(std::to_string(working)))));
    }
    const std::set<int> concerned(regs.begin(), regs.end());
    if (int c = rangeCheck(&concerned)) {
        m_line->close();
        return c;
    }
    if (int c = checkBeforeWrite()) {
        m_line->close();
        return c;
    }
    // Only what the technician named and what follows from it: the rest of the pages holds
    // the drive's values already.
    return writeAndReport(&regs, &followers, WriteScope::ChangedOnly);
}

}  // namespace velorin
