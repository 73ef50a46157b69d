#pragma once
// One open UDP slot: a socket on a worker loop that relays every datagram it receives to the
// session's channel as an event (`evt` 700) and sends the session's datagrams.
//
// Commands (send, set key, close) come from the session's thread while the receive handler runs on
// the endpoint's loop, which may be another thread. One mutex guards the socket, the cipher and the
// closed flag. The receive handler holds the endpoint by shared_ptr and delivers only while the
// endpoint is not closed, under the mutex: once close() has returned, no event of it is sent, and
// nothing it uses has been freed.

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/channel.hpp"
#include "service/udp/udp_cipher.hpp"

class UdpEndpoint : public std::enable_shared_from_this<UdpEndpoint> {
  public:
    // Large enough for any datagram: longer ones would arrive cut short.
    static constexpr std::size_t kMaxDatagram = 65536;

    struct Settings {
        int slot = 0;  // for log lines
        std::string addr;
        std::uint64_t port = 0;  // above 0: the socket is bound to addr:port
        bool broadcast = false;
    };

    // Opens the socket on `loop` and starts receiving; nullptr when the address does not parse or
    // the socket cannot be created or bound (logged).
    static std::shared_ptr<UdpEndpoint> open(boost::asio::io_context& loop, ChannelRef channel,
                                             const Settings& settings);
    ~UdpEndpoint();
    UdpEndpoint(const UdpEndpoint&) = delete;
    UdpEndpoint& operator=(const UdpEndpoint&) = delete;

    // Closes the socket and forgets the cipher. No event is sent after it returns. Safe from any thread.
    void close();
    // Sends one datagram, encrypted when a key is set; the bytes sent, or -1.
    long long sendTo(std::vector<std::uint8_t> payload, const boost::asio::ip::udp::endpoint& to);
    // Sets the AES key and IV from a 32-character text and turns encryption on; false when the
    // cipher cannot be set up (sends then fail and events carry no data until a key is set).
    bool setKey(std::string_view keyText);

    boost::asio::ip::udp::endpoint localEndpoint() const;
    bool broadcastOn() const;
    // Events dropped because the client read too slowly.
    std::uint64_t droppedEvents() const;

  private:
    UdpEndpoint(boost::asio::io_context& loop, ChannelRef channel, int slot);

    void receive();  // mutex held
    void onReceive(const boost::system::error_code& ec, std::size_t size);
    void deliver(const ChannelPtr& channel, std::size_t size);  // mutex held
    void noteDropped();                                         // mutex held

    mutable std::mutex mutex_;
    boost::asio::ip::udp::socket socket_;
    ChannelRef channel_;
    const int slot_;
    bool closed_ = false;
    bool encrypt_ = false;
    std::unique_ptr<UdpCipher> cipher_;
    std::vector<std::uint8_t> buffer_;
    boost::asio::ip::udp::endpoint sender_;
    int errorsInRow_ = 0;
    std::uint64_t dropped_ = 0;
    std::chrono::steady_clock::time_point lastDropLog_;
};
