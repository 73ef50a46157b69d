#include "service/udp/udp_address.hpp"

#include <limits>

std::optional<boost::asio::ip::udp::endpoint> udpEndpointOf(const std::string& addr, std::uint64_t port) {
    if (port > std::numeric_limits<std::uint16_t>::max()) return std::nullopt;
    boost::system::error_code ec;
    const auto address = boost::asio::ip::make_address(addr, ec);
    if (ec) return std::nullopt;
    return boost::asio::ip::udp::endpoint(address, static_cast<std::uint16_t>(port));
}

std::string hostText(const boost::asio::ip::udp::endpoint& endpoint) {
    return endpoint.address().to_string() + ":" + std::to_string(endpoint.port());
}

bool isBroadcastText(std::string_view addr) {
    return addr.ends_with(".255");
}
