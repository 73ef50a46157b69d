#pragma once
// Addresses of UDP commands and events.

#include <boost/asio/ip/udp.hpp>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A numeric IPv4 or IPv6 address text and a port as an endpoint; nullopt when the text is no IP
// address (host names are not looked up) or the port is above 65535.
std::optional<boost::asio::ip::udp::endpoint> udpEndpointOf(const std::string& addr, std::uint64_t port);

// The address and port joined by a colon, as events name a datagram's sender ("127.0.0.1:5000").
std::string hostText(const boost::asio::ip::udp::endpoint& endpoint);

// Addresses ending in ".255" are taken for broadcast addresses when a slot opens.
bool isBroadcastText(std::string_view addr);
