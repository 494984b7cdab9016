#include "editor/BackupSidecar.h"

#include <cctype>
#include <charconv>

#include "editor/JsonText.h"
#include "model/Sha256.h"

namespace velorin {

namespace {

std::string number(const std::optional<std::int32_t>& v) {
    return v ? std::to_string(*v) : "null";
}

// A member that is a whole number or null; false for anything else.
bool readNumber(const JsonScalar& member, std::optional<std::int32_t>& out) {
    if (member.isString)
        return false;
    if (member.text == "null") {
        out.reset();
        return true;
    }
    std::int32_t v = 0;
    const char* end = member.text.data() + member.text.size();
    const auto [ptr, ec] = std::from_chars(member.text.data(), end, v);
    if (ec != std::errc{} || ptr != end)
        return false;
    out = v;
    return true;
}

}  // namespace

std::string sidecarPath(const std::string& file) {
    return file + ".json";
}

std::string sidecarText(const BackupSidecar& s) {
    return "{\n  \"model\": " + number(s.model) + ",\n  \"station\": " + std::to_string(s.station) +
           ",\n  \"link\": " + jsonQuoted(s.link) + ",\n  \"date\": " + jsonQuoted(s.date) +
           ",\n  \"run_hours\": " + number(s.runHours) +
           ",\n  \"program\": " + jsonQuoted(s.program) +
           ",\n  \"sha256\": " + jsonQuoted(s.sha256) + "\n}\n";
}

std::optional<BackupSidecar> parseSidecar(std::string_view text) {
    const auto members = parseFlatJsonObject(text);
    if (!members)
        return std::nullopt;
    BackupSidecar s;
    std::optional<std::int32_t> station;
    for (const auto& [key, member] : *members) {
        bool ok = true;
        if (key == "model")
            ok = readNumber(member, s.model);
        else if (key == "station")
            ok = readNumber(member, station) && station;
        else if (key == "run_hours")
            ok = readNumber(member, s.runHours);
        else if (key == "link" || key == "date" || key == "program" || key == "sha256")
            ok = member.isString;
        // Members a later program adds are passed over.
        if (!ok)
            return std::nullopt;
        if (key == "link")
            s.link = member.text;
        else if (key == "date")
            s.date = member.text;
        else if (key == "program")
            s.program = member.text;
        else if (key == "sha256")
            s.sha256 = member.text;
    }
    s.station = station.value_or(0);
    bool hex = s.sha256.size() == 64;
    for (char c : s.sha256)
        hex = hex && (std::isdigit(static_cast<unsigned char>(c)) || (c >= 'a' && c <= 'f'));
    if (!hex)
        return std::nullopt;
    return s;
}

SidecarCheck checkSidecar(std::string_view fileBytes,
                          const std::optional<std::string>& sidecarBytes,
                          std::optional<std::int32_t> driveModel) {
    SidecarCheck check;
    if (!sidecarBytes)
        return check;
    check.sidecar = parseSidecar(*sidecarBytes);
    if (!check.sidecar) {
        check.verdict = SidecarVerdict::Unreadable;
        return check;
    }
    const BackupSidecar& s = *check.sidecar;
    if (sha256Hex(fileBytes) != s.sha256) {
        check.verdict = SidecarVerdict::Altered;
    } else if (driveModel && s.model && *driveModel != *s.model) {
        check.verdict = SidecarVerdict::OtherModel;
        check.driveModel = driveModel;
    } else {
        check.verdict = SidecarVerdict::Matches;
    }
    return check;
}

}  // namespace velorin
