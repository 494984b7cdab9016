#include "NetworkAddress.h"

#include <algorithm>
#include <cctype>

namespace velorin {

std::string NetworkAddress::text() const {
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::optional<NetworkAddress> parseNetworkAddress(std::string_view typed) {
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!typed.empty() && blank(typed.front())) typed.remove_prefix(1);
    while (!typed.empty() && blank(typed.back())) typed.remove_suffix(1);
    NetworkAddress a;
    std::string_view portText;
    if (typed.starts_with('[')) {
        const auto close = typed.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        a.host = typed.substr(1, close - 1);
        const std::string_view rest = typed.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':'))
            return std::nullopt;
        if (!rest.empty())
            portText = rest.substr(1);
        if (rest == ":")
            return std::nullopt;
    } else {
        const auto colon = typed.find(':');
        a.host = typed.substr(0, colon);
        if (colon != std::string_view::npos) {
            portText = typed.substr(colon + 1);
            if (portText.empty())
                return std::nullopt;
        }
    }
    const bool hostUsable =
        !a.host.empty() && std::none_of(a.host.begin(), a.host.end(), [&](char c) {
            return blank(c) || c == '[' || c == ']' || c == '/' ||
                   (c == ':' && !typed.starts_with('['));
        });
    if (!hostUsable)
        return std::nullopt;
    if (!portText.empty()) {
        if (portText.size() > 5 || !std::all_of(portText.begin(), portText.end(),
                                                [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        a.port = std::stoi(std::string(portText));
        if (a.port < 1 || a.port > 65535)
            return std::nullopt;
    }
    return a;
}

}  // namespace velorin
