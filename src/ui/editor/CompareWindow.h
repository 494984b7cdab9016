#pragma once
// The editor's compare window: the parameters of two to four sets side by side (the drive as
// read, the editor's values, a file chosen for the comparison, the factory values), each value as
// the editor's field shows it, only those that differ or all. A double click on a row shows its
// field in the editor; the table is saved as CSV. The comparison is the core's
// (editor/ParameterSets.h); a file chosen here is only compared, never shown in the editor.

#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "editor/ParameterSets.h"
#include "platform/Services.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace velorin {

// Whether a parameter file chosen in the editor may be taken. A file that cannot be used or holds
// no page is told and refused; lines the format cannot read are listed and the technician decides
// whether to go on without them.
bool fileMayBeTaken(Dialogs& dialogs, QWidget* parent, const ParameterFileLoad& load);

class CompareWindow : public QWidget {
    Q_OBJECT
public:
    struct Hooks {
        // The editor's fields into its working values, as a write converts them; the editor
        // declines while its line is in use, and the values stand as last converted.
        std::function<void()> convertFields;
        // The editor shows the parameter's field (its page read first when it was not).
        std::function<void(int reg)> showField;
    };
    CompareWindow(Services& services, std::shared_ptr<const EditorCore> core, Hooks hooks,
                  QWidget* parent);

    // Takes the chosen sets again and shows the table.
    void refresh();

protected:
    // The first time: over the editor, on its screen, as large as the screen takes.
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum Set { DriveValues, EditorValues, FileValues, FactoryValues, SetCount };

    void onChooseFileClicked();
    void onSaveClicked();
    void onRowActivated(int row);
    void showTable();
    // Every column in the table's width: as wide as its texts where they fit, the name taking the
    // width left; else the widest cut to one width, their texts whole in their tooltips.
    void fitColumns();
    bool onlyDifferent() const;
    QString setName(Set set) const;

    Services& m_services;
    std::shared_ptr<const EditorCore> m_core;
    Hooks m_hooks;
    std::optional<ParameterSet> m_file;  // the file chosen for the comparison
    QString m_fileName;
    std::vector<Set> m_shownSets;  // the sets of the table's columns, in order
    Comparison m_comparison;

    std::array<QCheckBox*, SetCount> m_setBoxes{};
    QRadioButton* m_onlyDifferent = nullptr;
    QTableWidget* m_table = nullptr;
    QLabel* m_summary = nullptr;
    QPushButton* m_saveButton = nullptr;
    std::vector<int> m_naturalWidths;  // as wide as each column's texts
    bool m_placed = false;
};

// Widths for columns whose texts take `natural` in `available`: the natural widths where they fit,
// with what is left to column `slack`; else the widest columns cut to one width that fills it.
std::vector<int> fittedColumnWidths(const std::vector<int>& natural, int available, int slack);

}  // namespace velorin
