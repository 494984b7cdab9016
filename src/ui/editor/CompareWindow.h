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

private:
    enum Set { DriveValues, EditorValues, FileValues, FactoryValues, SetCount };

    void onChooseFileClicked();
    void onSaveClicked();
    void onRowActivated(int row);
    void showTable();
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
};

}  // namespace velorin
