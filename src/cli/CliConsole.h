#pragma once
// The technician's view of stderr: plain lines, and on a terminal one live line that the next
// line or live update replaces.

#include <QString>
#include <QTextStream>

namespace velorin {

class CliConsole {
public:
    CliConsole(QTextStream& err, bool terminal) : m_err(err), m_terminal(terminal) {}
    bool terminal() const { return m_terminal; }
    // The stream itself, for a command run inside another (each drive of a many-drives restore).
    QTextStream& stream() {
        clearLive();
        return m_err;
    }

    void line(const QString& text) {
        clearLive();
        m_err << text << '\n';
        m_err.flush();
    }
    void live(const QString& text) {
        if (!m_terminal)
            return;
        m_err << '\r' << text.leftJustified(m_live);
        m_live = static_cast<int>(text.size());
        m_err.flush();
    }
    void endLive() {
        clearLive();
        m_err.flush();
    }

private:
    void clearLive() {
        if (m_live == 0)
            return;
        m_err << '\r' << QString(m_live, QLatin1Char(' ')) << '\r';
        m_live = 0;
    }

    QTextStream& m_err;
    bool m_terminal;
    int m_live = 0;
};

}  // namespace velorin
