#include "LinkSettings.h"

#include <algorithm>
#include <charconv>

namespace velorin {

std::string settingsString(int rate, int format) {
    return std::string(kRates.at(rate).text) + std::string(kFormats.at(format).suffix);
}

std::string replaceFormat(std::string_view settings, int format) {
    std::string_view head =
        settings.size() > kSuffixLength ? settings.substr(0, settings.size() - kSuffixLength) : "";
    return std::string(head) + std::string(kFormats.at(format).suffix);
}

std::string replaceRate(std::string_view settings, int rate) {
    std::string_view tail = settings.size() > kSuffixLength
                                ? settings.substr(settings.size() - kSuffixLength)
                                : settings;
    return std::string(kRates.at(rate).text) + std::string(tail);
}

std::optional<LineSettings> parseSettings(std::string_view s) {
    if (std::count(s.begin(), s.end(), ',') != 3)
        return std::nullopt;
    auto field = [&s]() -> std::string_view {
        auto comma = s.find(',');
        std::string_view f = s.substr(0, comma);
        s = comma == std::string_view::npos ? std::string_view{} : s.substr(comma + 1);
        return f;
    };
    auto number = [](std::string_view f) -> std::optional<int> {
        int v = 0;
        auto [p, ec] = std::from_chars(f.data(), f.data() + f.size(), v);
        if (ec != std::errc{} || p != f.data() + f.size() || f.empty())
            return std::nullopt;
        return v;
    };
    LineSettings ls;
    auto baud = number(field());
    std::string_view parity = field();
    auto data = number(field());
    auto stop = number(field());
    if (!baud || !data || !stop || parity.size() != 1 || !s.empty())
        return std::nullopt;
    char p = parity[0];
    if (p == 'n')
        p = 'N';
    if (p == 'e')
        p = 'E';
    if (p == 'o')
        p = 'O';
    if (p != 'N' && p != 'E' && p != 'O')
        return std::nullopt;
    if (*baud <= 0 || *data < 5 || *data > 8 || (*stop != 1 && *stop != 2))
        return std::nullopt;
    ls.baud = *baud;
    ls.parity = p;
    ls.dataBits = *data;
    ls.stopBits = *stop;
    return ls;
}

std::optional<int> rateIndexOf(std::string_view settings) {
    for (int r = 0; r < static_cast<int>(kRates.size()); ++r)
        for (int f = 0; f < static_cast<int>(kFormats.size()); ++f)
            if (settings == settingsString(r, f))
                return r;
    return std::nullopt;
}

std::optional<int> formatIndexOf(std::string_view settings) {
    if (!rateIndexOf(settings))
        return std::nullopt;
    for (int f = 0; f < static_cast<int>(kFormats.size()); ++f)
        if (settings.ends_with(kFormats[f].suffix))
            return f;
    return std::nullopt;
}

}  // namespace velorin
