#pragma once
// The parameter editor without its window: the working values the fields convert into, the
// values last read from the drive, which pages are present, the copies of the few parameters
// others depend on, and the page reads and page displays over a line session. The editor window
// and the command line drive the same core; nothing here knows a widget.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "model/Catalogue.h"
#include "editor/FieldMarking.h"
#include "editor/ParameterFile.h"
#include "model/Rules.h"
#include "model/ValueCheck.h"
#include "model/DriveFacts.h"
#include "link/LinkSettings.h"
#include "link/Transaction.h"

namespace velorin {

class LineSession;

// Copies of single drive parameters, each in its register's own type (P13.34 reaches 60000).
// The five read when the editor opens are empty while the drive has not given them (no usable
// reply to any of the line session's tries), and
// are taken again from every read of their page.
struct DriveCopies {
    std::optional<std::int16_t> rampUnit = 0;      // P03.00
    std::optional<std::int16_t> stepUnit = 0;      // P08.03
    std::optional<std::int32_t> ratedCurrent = 0;  // P11.14
    std::optional<std::int32_t> pidFullScale = 0;  // P13.34
    std::optional<std::int16_t> pidDecimals = 0;   // P13.35
    std::int16_t station = 0;    // P15.00, from the last page read once page P15 is in
    std::int16_t rate = 0;       // P15.01 (the rate code, 48 ... 1152), as `station`
    std::int16_t format = 0;     // P15.02, as `station`
    std::int16_t lockReset = 0;  // P17.08, from the last page read once page P17-1 is in
};

struct PageReadOutcome {
    enum class Kind {
        Read,            // every register of the page came in
        AlreadyPresent,  // nothing sent: the page was read or loaded before
        Failed,          // a register gave no usable reply to any try; the page stays unread
        Stopped,         // the line session was stopped between two registers
    };
    Kind kind = Kind::Read;
    int failedRegister = -1;  // with Failed and Stopped
    bool ok() const { return kind == Kind::Read || kind == Kind::AlreadyPresent; }
};

// What one field of a page shows after a page display.
struct FieldView {
    int reg = 0;
    Display display;
    // The field cannot show the drive's value (no such list position, no such rate, P13.35
    // outside 0-4): it keeps its content and is marked, with the raw value for the technician.
    bool unshowable = false;
    std::int32_t driveValue = 0;  // the raw value: the drive's, or the file's after a load
    bool fromFile = false;        // the view comes from a loaded parameter file
    // The field depends on a parameter whose read failed when the editor opened (P11.14 for the
    // motor currents' bounds, P13.34 and P13.35 for the PID set point): it is marked and never
    // written; -1 otherwise.
    int unreadCopy = -1;
};

// A number field holding a text that is no number in its form.
struct FieldRefusal {
    int reg = 0;
    int decimals = 0;   // at most this many decimals; 0: a whole number
    std::string range;  // the values its register holds, as the field writes them: "0.00~655.35"
    std::string text;   // what it holds, trimmed
    bool operator==(const FieldRefusal&) const = default;
};

// What the range checks leave of a write.
struct WriteCheck {
    // The write may not run while any is here; in page and list order.
    std::vector<CheckFailure> failures;
    // A full write whose only failures are values the drive itself holds as read, which nothing
    // the write changes bears on: the technician may write the rest without them.
    std::vector<CheckFailure> driveHeld;
};

// A setting the drive would refuse with one of its parameter errors once written.
struct DriveWarning {
    std::string error;  // the drive's code: "ErP1", "ErP2", "ErP3"
    // ErP1: the terminals set to one function; ErP2, ErP3: the two V/F frequencies out of order,
    // fe`point` first and fe`point`+1 after it.
    std::vector<int> regs;
    int point = 0;
    // As shown: ErP1 the function the terminals share (its option, or the raw value); ErP2, ErP3
    // the two frequencies.
    std::vector<std::string> shown;
    bool operator==(const DriveWarning&) const = default;
};

// One point of a motor's V/F curve as its fields hold it now.
struct VfPoint {
    int frequencyReg = 0;             // P09.10 (fe0) ... P09.02 (fe4)
    int voltageReg = 0;               // P09.11 (V0) ... P09.03 (V4)
    std::optional<double> frequency;  // Hz; empty while its field holds no number
    std::optional<double> voltage;    // V
    bool outOfOrder = false;          // its frequency is above the next one's or below the last's
};

// A parameter the write did not bring to the drive, and why.
struct WriteIssue {
    enum class Why {
        NotConfirmed,  // sent, and the drive refused it or gave no usable reply (`reply`)
        CopyUnread,    // not sent: its field depends on `copy`, whose opening read failed
        NotShown,      // not sent: its field does not show the drive's value
        OutOfRange,    // not sent: no register holds the value
        NoSelection,   // not sent: its list has nothing selected
    };
    WriteIssue(int reg, Why why, ReplyCheck reply = {}, int copy = -1)
        : reg(reg), why(why), reply(reply), copy(copy) {}
    int reg;
    Why why;
    ReplyCheck reply;  // with NotConfirmed
    int copy;          // with CopyUnread
};

struct WriteOutcome {
    enum class End {
        Finished,          // every step ran (some writes may still be unconfirmed)
        Declined,          // the motor runs and the technician chose not to write
        NoAnswer,          // the drive did not answer the running check: nothing was written
        DriveSilent,       // three writes in a row without a reply: the rest was not sent
        NotAtNewSettings,  // after a rate or format change the drive did not answer
    };
    End end = End::Finished;
    int confirmed = 0;                    // writes the drive confirmed
    std::vector<WriteIssue> unconfirmed;  // refused or not answered
    std::vector<WriteIssue> skipped;      // not sent
    bool factoryReset = false;            // a confirmed reset to factory values
    // With NotAtNewSettings: the line settings ("9600,E,7,1 ASCII") and station now in use.
    std::string settingsInUse;
    int stationInUse = 0;
    // Nothing for the technician to be told beyond "done".
    bool complete() const { return end == End::Finished && unconfirmed.empty() && skipped.empty(); }
    // A port that went away stopped the write, not the drive.
    bool portLost() const {
        for (const WriteIssue& issue : unconfirmed)
            if (issue.reply.outcome == LinkOutcome::PortError)
                return true;
        return false;
    }
    // Every parameter the write did not bring to the drive, as its report lists them: the
    // unconfirmed first, then the skipped.
    std::vector<WriteIssue> issues() const {
        std::vector<WriteIssue> all = unconfirmed;
        all.insert(all.end(), skipped.begin(), skipped.end());
        return all;
    }
};

// One register the write sent, as the drive answered it.
struct RegisterWritten {
    int reg = 0;
    std::optional<std::int32_t> before;  // the drive's value, when read or written in this visit
    std::int32_t value = 0;              // as the drive keeps it
    bool confirmed = false;
    // What the field showed the value before with, and shows the new one with.
    DisplayContext shownBefore, shownAfter;
};

// What the write asks of its caller while it runs.
struct WriteHooks {
    std::function<bool()> confirmWhileRunning;  // the motor runs: go on writing?
    std::function<void()> writing;              // the writes begin
    std::function<void(int page)> pageRead;     // a page was read again: show it
    // A rehearsal: nothing is written. Every write the sequence would send goes here instead
    // and counts as confirmed; the line keeps its settings and no page is read again. The
    // running check is read from the drive as in a real write.
    std::function<void(int reg, std::uint16_t word)> rehearse;
    // Each register sent, once the drive answered or the line gave up; never in a rehearsal.
    std::function<void(const RegisterWritten&)> registerWritten;
};

// What a write sends. Both keep the order and every rule of the write: the running check, the
// unit switches' pages read again, the link parameters last with the line following, the lock
// and reset after them.
enum class WriteScope {
    Everything,   // every writable register of every present page
    ChangedOnly,  // only the registers whose working value is not the drive's value as read
};

// A register a write sends, with the value it takes.
struct PlannedWrite {
    int reg = 0;
    std::int32_t value = 0;  // as the drive holds it (a rate is its code, not its list position)
};

// What a write will change on the drive, before it runs: every parameter it sends whose drive
// value it changes (or whose drive value was never read), as the editor shows both values.
struct WritePreview {
    // A value as its field shows it (empty: it cannot show it), and raw.
    struct Value {
        std::optional<std::string> shown;
        std::int32_t raw = 0;
        bool operator==(const Value&) const = default;
    };
    struct Change {
        int reg = 0;
        std::optional<Value> before;  // the drive's value; empty: never read
        Value after;                  // the value written
    };
    std::vector<Change> changes;
    int unchanged = 0;  // registers sent with the value the drive already holds
};

class EditorCore {
public:
    using Values = std::array<std::int32_t, kRegisterCount>;
    using PageFlags = std::array<std::int16_t, kPageCount + 1>;

    static constexpr int kPidSetpointRegister = 440;
    // Read once when the editor opens online, in this order.
    static constexpr std::array<int, 5> kOpeningReads = {
        drive::kRampUnitParameter, drive::kStepUnitParameter, drive::kRatedCurrentParameter,
        drive::kPidFullScaleParameter, drive::kPidDecimalsParameter};

    // A new visit of the editor: no page is present and nothing is marked. The values and the
    // copies stay from the visit before, as the drive has not changed them meanwhile.
    // `line` is null offline.
    void beginVisit(LineSession* line, Framing framing);
    // The visit ends: the line session goes with its window.
    void endVisit() { m_line = nullptr; }
    bool offline() const { return m_line == nullptr; }
    LineSession* line() const { return m_line; }

    // ---- Reading from the drive ----
    // Reads the page's registers one request each unless the page is present, then refreshes the
    // link and lock copies. The line session asks a register without a usable reply again before
    // the read gives up. Runs inside an operation of the line session.
    PageReadOutcome readPage(int page);
    // The five single reads of the copies the display, conversion and checks depend on. A read
    // without a usable reply to any try leaves the copy empty, never taken as 0.
    void readOpeningCopies();
    // The registers whose opening read failed, in reading order.
    std::vector<int> unreadCopies() const;

    // ---- Display ----
    // The content of every field of the page from the values last read, and the marks of the
    // fields that cannot show their value. A page that is not present (its read failed) shows
    // nothing: empty fields, nothing selected.
    std::vector<FieldView> showPage(int page);
    // Whether the field holds something other than the drive's value that the technician saw:
    // a write or save must not take it.
    bool unshown(int reg) const { return m_unshown.at(reg); }
    // The technician chose a value in the field: it now holds what they meant, unless its text
    // cannot be read at all (P13.04 while P13.35 is outside 0-4, a time while its unit switch
    // shows no unit, a field whose bounds were not read). Returns whether it is marked.
    bool fieldEdited(int reg);

    // Sets the working values of the fields in `views` to what the conversion of the fields would
    // give once they show them (a page read's or a load's views), for a caller without fields:
    // the command line's backup and restore. Marked fields and fields left as they were keep
    // their working values.
    void takeShown(const std::vector<FieldView>& views) { takeFields(views, {}); }
    // As takeShown, with the technician's `edits` in place of what their fields show, as the
    // window's conversion takes its fields: the unit switches and P13.35 first, so every other
    // field of the views is taken at the resolution the write leaves (a time shown as "12.34"
    // becomes 123 once P03.00 is 1). Returns the edited registers that could not be taken: a
    // text the field refuses, or a field that stays marked (its unit is not known).
    std::vector<int> takeFields(const std::vector<FieldView>& views,
                                const std::map<int, FieldContent>& edits);

    // ---- Parameter files ----
    // The parameter file of the working values: online the present pages, offline P0-P548. A
    // field marked as not showing its value saves the raw value it was given (by the drive or
    // by a file), never what the field happens to hold.
    std::string fileText(bool offline) const;
    // Applies a sound load: the page flags become the file's pages, and every field of a held
    // page is shown from the file's value (the views returned, in page and register order, are
    // shown as a page read's are; fields that cannot show the value are marked and keep the raw
    // value for a save, never for a write). The working values, the drive values and the copies
    // stay: the file's values reach the working values at the next conversion. A load with an
    // error changes nothing and gives no views.
    std::vector<FieldView> applyLoad(const ParameterFileLoad& load);

    // ---- Conversion ----
    // Every field of P0-P548 into the working values; a field that fails keeps its value.
    void convert(std::span<const FieldContent, kRegisterCount> fields, char decimalSeparator = '.');
    // The fields as they stand when the editor opens offline.
    static std::array<FieldContent, kRegisterCount> offlineFields() { return factoryFields(); }

    // ---- Range check and write ----
    // The range checks of every present page over the working values, in page and list order,
    // then every value the write would send that does not fit its register's 16 bits
    // ("P13.26 範圍不在0.00~655.35。"). Fields that are never written are not checked. Bounds and
    // decimals that depend on another parameter take the value it will hold after the write.
    std::vector<CheckFailure> checkValues() const;
    // The checks as a write with `scope` meets them (WriteChecks). Writing the changed
    // values only, a failure counts when the write sends its value or a value its bounds, unit
    // or decimals follow; the others do not hold it up.
    WriteCheck checkWrite(WriteScope scope) const;
    // Whether a write with WriteScope::ChangedOnly sends `reg`: its page is present and its
    // working value is not the drive's as read (or the drive's was never read).
    bool writeChanges(int reg) const;
    // The registers the checks, unit and decimals of `reg` follow (P02.37 for P02.36, P11.14
    // for the motor currents, P03.00 for the ramp times).
    static std::vector<int> checkSources(int reg);
    // The registers a write leaves out, as the technician chose; none until set again.
    void leaveOut(std::vector<int> regs) { m_leftOut = std::move(regs); }
    // Whether a number field holds a text that is not a number in its form (digits, at most its
    // decimals, a sign only where its register holds negatives, within its register): it is
    // marked, never written and never saved. An empty field is not refused.
    bool contentRefused(int reg) const;
    // What a refused field holds and the form it asks for; empty while it is not refused.
    std::optional<FieldRefusal> refusal(int reg) const;
    // The refused fields a write or save would take: offline every page's, online the present
    // pages', in register order.
    std::vector<FieldRefusal> refusedFields() const;
    // The context the working values are converted and shown with: the unit switches as
    // converted (a marked one names no unit), P13.35 as the write leaves it.
    ConversionContext conversionContext(char decimalSeparator = '.') const;
    DisplayContext workingDisplayContext() const;
    // P13.35 (P13.34) as the drive will hold it after the write: the working value while page
    // P13-2 is present, else the drive's copy.
    std::optional<std::int16_t> pidDecimalsAfterWrite() const;
    std::optional<std::int32_t> pidFullScaleAfterWrite() const;
    // The register of a parameter whose opening read failed and that `reg`'s field depends on.
    std::optional<int> unreadCopyFor(int reg) const;
    // Writes the working values of every present page, then the unit switches' pages again, the
    // link parameters and the lock and unlock codes. `link` follows every change of station,
    // rate, format and framing. Runs inside an operation of the line session.
    // With WriteScope::ChangedOnly a register whose drive value was never read counts as changed,
    // and the unlock codes go out only when they changed or the lock and reset value does.
    WriteOutcome writeToDrive(LinkState& link, const WriteHooks& hooks,
                              WriteScope scope = WriteScope::Everything);
    // The registers the write sends with `scope` as the working values stand, in the order it
    // sends them, and what that changes on the drive (WritePlan). Nothing is read: the
    // running check and the reads after a unit switch are the write's own.
    std::vector<PlannedWrite> plannedWrites(WriteScope scope) const;
    WritePreview previewWrite(WriteScope scope) const;
    // Whether the working value of `reg` is the drive's value as last read or written.
    bool sameAsDrive(int reg) const { return m_driveKnown.at(reg) && m_working[reg] == m_drive[reg]; }
    // Whether the drive's value of `reg` was read or confirmed written in this visit.
    bool driveKnown(int reg) const { return m_driveKnown.at(reg); }

    // ---- Marks and the facts of a field (FieldMarking) ----
    const FieldMarking& marking() const { return m_marking; }
    // The technician typed or picked: the field now holds `content`.
    void fieldContentIs(int reg, const FieldContent& content) { m_marking.contentIs(reg, content); }
    // Every field holds `contents` as it was shown (offline: the factory values); none is changed.
    void fieldsShown(std::span<const FieldContent, kRegisterCount> contents) {
        m_marking.allShown(contents);
    }
    FieldMarks marks(int reg) const { return m_marking.marks(*this, reg); }
    bool pageChanged(int page) const { return m_marking.pageChanged(*this, page); }
    const FieldContent& fieldContent(int reg) const { return m_marking.content(reg); }
    FieldFacts fieldFacts(int reg) const { return m_marking.facts(*this, reg); }
    // The range the check before a write holds the field to now, as the field writes it: the
    // check's own text, or for a bound taken from another parameter the numbers it gives now;
    // empty for a field no check tests.
    std::vector<RangeInForce> rangeInForce(int reg) const;

    // ---- Before a write (DriveWarningCheck) ----
    // The settings of the working values that the drive would answer with ErP1 (two of
    // P05.03-P05.12 with one function other than 0), ErP2 or ErP3 (motor 1's or motor 2's V/F
    // frequencies out of order: fe0 <= fe1 <= fe2 <= fe3 <= fe4), over the present pages. The
    // drive judges; these only warn.
    std::vector<DriveWarning> driveWarnings() const;
    // The V/F curve of the motor whose page is `page` (P09-1, P10-1) as its fields hold it now,
    // fe0 first; empty for another page.
    std::vector<VfPoint> vfCurve(int page) const;
    // Whether the write would send P17.08 a value that resets the drive to its factory values.
    std::optional<std::int32_t> resetPending() const;

    // ---- State ----
    const Values& working() const { return m_working; }
    Values& working() { return m_working; }
    const Values& driveValues() const { return m_drive; }
    std::int32_t driveValue(int reg) const { return m_drive.at(reg); }
    bool pagePresent(int page) const { return m_pages.at(page) == 1; }
    const PageFlags& pageFlags() const { return m_pages; }
    // A page loaded from a parameter file counts as present; the file's load clears them first.
    void setPagePresent(int page, bool present) { m_pages.at(page) = present ? 1 : 0; }
    const DriveCopies& copies() const { return m_copies; }
    DriveCopies& copies() { return m_copies; }
    // The framing the editor last read with or switched to; the return to the mode menu hands
    // it back to the link state.
    Framing framingInUse() const { return m_framingInUse; }
    void setFramingInUse(Framing framing) { m_framingInUse = framing; }

    // ---- The drive's numbers ----
    // Signed parameters (choice fields, whose -1 means no selection, and parameters whose range
    // reaches below zero) take -32768..32767, all others 0..65535, whatever the framing.
    static bool isSigned(int reg);
    static std::int32_t driveValueOf(int reg, std::uint16_t word);

private:
    void refreshLinkCopies();
    // What the drive's values are shown with: its unit switches, P13.35 as read at the opening.
    DisplayContext driveDisplayContext() const {
        return {m_drive[drive::kRampUnitParameter], m_drive[drive::kStepUnitParameter],
                m_copies.pidDecimals};
    }
    // The unit switches and P13.35 as their fields hold them now.
    ConversionContext markContext() const { return m_marking.context(*this); }
    void refreshOpeningCopies(int page);
    // The write's plan and sequence (WriteSequence.h) work on this state.
    friend class WritePlan;
    friend class WriteSequence;
    friend class WriteChecks;
    friend class DriveWarningCheck;
    friend class FieldMarking;

    std::vector<int> m_leftOut;  // the registers the technician chose to leave out of a write

    LineSession* m_line = nullptr;
    Values m_working{};
    Values m_drive{};
    // The drive's value of the register was read or confirmed written in this visit, and the
    // drive has not been reset to its factory values since.
    std::array<bool, kRegisterCount> m_driveKnown{};
    PageFlags m_pages{};
    DriveCopies m_copies;
    Framing m_framingInUse = Framing::Ascii;
    std::array<bool, kRegisterCount> m_unshown{};
    Values m_unshownRaw{};   // the raw value a marked field was given, saved in its place
    FieldMarking m_marking;  // what each field holds and was shown with
};

}  // namespace velorin
