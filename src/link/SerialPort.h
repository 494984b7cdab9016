#pragma once
// The serial port a window owns. Each window opens and closes its own; the link transactions are
// handed the caller's port. Reception is by polling: take() returns what has arrived.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "TimedWait.h"

namespace velorin {

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

    // PortOpen = true / false / read.
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

    TimedWait& timedWait() const { return *m_wait; }

    // When the line was last busy (end of our request or of the last reply): the link keeps
    // the line silent for 3.5 characters after it before the next request.
    Micros lastTraffic() const { return m_lastTraffic; }
    void setLastTraffic(Micros t) { m_lastTraffic = t; }

    // Whether the adapter echoes what we send (learned from the replies to reads).
    bool localEcho() const { return m_localEcho; }
    void setLocalEcho(bool echoes) { m_localEcho = echoes; }

    // Replies that arrived after their transaction had given up on them.
    long lateReplies() const { return m_lateReplies; }
    void countLateReply() { ++m_lateReplies; }

protected:
    std::string m_settings;

private:
    TimedWait* m_wait;
    int m_commPort = 1;
    Micros m_lastTraffic{-1000000};
    bool m_localEcho = false;
    long m_lateReplies = 0;
};

}  // namespace velorin
