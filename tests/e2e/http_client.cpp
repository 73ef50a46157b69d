#include "http_client.hpp"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <cstdint>
#include <optional>

namespace {

int connectLoopback(int port, std::chrono::milliseconds timeout) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    timeval tv{static_cast<time_t>(timeout.count() / 1000),
               static_cast<suseconds_t>(timeout.count() % 1000 * 1000)};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
}

}  // namespace

RawConnection::RawConnection(int port, std::chrono::milliseconds receiveTimeout)
    : fd_(connectLoopback(port, receiveTimeout)) {}

RawConnection::~RawConnection() {
    if (fd_ >= 0) ::close(fd_);
}

bool RawConnection::send(const std::string& bytes) {
    return fd_ >= 0 &&
           ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

std::string RawConnection::receiveAll() {
    std::string text;
    char chunk[4096];
    ssize_t n;
    while (fd_ >= 0 && (n = ::recv(fd_, chunk, sizeof chunk, 0)) > 0)
        text.append(chunk, static_cast<size_t>(n));
    return text;
}

std::string RawConnection::receiveSome() {
    char chunk[4096];
    const ssize_t n = fd_ >= 0 ? ::recv(fd_, chunk, sizeof chunk, 0) : -1;
    return n > 0 ? std::string(chunk, static_cast<size_t>(n)) : std::string();
}

bool RawConnection::closedByPeer() {
    if (fd_ < 0) return true;
    char byte;
    return ::recv(fd_, &byte, 1, 0) == 0;
}

bool RawConnection::closesWithin(std::chrono::milliseconds limit) {
    if (fd_ < 0) return true;
    const auto until = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0))) <= 0) return false;
        char chunk[4096];
        if (::recv(fd_, chunk, sizeof chunk, 0) <= 0) return true;
    }
}

RawWebSocket::RawWebSocket(int port, std::chrono::milliseconds receiveTimeout)
    : connection_(port, receiveTimeout) {
    const std::string upgrade =
        "GET / HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
        "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
    if (!connection_.send(upgrade)) return;
    std::string response;
    while (response.find("\r\n\r\n") == std::string::npos) {
        const std::string some = connection_.receiveSome();
        if (some.empty()) return;
        response += some;
    }
    open_ = response.rfind("HTTP/1.1 101", 0) == 0;
}

std::string RawWebSocket::frame(int opcode, const std::string& payload, bool fin) {
    std::string bytes;
    bytes += static_cast<char>((fin ? 0x80 : 0) | opcode);
    if (payload.size() < 126) {
        bytes += static_cast<char>(0x80 | payload.size());
    } else {
        bytes += static_cast<char>(0x80 | 126);
        bytes += static_cast<char>(payload.size() >> 8);
        bytes += static_cast<char>(payload.size() & 0xFF);
    }
    const char mask[4] = {0x11, 0x22, 0x33, 0x44};
    bytes.append(mask, 4);
    for (std::size_t i = 0; i < payload.size(); ++i)
        bytes += static_cast<char>(payload[i] ^ mask[i % 4]);
    return bytes;
}

std::optional<HttpResult> parseHttpResponse(const std::string& text) {
    const auto headerEnd = text.find("\r\n\r\n");
    if (text.rfind("HTTP/1.1 ", 0) != 0 || headerEnd == std::string::npos) return std::nullopt;
    HttpResult result;
    result.status = std::atoi(text.c_str() + 9);
    std::size_t pos = text.find("\r\n") + 2;
    while (pos < headerEnd) {
        const auto end = text.find("\r\n", pos);
        const std::string line = text.substr(pos, end - pos);
        const auto colon = line.find(':');
        if (colon != std::string::npos) {
            std::string name = line.substr(0, colon);
            std::transform(name.begin(), name.end(), name.begin(), ::tolower);
            result.headers[name] = line.substr(line.find_first_not_of(' ', colon + 1));
        }
        pos = end + 2;
    }
    result.body = text.substr(headerEnd + 4);
    return result;
}

std::optional<HttpResult> httpRequest(int port, const std::string& method, const std::string& target,
                                      const std::map<std::string, std::string>& headers,
                                      std::optional<std::string> host) {
    RawConnection connection(port);
    if (!connection.connected()) return std::nullopt;
    std::string request = method + " " + target +
                          " HTTP/1.1\r\nHost: " + host.value_or("127.0.0.1:" + std::to_string(port)) +
                          "\r\nConnection: close\r\n";
    for (const auto& [name, value] : headers)
        request += name + ": " + value + "\r\n";
    request += "\r\n";
    if (!connection.send(request)) return std::nullopt;
    return parseHttpResponse(connection.receiveAll());
}

namespace net = boost::asio;
namespace websocket = boost::beast::websocket;

struct WsClient::Impl {
    net::io_context ioc;
    websocket::stream<net::ip::tcp::socket> ws{ioc};
    bool open = false;
    bool lastReadTimedOut = false;

    // One message read, given up after `timeout` (timed_out). Asio's blocking reads wait again
    // after SO_RCVTIMEO expires, so the read runs on this client's own loop and is cancelled when
    // the time is up; the stream is unusable after that.
    boost::system::error_code readWithin(boost::beast::flat_buffer& buffer,
                                         std::chrono::milliseconds timeout) {
        std::optional<boost::system::error_code> result;
        ws.async_read(buffer, [&result](boost::system::error_code ec, std::size_t) { result = ec; });
        ioc.restart();
        ioc.run_for(timeout);
        lastReadTimedOut = !result;
        if (result) return *result;
        boost::system::error_code ignored;
        ws.next_layer().cancel(ignored);
        ioc.restart();
        ioc.run();
        return net::error::timed_out;
    }
};

WsClient::WsClient(int port, const std::string& host) : impl_(std::make_unique<Impl>()) {
    boost::system::error_code ec;
    const net::ip::tcp::endpoint endpoint(net::ip::make_address("127.0.0.1"),
                                          static_cast<unsigned short>(port));
    impl_->ws.next_layer().connect(endpoint, ec);
    if (ec) return;
    impl_->ws.handshake(host.empty() ? "127.0.0.1:" + std::to_string(port) : host, "/", ec);
    impl_->open = !ec;
}

WsClient::~WsClient() {
    boost::system::error_code ec;
    if (impl_->open) impl_->ws.next_layer().close(ec);
}

bool WsClient::open() const {
    return impl_->open;
}

bool WsClient::sendText(const std::string& text) {
    boost::system::error_code ec;
    impl_->ws.text(true);
    impl_->ws.write(net::buffer(text), ec);
    return !ec;
}

bool WsClient::sendBinary(const std::string& bytes) {
    boost::system::error_code ec;
    impl_->ws.binary(true);
    impl_->ws.write(net::buffer(bytes), ec);
    return !ec;
}

std::optional<std::string> WsClient::receive(std::chrono::milliseconds timeout) {
    boost::beast::flat_buffer buffer;
    if (impl_->readWithin(buffer, timeout)) return std::nullopt;
    return boost::beast::buffers_to_string(buffer.data());
}

bool WsClient::lastReadTimedOut() const {
    return impl_->lastReadTimedOut;
}

bool WsClient::closedByServer(std::chrono::milliseconds timeout) {
    // One read: after a time-out the stream is unusable, so there is no second try.
    boost::beast::flat_buffer buffer;
    const auto ec = impl_->readWithin(buffer, timeout);
    return ec && ec != net::error::timed_out;
}
