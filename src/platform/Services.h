#pragma once
// What the windows need from the platform, bundled in one object: main() fills it with the Qt
// implementations, tests with the simulated drive, scripted dialogs and a virtual clock.

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "drive/ConnectSession.h"
#include "link/LineSession.h"
#include "link/LinkSettings.h"
#include "link/SerialPort.h"
#include "link/TimedWait.h"

namespace velorin {

class ChangeLogFile;

// The technician's answer to a Yes/No question.
enum class Answer { Yes, No };

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A modal box with one OK button.
    virtual void message(QWidget* parent, const QString& text, const QString& title) = 0;
    // A modal box with Yes and No buttons and no icon.
    virtual Answer question(QWidget* parent, const QString& text, const QString& title) = 0;
    // The same box before something that cannot be taken back (a reset, dropped edits, a
    // setting the drive may refuse): No is the default button, so Enter keeps things as they are.
    virtual Answer cautiousQuestion(QWidget* parent, const QString& text, const QString& title) = 0;
    // A Yes/No box over a table of `rows` under the `columns`' headers (what a write will
    // change); No is the default button.
    virtual Answer confirmTable(QWidget* parent, const QString& text, const QStringList& columns,
                                const std::vector<QStringList>& rows, const QString& title) = 0;
    // A modal prompt for a typed text; empty when cancelled.
    virtual std::optional<QString> input(QWidget* parent, const QString& prompt,
                                         const QString& title) = 0;
    // The same for a password: what is typed is not shown.
    virtual std::optional<QString> password(QWidget* parent, const QString& prompt,
                                            const QString& title) {
        return input(parent, prompt, title);
    }
    // File dialogs; empty when cancelled. `filter` is in Qt's "名稱 (*.txt)" form.
    virtual std::optional<QString> openFile(QWidget* parent, const QString& title,
                                            const QString& folder, const QString& filter) = 0;
    virtual std::optional<QString> saveFile(QWidget* parent, const QString& title,
                                            const QString& folder, const QString& defaultName,
                                            const QString& filter) = 0;
    // A folder dialog starting at `folder`; empty when cancelled.
    virtual std::optional<QString> chooseFolder(QWidget* /*parent*/, const QString& /*title*/,
                                                const QString& /*folder*/) {
        return std::nullopt;
    }
};

class Folders {
public:
    virtual ~Folders() = default;
    // The folder the program runs from.
    virtual QString programFolder() const = 0;
    // The user's desktop folder.
    virtual QString desktopFolder() const = 0;
};

// What the port list says of a port, learned without opening it.
enum class PortState { Free, InUse, NoPermission };

struct ListedPort {
    int comNumber = 0;
    QString device;
    PortState state = PortState::Free;
};

// Makes the serial port object a window owns. Its port number (COM1..COM16) is set by the window
// and picks the device at open().
class PortProvider {
public:
    virtual ~PortProvider() = default;
    virtual std::unique_ptr<SerialPort> createPort(TimedWait& wait) = 0;
    // The ports there are now, by COM number, each with what can be learned without opening it:
    // another program's lock file, the device's permissions. Listing never opens a port: an open
    // raises and drops DTR, which resets many devices on other ports. A port another program
    // holds without a lock file shows as free until the technician's own open fails.
    virtual std::vector<ListedPort> listPorts() = 0;
    // "COM3" with the device behind it for the user ("/dev/ttyUSB0"), empty when there is none.
    virtual QString deviceOf(int comNumber) const = 0;
    // The connection to a network gateway (made at open()); nullptr where there is no network.
    virtual std::unique_ptr<SerialPort> createGatewayPort(TimedWait& /*wait*/,
                                                          const NetworkAddress& /*address*/) {
        return nullptr;
    }
};

// What the program keeps between runs (the reply timeout of the connection screen). main() keeps
// it with QSettings; tests keep it in a temporary file.
class Settings {
public:
    virtual ~Settings() = default;
    // Empty when nothing (or no whole number) is kept under `key`.
    virtual std::optional<int> number(const QString& key) const = 0;
    virtual void setNumber(const QString& key, int value) = 0;
    // A text kept under `key` (a gateway's address); empty when none is.
    virtual std::optional<QString> text(const QString& /*key*/) const { return std::nullopt; }
    virtual void setText(const QString& /*key*/, const QString& /*value*/) {}
};

// What a window hands the window it opens: itself, when it stays up until the new window lets
// it go (the mode menu stays, locked, until the editor has read its first page), and the way
// back. The new window returns only there and closes only that window.
struct Opening {
    QPointer<QWidget> opener;
    std::function<QWidget*()> back;  // shows the window to return to
};

// The windows a window can open next; main() makes the real ones, tests may watch them.
struct WindowFactory {
    std::function<QWidget*()> connection;
    std::function<QWidget*()> menu;
    std::function<QWidget*(const Opening&)> editor;
    std::function<QWidget*(const Opening&)> runPanel;
};

struct Services {
    // ---- The link: where the drive was found and how it is reached ----
    // Every window reads it; it changes only through the steps below, so that no window sets
    // part of it behind another's back.
    const LinkState& link() const { return m_link; }
    // The connection screen opens: a drive is to be found, at ASCII until a search says more.
    void startConnecting() {
        m_link.framing = Framing::Ascii;
        m_link.offline = false;
    }
    // The technician's choices on the connection screen.
    void chooseGateway(const std::optional<NetworkAddress>& gateway, Framing framing) {
        m_link.gateway = gateway;
        if (gateway)
            m_link.framing = framing;
    }
    void chooseComPort(int comPort) { m_link.comPort = comPort; }
    void chooseStation(std::uint8_t station) { m_link.station = station; }
    // A gateway's serial side: no COM port, and line settings that only time the wait.
    void reachThroughGateway(std::string_view fallbackSettings) {
        m_link.comPort = 0;
        if (m_link.settings.empty())
            m_link.settings = fallbackSettings;
    }
    // A search's step (framing and station being tried) and what it found.
    void trying(Framing framing) { m_link.framing = framing; }
    void found(std::uint8_t station, Framing framing, const std::string& settings) {
        m_link.station = station;
        m_link.framing = framing;
        m_link.settings = settings;
    }
    // No drive: the editor works on files alone.
    void goOffline() { m_link.offline = true; }
    // The framing the editor's line ended at (a write may have moved it).
    void followFraming(Framing framing) { m_link.framing = framing; }
    // The drive on the same line that every window serves from now on: the windows opened after
    // read, write, run and log at `station`. The one place the station changes after connecting.
    void useDrive(std::uint8_t station) { m_link.station = station; }
    // A write that may move the drive (its station, rate or format, a factory reset): `write`
    // is handed the link to follow as it goes, and the line's list of drives follows the drive
    // in use afterwards. The editor's write and the developer write go through here.
    template <class Write>
    auto writeFollowingLink(Write&& write) {
        const LinkState before = m_link;
        auto outcome = write(m_link);
        followMovedDrive(drives, before, m_link);
        return outcome;
    }
    // The whole link at once (a test's set-up, a window that starts from a known drive).
    void setLink(const LinkState& link) { m_link = link; }

    // The drives found on the line at the link's settings, by station: the survey's, and those
    // reached since by their station. Empty when the link was found by a probe or the search.
    std::vector<SurveyedDrive> drives;
    // The drive in use, where the line's list holds it.
    const SurveyedDrive* driveInUse() const {
        for (const SurveyedDrive& d : drives)
            if (d.station == m_link.station)
                return &d;
        return nullptr;
    }
    // The port went away under a window (adapter unplugged) and no window has opened it since:
    // every window names the port as lost, none blames the drive.
    bool portLost = false;
    Dialogs* dialogs = nullptr;
    Folders* folders = nullptr;
    PortProvider* ports = nullptr;
    TimedWait* wait = nullptr;
    Settings* settings = nullptr;  // none: nothing is kept between runs
    // Where every write to a drive is logged; none: nothing is.
    ChangeLogFile* changeLog = nullptr;
    // Shows a folder in the system's file manager.
    std::function<void(const QString& folder)> openFolder;
    // How long each transaction waits for a reply, as the technician set it on the connection
    // screen; every window's line session starts with it.
    Micros replyTimeout{100000};
    // Whether pages are read in blocks (the connection screen's setting); every window's line
    // session starts with it.
    bool blockReads = false;
    // Observers of every window's line session (a line monitor, a test's record of the line):
    // whichever session is in use tells them of its transactions.
    LineObservers lineObservers;
    WindowFactory windows;
    // Shows the line monitor's window, one per program (Ctrl+L in every window).
    std::function<void()> showMonitor;
    // Ends the program at once, without any window's unload handling.
    std::function<void()> quit;

private:
    LinkState m_link;
};

// A window's line session on a port of its own (a gateway's connection when the link goes through
// one), waiting for replies as long as the technician set.
inline std::unique_ptr<LineSession> createLineSession(Services& services) {
    std::unique_ptr<SerialPort> gatewayPort =
        services.link().gateway
            ? services.ports->createGatewayPort(*services.wait, *services.link().gateway)
            : nullptr;
    auto session = std::make_unique<LineSession>(
        gatewayPort ? std::move(gatewayPort) : services.ports->createPort(*services.wait));
    if (services.link().gateway)
        session->setGatewayFraming(services.link().framing);
    session->setReplyTimeout(services.replyTimeout);
    session->setBlockReads(services.blockReads);
    session->shareObservers(services.lineObservers);
    return session;
}

}  // namespace velorin
