#pragma once
// The editor's find box (Ctrl+F): a line for a code, a register or part of a name, and the
// matches floating over the page under it, as a completer's list does, so the page does not
// move. Up and Down move through the matches; Enter or a click chooses one.

#include <QWidget>

class QLineEdit;
class QListWidget;

namespace velorin {

class FindBar : public QWidget {
    Q_OBJECT
public:
    // The matches float over `area` (the editor's central widget), which is also the bar's parent.
    explicit FindBar(QWidget* area);

    // Shows the bar with its text selected, ready for a new query.
    void open();
    void dismiss();
    bool isOpen() const { return isVisible(); }
    // Puts the matches under the box again, after the window changed size.
    void placeResults();

signals:
    // The technician chose the parameter at `reg`.
    void chosen(int reg);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onTextChanged(const QString& query);
    void onChosen();

    QLineEdit* m_text = nullptr;
    QListWidget* m_results = nullptr;
};

}  // namespace velorin
