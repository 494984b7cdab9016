#include "ScriptedDialogs.h"

namespace velorin::test {

namespace {
template <class T>
T next(std::deque<T>& q, T fallback) {
    if (q.empty()) return fallback;
    T v = q.front();
    q.pop_front();
    return v;
}
}  // namespace

void ScriptedDialogs::record(ShownDialog d) {
    m_shown.push_back(d);
    if (m_hook) m_hook(d);
}

std::vector<QString> ScriptedDialogs::texts(ShownDialog::Kind kind) const {
    std::vector<QString> out;
    for (auto& d : m_shown)
        if (d.kind == kind) out.push_back(d.text);
    return out;
}

void ScriptedDialogs::message(QWidget*, const QString& text, const QString& title) {
    record({ShownDialog::Kind::Message, text, title, {}, {}});
}

Answer ScriptedDialogs::question(QWidget*, const QString& text, const QString& title) {
    record({ShownDialog::Kind::Question, text, title, {}, {}});
    return next(m_answers, Answer::No);
}

Answer ScriptedDialogs::confirmTable(QWidget*, const QString& text, const QStringList&,
                                     const std::vector<QStringList>& rows, const QString& title) {
    ShownDialog d{ShownDialog::Kind::Table, text, title, {}, {}};
    d.rows = rows;
    record(d);
    return next(m_tableAnswers, Answer::Yes);
}

// Input boxes and file dialogs share one script of answers: a text or a path, or cancel.
std::optional<QString> ScriptedDialogs::input(QWidget*, const QString& prompt, const QString& title) {
    record({ShownDialog::Kind::Input, prompt, title, {}, {}});
    return next(m_inputs, std::optional<QString>{});
}

std::optional<QString> ScriptedDialogs::openFile(QWidget*, const QString& title,
                                                 const QString& folder, const QString& filter) {
    record({ShownDialog::Kind::OpenFile, folder, title, filter, {}});
    return next(m_inputs, std::optional<QString>{});
}

std::optional<QString> ScriptedDialogs::saveFile(QWidget*, const QString& title,
                                                 const QString& folder, const QString& defaultName,
                                                 const QString& filter) {
    record({ShownDialog::Kind::SaveFile, folder, title, filter, defaultName});
    return next(m_inputs, std::optional<QString>{});
}

}  // namespace velorin::test
