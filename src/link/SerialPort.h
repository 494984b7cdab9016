#pragma once
// The serial port a window owns. Each window opens and closes its own; the link transactions are
// handed the caller's port. take() returns what has arrived; a port whose data comes through an
// event loop tells the wait (TimedWait::wakeNow) when something arrived or the device went away.
//
// Besides the device, a port keeps what the link has learned of the line behind it: when it was
// last busy, whether the adapter echoes, and a request whose reply may still come.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "LinkSettings.h"
#include "TimedWait.h"

namespace velorin {

// Whether the adapter puts a copy of everything we send on its own input (2-wire RS-485 adapters
// often do). Unknown until a reply has shown it.
enum class AdapterEcho { Unknown, Echoes, Silent };

// A request that went without a usable reply: its reply may still be on its way.
struct UnansweredRequest {
    std::vector<std::uint8_t> request;
    Framing framing = Framing::Ascii;
    std::string settings;   // the line settings it was sent with
    Micros requestEnd{0};   // its end on the line
    Micros listenUntil{0};  // a reply later than this is not waited for
};

enum class OpenResult {
    Ok,
    InUse,         // another program holds the port
    NotFound,      // no such port (never there, or unplugged)
    NoPermission,  // the user may not open the device
    BadSettings,   // the settings string is unusable
    Failed,        // anything else the system reports
};

// Short user-facing name of an open result, for logs and the command line.
std::string_view openResultName(OpenResult r);

class SerialPort {
public:
    explicit SerialPort(TimedWait& wait) : m_wait(&wait) {}
    virtual ~SerialPort() = default;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // CommPort: port number 1..16; takes effect at the next open.
    void setCommPort(int n) { m_commPort = n; }
    int commPort() const { return m_commPort; }

    // Settings: "9600,N,7,2". Returns false (and keeps the old settings) when unusable; an open
    // port takes the new settings at once.
    virtual bool setSettings(std::string_view settings) = 0;
    const std::string& settings() const { return m_settings; }

    // PortOpen = true / false / read. A port whose device goes away (adapter unplugged, an I/O
    // error) closes itself: isOpen() turns false while the port was in use.
    virtual OpenResult open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // InBufferCount = 0: discards everything received so far.
    virtual void discardInput() = 0;
    // Output: sends at once without waiting for the line to drain. False when nothing was sent.
    virtual bool send(std::span<const std::uint8_t> bytes) = 0;
    // Input with InputLen 0: returns and removes all data received so far; never waits.
    virtual std::vector<std::uint8_t> take() = 0;

    // Device behind the port, for messages ("/dev/ttyUSB0", "COM3").
    virtual std::string deviceName() const = 0;
    // Whether bytes take their time on a wire at the port's rate: a real serial line does, a
    // pseudo-terminal, a virtual pair or a socket does not (there a reply can come at once).
    virtual bool carriesWireTime() const { return false; }
    // Whether the port is a connection to a network gateway: a byte stream in which frames end
    // by their length and checksum or header, never by a pause, and in which the gateway keeps
    // the silences of its serial side. A dropped connection is a lost port; reconnect() may
    // open it once more between jobs.
    virtual bool isNetwork() const { return false; }

    // The transaction id for the next Modbus TCP request: counts up from 1 over the port's life,
    // across reconnects too, so a reply of an old connection's request never matches a new one.
    std::uint16_t nextTransaction() {
        if (++m_transaction == 0)
            ++m_transaction;
        return m_transaction;
    }

    TimedWait& timedWait() const { return *m_wait; }

    // When the line was last busy (end of our request or of the last reply): the link keeps
    // the line silent for 3.5 characters after it before the next request.
    Micros lastTraffic() const { return m_lastTraffic; }
    void setLastTraffic(Micros t) { m_lastTraffic = t; }

    // Whether the adapter echoes what we send, as the replies have shown it.
    AdapterEcho echo() const { return m_echo; }
    void setEcho(AdapterEcho echo) { m_echo = echo; }
    bool localEcho() const { return m_echo == AdapterEcho::Echoes; }
    // true: the adapter echoes; false: forget what was learned (a freshly opened port).
    void setLocalEcho(bool echoes) { m_echo = echoes ? AdapterEcho::Echoes : AdapterEcho::Unknown; }

    // The last request that went without a usable reply, until the next transaction has listened
    // for its late reply.
    const std::optional<UnansweredRequest>& unanswered() const { return m_unanswered; }
    void setUnanswered(std::optional<UnansweredRequest> request) {
        m_unanswered = std::move(request);
    }

    // Replies that arrived after their transaction had given up on them.
    long lateReplies() const { return m_lateReplies; }
    void countLateReply() { ++m_lateReplies; }

    // How long a transaction waits for its reply after the request's end on the line (the
    // technician's setting, lengthened by the line session when the drive answers later).
    Micros replyWait() const { return m_replyWait; }
    void setReplyWait(Micros wait) { m_replyWait = wait; }

protected:
    std::string m_settings;

private:
    TimedWait* m_wait;
    int m_commPort = 1;
    Micros m_lastTraffic{-1000000};
    AdapterEcho m_echo = AdapterEcho::Unknown;
    std::optional<UnansweredRequest> m_unanswered;
    long m_lateReplies = 0;
    Micros m_replyWait{100000};
    std::uint16_t m_transaction = 0;
};

}  // namespace velorin
