#pragma once
// The two kinds of stream a connection runs on, plain and TLS, both over a TCP stream that tells
// its owner when bytes arrive.

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/ssl.hpp>
#include <functional>
#include <limits>

// A rate policy that limits nothing. Its only use is to say that bytes came in: Beast's WebSocket
// stream reports whole messages, and a message has to be timed from its first byte on.
class ReadWatch {
  public:
    // Runs on the connection's thread after each read that brought bytes; it must not throw.
    void onBytes(std::function<void()> listener) { listener_ = std::move(listener); }

  private:
    friend class boost::beast::rate_policy_access;
    static constexpr std::size_t kAll = std::numeric_limits<std::size_t>::max();

    std::size_t available_read_bytes() const noexcept { return kAll; }
    std::size_t available_write_bytes() const noexcept { return kAll; }
    void transfer_read_bytes(std::size_t bytes) const {
        if (bytes > 0 && listener_) listener_();
    }
    void transfer_write_bytes(std::size_t) const noexcept {}
    void on_timer() const noexcept {}

    std::function<void()> listener_;
};

using PlainStream = boost::beast::basic_stream<boost::asio::ip::tcp, boost::asio::any_io_executor, ReadWatch>;
using TlsStream = boost::beast::ssl_stream<PlainStream>;
