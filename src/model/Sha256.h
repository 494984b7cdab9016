#pragma once
// SHA-256 (FIPS 180-4) of a byte string, as lowercase hexadecimal: how a backup's sidecar and a
// service report name a parameter set, so two can be compared by eye or by sha256sum.

#include <string>
#include <string_view>

namespace velorin {

std::string sha256Hex(std::string_view bytes);

}  // namespace velorin
