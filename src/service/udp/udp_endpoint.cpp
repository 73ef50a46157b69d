#include "service/udp/udp_endpoint.hpp"

#include <nlohmann/json.hpp>

#include "crypto/hex.hpp"
#include "protocol/log.hpp"
#include "protocol/send_json.hpp"
#include "service/udp/udp_address.hpp"

namespace net = boost::asio;
using net::ip::udp;

namespace {
constexpr int kUdpEvent = 700;
// Receive errors in a row after which the endpoint stops receiving instead of spinning on them.
constexpr int kMaxErrorsInRow = 16;
// A client that does not keep up drops events by the thousand: one log line per interval is enough.
constexpr auto kDropLogInterval = std::chrono::seconds(5);
}  // namespace

UdpEndpoint::UdpEndpoint(net::io_context& loop, ChannelRef channel, int slot)
    : socket_(loop), channel_(std::move(channel)), slot_(slot), buffer_(kMaxDatagram) {}

UdpEndpoint::~UdpEndpoint() = default;

std::shared_ptr<UdpEndpoint> UdpEndpoint::open(net::io_context& loop, ChannelRef channel,
                                               const Settings& settings) {
    const auto local = udpEndpointOf(settings.addr, settings.port);
    if (!local) return nullptr;
    std::shared_ptr<UdpEndpoint> endpoint(new UdpEndpoint(loop, std::move(channel), settings.slot));
    udp::socket& socket = endpoint->socket_;
    boost::system::error_code ec;
    socket.open(local->protocol(), ec);
    if (ec) {
        logError("udp socket: %s", ec.message());
        return nullptr;
    }
    boost::system::error_code ignored;
    if (isBroadcastText(settings.addr)) socket.set_option(udp::socket::broadcast(true), ignored);
    if (settings.port > 0) {
        socket.bind(*local, ec);
        if (ec) {
            logError("bind: %s", ec.message());
            return nullptr;
        }
    }
    // The request's own choice has the last word over the ".255" rule.
    socket.set_option(udp::socket::broadcast(settings.broadcast), ignored);
    std::lock_guard lock(endpoint->mutex_);
    endpoint->receive();
    return endpoint;
}

void UdpEndpoint::close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    encrypt_ = false;
    cipher_.reset();
    boost::system::error_code ignored;
    socket_.close(ignored);  // a receive in flight ends with operation_aborted
}

long long UdpEndpoint::sendTo(std::vector<std::uint8_t> payload, const udp::endpoint& to) {
    std::lock_guard lock(mutex_);
    if (closed_ || !socket_.is_open()) return -1;
    if (encrypt_ && (!cipher_ || !cipher_->seal(payload))) return -1;
    boost::system::error_code ec;
    const std::size_t sent = socket_.send_to(net::buffer(payload), to, 0, ec);
    if (ec) {
        logDebug("udp slot %d send to %s: %s", slot_, hostText(to), ec.message());
        return -1;
    }
    return static_cast<long long>(sent);
}

bool UdpEndpoint::setKey(std::string_view keyText) {
    auto cipher = UdpCipher::fromKeyText(keyText);
    std::lock_guard lock(mutex_);
    cipher_ = std::move(cipher);
    encrypt_ = true;
    return cipher_ != nullptr;
}

udp::endpoint UdpEndpoint::localEndpoint() const {
    std::lock_guard lock(mutex_);
    boost::system::error_code ec;
    return socket_.local_endpoint(ec);
}

bool UdpEndpoint::broadcastOn() const {
    std::lock_guard lock(mutex_);
    udp::socket::broadcast option;
    boost::system::error_code ec;
    socket_.get_option(option, ec);
    return !ec && option.value();
}

std::uint64_t UdpEndpoint::droppedEvents() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

void UdpEndpoint::receive() {
    socket_.async_receive_from(net::buffer(buffer_), sender_,
                               [self = shared_from_this()](const boost::system::error_code& ec,
                                                           std::size_t size) { self->onReceive(ec, size); });
}

void UdpEndpoint::onReceive(const boost::system::error_code& ec, std::size_t size) {
    // Declared before the lock so that it is let go after it: the last reference to the channel may
    // end the session, whose UDP work then closes this endpoint and needs the mutex.
    ChannelPtr channel;
    std::lock_guard lock(mutex_);
    if (closed_ || ec == net::error::operation_aborted) return;
    if (ec) {
        logWarn("udp slot %d receive: %s", slot_, ec.message());
        if (++errorsInRow_ >= kMaxErrorsInRow) return;
    } else {
        errorsInRow_ = 0;
        channel = channel_.lock();
        if (channel) deliver(channel, size);
    }
    receive();
}

void UdpEndpoint::deliver(const ChannelPtr& channel, std::size_t size) {
    std::span<std::uint8_t> payload(buffer_.data(), size);
    if (encrypt_) payload = payload.first(cipher_ ? cipher_->open(payload) : 0);
    const nlohmann::json event = {
        {"evt", kUdpEvent}, {"data", Orvane::hexEncode(payload)}, {"host", hostText(sender_)}};
    if (sendEvent(channel, event) == EventSend::kDropped) noteDropped();
}

void UdpEndpoint::noteDropped() {
    ++dropped_;
    const auto now = std::chrono::steady_clock::now();
    if (dropped_ > 1 && now - lastDropLog_ < kDropLogInterval) return;
    lastDropLog_ = now;
    logWarn("udp slot %d: client reads too slowly, %d events dropped so far", slot_, dropped_);
}
