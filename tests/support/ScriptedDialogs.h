#pragma once
// Dialogs answered from a script given in advance; every box shown is kept, in order.

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "platform/Services.h"

namespace velorin::test {

struct ShownDialog {
    enum class Kind { Message, Question, Table, Input, OpenFile, SaveFile, Folder } kind;
    QString text;   // message, question or prompt; the folder for file dialogs
    QString title;
    QString filter = {};       // file dialogs only
    QString defaultName = {};  // the save dialog only
    std::vector<QStringList> rows = {};  // a table box only
    Answer enterGives = Answer::Yes;     // a question: what Enter would have answered
};

class ScriptedDialogs : public Dialogs {
public:
    // Answers to the coming questions in order; unanswered questions get No.
    void answerQuestions(std::initializer_list<Answer> answers) { m_answers.insert(m_answers.end(), answers); }
    // Answers to the coming table boxes (a write's preview); unanswered ones get Yes, so a test
    // of what a write does need not answer its preview.
    void answerTables(std::initializer_list<Answer> answers) { m_tableAnswers.insert(m_tableAnswers.end(), answers); }
    // Texts for input boxes and paths for file dialogs, in the order asked; none left: cancel.
    void answerInputs(std::initializer_list<std::optional<QString>> texts) { m_inputs.insert(m_inputs.end(), texts); }
    // Runs while a box is shown (a box is modal: the code behind it waits for the answer).
    void onShow(std::function<void(const ShownDialog&)> hook) { m_hook = std::move(hook); }

    const std::vector<ShownDialog>& shown() const { return m_shown; }
    std::vector<QString> messages() const { return texts(ShownDialog::Kind::Message); }  // OK-only
    std::vector<QString> questions() const { return texts(ShownDialog::Kind::Question); }
    // "title: text" of every box shown, one a line.
    std::string boxes() const {
        QStringList out;
        for (const ShownDialog& d : m_shown) out << d.title + ": " + d.text;
        return out.join('\n').toStdString();
    }
    void clear() { m_shown.clear(); }

    void message(QWidget*, const QString& text, const QString& title) override {
        record({ShownDialog::Kind::Message, text, title});
    }
    Answer question(QWidget*, const QString& text, const QString& title) override {
        record({ShownDialog::Kind::Question, text, title});
        return next(m_answers, Answer::No);
    }
    Answer cautiousQuestion(QWidget*, const QString& text, const QString& title) override {
        record({ShownDialog::Kind::Question, text, title, {}, {}, {}, Answer::No});
        return next(m_answers, Answer::No);
    }
    Answer confirmTable(QWidget*, const QString& text, const QStringList&,
                        const std::vector<QStringList>& rows, const QString& title) override {
        record({ShownDialog::Kind::Table, text, title, {}, {}, rows, Answer::No});
        return next(m_tableAnswers, Answer::Yes);
    }
    // Input boxes and file dialogs share one script of answers: a text or a path, or cancel.
    std::optional<QString> input(QWidget*, const QString& prompt, const QString& title) override {
        record({ShownDialog::Kind::Input, prompt, title});
        return next(m_inputs, std::optional<QString>{});
    }
    std::optional<QString> openFile(QWidget*, const QString& title, const QString& folder,
                                    const QString& filter) override {
        record({ShownDialog::Kind::OpenFile, folder, title, filter});
        return next(m_inputs, std::optional<QString>{});
    }
    std::optional<QString> saveFile(QWidget*, const QString& title, const QString& folder,
                                    const QString& defaultName, const QString& filter) override {
        record({ShownDialog::Kind::SaveFile, folder, title, filter, defaultName});
        return next(m_inputs, std::optional<QString>{});
    }
    std::optional<QString> chooseFolder(QWidget*, const QString& title,
                                        const QString& folder) override {
        record({ShownDialog::Kind::Folder, folder, title});
        return next(m_inputs, std::optional<QString>{});
    }

private:
    void record(const ShownDialog& d) {
        m_shown.push_back(d);
        if (m_hook)
            m_hook(d);
    }
    std::vector<QString> texts(ShownDialog::Kind kind) const {
        std::vector<QString> out;
        for (const ShownDialog& d : m_shown)
            if (d.kind == kind)
                out.push_back(d.text);
        return out;
    }
    template <class T>
    static T next(std::deque<T>& answers, T otherwise) {
        if (!answers.empty()) {
            otherwise = std::move(answers.front());
            answers.pop_front();
        }
        return otherwise;
    }
    std::deque<Answer> m_answers;
    std::deque<Answer> m_tableAnswers;
    std::deque<std::optional<QString>> m_inputs;
    std::vector<ShownDialog> m_shown;
    std::function<void(const ShownDialog&)> m_hook;
};

}  // namespace velorin::test
