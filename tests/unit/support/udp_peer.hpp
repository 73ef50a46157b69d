#pragma once
// A UDP socket on 127.0.0.1 that plays the far end of a slot in tests: sends datagrams and waits
// for them with a time-out. Header-only, so the end-to-end tests use it too.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <optional>
#include <random>
#include <vector>

class UdpPeer {
  public:
    // Bound to 127.0.0.1 and the given port (0: one the system picks).
    explicit UdpPeer(std::uint16_t port = 0) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = loopback(port);
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return;
        socklen_t length = sizeof address;
        if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port_ = ntohs(address.sin_port);
    }
    ~UdpPeer() {
        if (fd_ >= 0) ::close(fd_);
    }
    UdpPeer(const UdpPeer&) = delete;
    UdpPeer& operator=(const UdpPeer&) = delete;

    // 0 when the socket could not be set up.
    std::uint16_t port() const { return port_; }

    bool sendTo(std::uint16_t port, const std::vector<std::uint8_t>& bytes) const {
        const sockaddr_in address = loopback(port);
        return ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&address),
                        sizeof address) == static_cast<ssize_t>(bytes.size());
    }

    // The next datagram, or nullopt after the time-out.
    std::optional<std::vector<std::uint8_t>> receive(
        std::chrono::milliseconds timeout = std::chrono::seconds(5)) const {
        pollfd wait{fd_, POLLIN, 0};
        if (::poll(&wait, 1, static_cast<int>(timeout.count())) != 1) return std::nullopt;
        std::vector<std::uint8_t> bytes(65536);
        const ssize_t got = ::recv(fd_, bytes.data(), bytes.size(), 0);
        if (got < 0) return std::nullopt;
        bytes.resize(static_cast<std::size_t>(got));
        return bytes;
    }

    // A loopback port that was free a moment ago.
    static std::uint16_t freePort() { return UdpPeer().port(); }

    // A free port below the system's ephemeral range, for a test that closes and rebinds one port
    // many times: between two binds, any socket of a parallel test that binds port 0 may be handed
    // an ephemeral port, never one of these.
    static std::uint16_t freePortOutsideEphemeralRange() {
        std::random_device seed;
        std::mt19937 pick(seed());
        int ephemeralLow = 32768;
        std::ifstream("/proc/sys/net/ipv4/ip_local_port_range") >> ephemeralLow;
        if (ephemeralLow <= 10000) return freePort();
        std::uniform_int_distribution<int> port(ephemeralLow / 2, ephemeralLow - 1);
        for (int attempt = 0; attempt < 200; ++attempt) {
            const auto candidate = static_cast<std::uint16_t>(port(pick));
            if (UdpPeer(candidate).port() == candidate) return candidate;
        }
        return freePort();
    }

  private:
    static sockaddr_in loopback(std::uint16_t port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }

    int fd_ = -1;
    std::uint16_t port_ = 0;
};
