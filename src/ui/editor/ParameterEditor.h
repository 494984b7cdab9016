#pragma once
// The parameter editor: 30 pages of the drive's parameters under a toolbar and a menu that save,
// load, write to the drive, go back and quit. A page is read from the drive the first time it is
// opened; offline the fields start at the factory defaults. The window only shows what its core
// (editor/EditorCore) says and hands it the fields' contents; every line operation runs in the
// window's line session, so a tab click or a close during a read cannot nest a second one.

#include <QMainWindow>
#include <array>
#include <memory>

#include "model/Catalogue.h"
#include "editor/EditorCore.h"
#include "editor/ParameterFile.h"
#include "platform/Services.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QScrollArea;
class QStackedWidget;
class QTimer;
class QToolBar;

namespace velorin {

class CompareWindow;
class FaultHistoryWindow;
class FindBar;
class LineSession;
class PageTabs;
class VfCurvePlot;

class ParameterEditor : public QMainWindow {
    Q_OBJECT
public:
    // `core` keeps the editor's values from one visit to the next; null starts afresh.
    // `opening.opener` is closed once the first page is read (or when the editor closes before
    // that); `opening.back` is where the return goes.
    explicit ParameterEditor(Services& services, std::shared_ptr<EditorCore> core = nullptr,
                             Opening opening = {}, QWidget* parent = nullptr);
    ~ParameterEditor() override;

    // Opens the port and reads page P00 and the copies (online), or shows the factory defaults
    // (offline). Run once, right after the window is shown.
    void load();

    EditorCore& core() { return *m_core; }
    // One tick of the progress text: a dot more, up to 40, then the bare text again.
    void progressTick();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    enum Button { SaveButton, LoadButton, WriteButton, ReturnButton, QuitButton, ButtonCount };
    // What the window runs beyond a page read, one at a time. A close that comes while the line is
    // in use waits for its end; nothing but the close follows it.
    enum class Busy {
        Idle,
        ReadingAll,         // read all runs: Esc stops it
        Writing,            // a write runs to its end: the commands are off
        Closing,            // a close waits for a stopped page read or read all
        ClosingAfterWrite,  // a close waits for the write's end
    };

    // ---- Building the window ----
    void buildWindow();
    void buildMenu();
    void buildToolbar();
    QWidget* buildPage(int page);
    QComboBox* makeField(const ParameterInfo& p, QWidget* page);
    void showProgress(const QString& text);
    void hideProgress();
    void placeProgress();

    // ---- What the window does ----

    void onTabRequested(int page);
    void selectPage(int page);
    void readAndShowPage(int page);
    void showFields(const std::vector<FieldView>& views);
    void showFieldContents(const std::array<FieldContent, kRegisterCount>& contents);
    // `raw` is the value the field cannot show, from the drive or from a file.
    void markUnshown(int reg, bool unshown, std::int32_t raw, bool fromFile = false);
    void showLink();
    FieldContent fieldContent(int reg) const;
    std::array<FieldContent, kRegisterCount> fieldContents() const;

    // ---- Marks, going to a parameter and read all ----
    // The fields of `page` in `columns` columns (3: as the manual lays them out), each column as
    // wide as its widest field.
    void placeFields(int page, int columns);
    // Each page in as many columns as the window's width takes; a motor page leaves room for its
    // V/F curve beside the fields.
    void fitPagesToWidth();
    // Shows the parameter's page (read first when online and not yet read) and puts the focus
    // on its field with a brief highlight.
    void goToParameter(int reg);
    void onEscapePressed();
    // The technician typed or picked in the field: the marks of its page follow.
    void fieldTouched(int reg);
    void applyMarks(int reg);
    void refreshMarks(int page);
    void refreshAllMarks();
    void onReadAllTriggered();
    // Opens the compare window, or brings it up compared again.
    void onCompareTriggered();

    // The commands: a toolbar button and its menu item reach the same one.
    void onSaveTriggered();
    void onLoadTriggered();
    // ---- Diagnosis ----
    // 異常履歷 (Ctrl+H) in the drive menu.
    void addFaultHistoryItem(QMenu* driveMenu);
    // Opens the fault history, or brings it up read again.
    void onFaultHistoryTriggered();
    // 匯出報告: the service report of the pages read (offline: of the fields) as PDF or HTML.
    void exportReport(QWidget* parent);

    // ---- The backup's sidecar ----
    // P17.11 as read from the drive; empty offline or before page P17-1 was read.
    std::optional<std::int32_t> driveModel() const;
    // Online: the sidecar beside the file just saved, told when it cannot be written.
    void writeSidecar(const QString& path, const std::string& bytes);
    // Whether a file may be loaded as its sidecar says: asked first when it was edited since or
    // comes from another model. `origin`: the drive it came from; empty without a sidecar.
    bool sidecarAllowsLoad(const QString& path, QString& origin);
    // "，含全部 29 頁" or which pages a file holds and which it lacks, by their tabs' captions.
    static QString pagesHeldText(const std::array<bool, kFilePageCount>& held);
    void onWriteTriggered() { write(WriteScope::Everything); }
    void onWriteChangedTriggered() { write(WriteScope::ChangedOnly); }
    // Every register of the present pages, or only those whose value the drive does not hold.
    void write(WriteScope scope);
    // Shows what the write will change on the drive; false: nothing is written. With nothing to
    // change the technician may still send every parameter (`scope` becomes the full write).
    bool writeConfirmed(WriteScope& scope);
    // Every field's text is a number in its form; else each refused one is told, the first
    // shown, and false.
    bool fieldsTaken();
    // The range checks as the write with `scope` meets them: a failure is told and its field
    // shown; values the drive holds itself are asked about and, when the technician agrees,
    // left out of the write. False: nothing is written.
    bool checksPassed(WriteScope scope);
    void onReturnTriggered();
    void onQuitTriggered();
    // Opens the port again after it was lost, and reads the page in view if it is not present.
    void onReconnectTriggered();
    // Whether a command may run now (no line operation under way, no close waiting); clears
    // the progress text when it may.
    bool commandAllowed();
    // The window that opened the editor goes once the editor stands on its own.
    void releaseOpener();
    void convertFields();
    void settleTypedRate();
    // The one change of `m_busy`: the commands, tabs and progress text follow it.
    void setBusy(Busy next);
    bool closing() const { return m_busy == Busy::Closing || m_busy == Busy::ClosingAfterWrite; }
    void reportWrite(const WriteOutcome& outcome);
    // Whether the window may go: asks first when fields hold edits the drive was not given.
    bool changesMayGo();
    // Asks, when fields hold edits the drive was not given, whether they may be dropped.
    bool editsMayBeDropped();
    bool lineBusy() const;

    Services& m_services;
    std::shared_ptr<EditorCore> m_core;
    Opening m_opening;
    std::unique_ptr<LineSession> m_line;  // online only

    QToolBar* m_toolbar = nullptr;
    std::array<QAction*, ButtonCount> m_buttons{};
    QLineEdit* m_progress = nullptr;
    QTimer* m_progressTimer = nullptr;
    QLabel* m_linkLabel = nullptr;
    QLabel* m_legend = nullptr;
    FindBar* m_find = nullptr;
    QAction* m_readAllAction = nullptr;
    QAction* m_reconnectAction = nullptr;  // enabled while the port is lost
    CompareWindow* m_compare = nullptr;
    FaultHistoryWindow* m_faultHistory = nullptr;
    // Why a field cannot show its value, added to its tooltip; empty while it can.
    std::array<QString, kRegisterCount> m_unshownTips{};
    bool m_slowDrive = false;  // replies were seen to come late: said beside the link
    int m_dots = 0;
    PageTabs* m_tabs = nullptr;
    QStackedWidget* m_pages = nullptr;
    std::array<QComboBox*, kRegisterCount> m_fields{};
    // Pixels: as the manual draws a field, or wider where its longest option needs it.
    std::array<int, kRegisterCount> m_fieldWidths{};
    std::array<QScrollArea*, kPageCount> m_pageScrolls{};
    std::array<VfCurvePlot*, kPageCount> m_vfPlots{};  // P09-1 and P10-1
    std::array<int, kPageCount> m_columnsShown{};

    Busy m_busy = Busy::Idle;
    bool m_returning = false;     // the previous window is already shown
    bool m_leavingAsked = false;  // the technician chose to drop the edits not yet written
};

// Creates the editor, shows it maximised and runs its start-up. Returns the window.
QWidget* showParameterEditor(Services& services, std::shared_ptr<EditorCore> core = nullptr,
                             const Opening& opening = {});

}  // namespace velorin
