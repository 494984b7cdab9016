#pragma once
// Where a network gateway is reached: a host and a TCP port, as the technician types them.

#include <optional>
#include <string>
#include <string_view>

namespace velorin {

// The port a Modbus TCP gateway listens on unless told otherwise.
inline constexpr int kModbusTcpPort = 502;

struct NetworkAddress {
    std::string host;  // a name or an address; an IPv6 address without its brackets
    int port = kModbusTcpPort;
    // "192.168.1.50:502", "[fe80::1]:502"
    std::string text() const;
    bool operator==(const NetworkAddress&) const = default;
};

// "HOST[:PORT]" as typed, blanks around it ignored: the port is 502 when none is given. An IPv6
// address is written in brackets ("[fe80::1]:502"). Empty when the text is no usable address:
// no host, blanks or brackets inside it, a port that is not 1..65535.
std::optional<NetworkAddress> parseNetworkAddress(std::string_view typed);

}  // namespace velorin
