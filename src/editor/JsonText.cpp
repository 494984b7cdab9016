#include "editor/JsonText.h"

#include <cctype>
#include <cstdio>

namespace velorin {

std::string jsonQuoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + '"';
}

namespace {

class FlatReader {
public:
    explicit FlatReader(std::string_view text) : m_text(text) {}

    std::optional<std::map<std::string, JsonScalar>> object() {
        std::map<std::string, JsonScalar> members;
        if (!take('{'))
            return std::nullopt;
        if (take('}'))
            return end() ? std::optional(members) : std::nullopt;
        do {
            auto key = string();
            if (!key || !take(':'))
                return std::nullopt;
            auto value = scalar();
            if (!value || !members.emplace(*key, *value).second)
                return std::nullopt;
        } while (take(','));
        if (!take('}') || !end())
            return std::nullopt;
        return members;
    }

private:
    void blanks() {
        while (m_at < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_at])))
            ++m_at;
    }
    bool take(char c) {
        blanks();
        if (m_at < m_text.size() && m_text[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    bool end() {
        blanks();
        return m_at == m_text.size();
    }
    std::optional<std::string> string() {
        if (!take('"'))
            return std::nullopt;
        std::string out;
        while (m_at < m_text.size()) {
            const char c = m_text[m_at++];
            if (c == '"')
                return out;
            if (static_cast<unsigned char>(c) < 0x20)
                return std::nullopt;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_at >= m_text.size())
                return std::nullopt;
            const char e = m_text[m_at++];
            const std::string_view simple = "\"\\/bfnrt", meant = "\"\\/\b\f\n\r\t";
            if (const auto i = simple.find(e); i != std::string_view::npos) {
                out += meant[i];
            } else if (e == 'u' && m_at + 4 <= m_text.size()) {
                // Only the control characters jsonQuoted() writes this way.
                unsigned code = 0;
                for (int k = 0; k < 4; ++k) {
                    const char h = m_text[m_at++];
                    if (!std::isxdigit(static_cast<unsigned char>(h)))
                        return std::nullopt;
                    code =
                        code * 16 + (std::isdigit(static_cast<unsigned char>(h))
                                         ? h - '0'
                                         : std::tolower(static_cast<unsigned char>(h)) - 'a' + 10);
                }
                if (code >= 0x80)
                    return std::nullopt;
                out += static_cast<char>(code);
            } else {
                return std::nullopt;
            }
        }
        return std::nullopt;
    }
    std::optional<JsonScalar> scalar() {
        blanks();
        if (m_at < m_text.size() && m_text[m_at] == '"') {
            auto s = string();
            return s ? std::optional(JsonScalar{*s, true}) : std::nullopt;
        }
        const std::size_t start = m_at;
        while (m_at < m_text.size() &&
               (std::isalnum(static_cast<unsigned char>(m_text[m_at])) || m_text[m_at] == '-' ||
                m_text[m_at] == '+' || m_text[m_at] == '.'))
            ++m_at;
        if (m_at == start)
            return std::nullopt;
        return JsonScalar{std::string(m_text.substr(start, m_at - start)), false};
    }

    std::string_view m_text;
    std::size_t m_at = 0;
};

}  // namespace

std::optional<std::map<std::string, JsonScalar>> parseFlatJsonObject(std::string_view text) {
    return FlatReader(text).object();
}

}  // namespace velorin
