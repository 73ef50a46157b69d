// UDP relay figures of a running rfdock: datagram-to-event latency (median, p99) and the highest
// datagram rate one session relays without loss, each beside the same figure for a bare loopback
// UDP socket measured in the same run (the kernel's part of the path).
//
//   udp_relay --port 3080 --pass PASSWORD [--size 32] [--encrypt] [--samples 5000] [--seconds 2]
//
// Latency: one datagram in flight; the clock runs from sendto() to the client holding the event.
// Rate: datagrams paced at a fixed rate for --seconds; a step is lossless when every datagram
// arrived as an event. Rates rise until a step loses, then the gap is bisected.

#include <openssl/evp.h>

#include <algorithm>
#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace net = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using net::ip::tcp;
using net::ip::udp;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kKeyText = "0123456789abcdefFEDCBA9876543210";

struct Options {
    int port = 3080;
    std::string pass;
    std::size_t size = 32;
    bool encrypt = false;
    int samples = 5000;
    double seconds = 2;
};

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--encrypt")
            o.encrypt = true;
        else if (a == "--port" && more)
            o.port = std::atoi(argv[++i]);
        else if (a == "--pass" && more)
            o.pass = argv[++i];
        else if (a == "--size" && more)
            o.size = static_cast<std::size_t>(std::atol(argv[++i]));
        else if (a == "--samples" && more)
            o.samples = std::atoi(argv[++i]);
        else if (a == "--seconds" && more)
            o.seconds = std::atof(argv[++i]);
    }
    return o;
}

// What the peer sends: the payload, sealed as the slot expects when encryption is on.
std::vector<std::uint8_t> datagram(const Options& o) {
    std::vector<std::uint8_t> plain(o.size);
    for (std::size_t i = 0; i < plain.size(); ++i)
        plain[i] = static_cast<std::uint8_t>(i);
    if (!o.encrypt) return plain;
    std::vector<std::uint8_t> sealed(plain.size() + 16);
    const auto* key = reinterpret_cast<const unsigned char*>(kKeyText.data());
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int n = 0, tail = 0;
    EVP_EncryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, key, key + 16);
    EVP_EncryptUpdate(ctx, sealed.data(), &n, plain.data(), static_cast<int>(plain.size()));
    EVP_EncryptFinal_ex(ctx, sealed.data() + n, &tail);
    EVP_CIPHER_CTX_free(ctx);
    sealed.resize(static_cast<std::size_t>(n + tail));
    return sealed;
}

struct Percentiles {
    double p50 = 0, p99 = 0;
};

Percentiles percentiles(std::vector<double> us) {
    if (us.empty()) return {};
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[std::min(us.size() - 1, us.size() * 99 / 100)]};
}

// One path under test: something that sends a datagram, and something that waits for its arrival.
struct Path {
    std::function<void()> send;
    std::function<bool()> receiveOne;  // blocks until one arrival; false when the path broke
};

Percentiles latency(const Path& path, int samples) {
    std::vector<double> us;
    us.reserve(static_cast<std::size_t>(samples));
    for (int i = 0; i < samples; ++i) {
        const auto start = Clock::now();
        path.send();
        if (!path.receiveOne()) break;
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    return percentiles(std::move(us));
}

// Counts arrivals on a thread of its own while steps are paced from the caller's thread.
class RateProbe {
  public:
    explicit RateProbe(Path path) : path_(std::move(path)) {
        counter_ = std::thread([this] {
            while (path_.receiveOne())
                ++arrived_;
        });
    }
    ~RateProbe() { counter_.detach(); }  // blocked in a read; the process ends with it

    // Sends at `rate` per second for `seconds`; the datagrams lost (0: the step was lossless).
    long step(double rate, double seconds) {
        const long before = arrived_;
        const auto start = Clock::now();
        long sent = 0;
        for (;;) {
            const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
            if (elapsed >= seconds) break;
            for (const long due = static_cast<long>(rate * elapsed); sent < due; ++sent)
                path_.send();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        // Drained once nothing more has come for 300 ms.
        for (long last = -1; arrived_ != last;) {
            last = arrived_;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        return sent - (arrived_ - before);
    }

    // The highest lossless rate found, and the loss in percent at the lowest lossy rate tried.
    std::pair<double, double> search(double seconds) {
        double good = 0, bad = 0, badLoss = 0;
        for (double rate = 2000; rate <= 1'000'000; rate *= 2) {
            const long lost = step(rate, seconds);
            if (lost > 0) {
                bad = rate;
                badLoss = 100.0 * static_cast<double>(lost) / (rate * seconds);
                break;
            }
            good = rate;
        }
        for (int i = 0; bad > 0 && i < 3; ++i) {
            const double mid = (good + bad) / 2;
            const long lost = step(mid, seconds);
            if (lost > 0) {
                bad = mid;
                badLoss = 100.0 * static_cast<double>(lost) / (mid * seconds);
            } else {
                good = mid;
            }
        }
        return {good, badLoss};
    }

  private:
    Path path_;
    std::atomic<long> arrived_{0};
    std::thread counter_;
};

class RelaySession {
  public:
    RelaySession(net::io_context& ioc, const Options& o) : ws_(ioc) {
        ws_.next_layer().connect({net::ip::make_address("127.0.0.1"), static_cast<unsigned short>(o.port)});
        ws_.handshake("127.0.0.1", "/");
        command(R"({"ack":"l","code":0,"user":"public","pass":")" + o.pass + "\"}");
    }
    // Opens slot 0 bound to 127.0.0.1:port (and sets the key); false when refused.
    bool openSlot(std::uint16_t port, bool encrypt) {
        bool ok = command(R"({"ack":"o","code":700,"udpIdx":0,"broadcast":false,"addr":"127.0.0.1","port":)" +
                          std::to_string(port) + "}")
                      .find("\"retval\": true") != std::string::npos;
        if (ok && encrypt)
            ok = command(R"({"ack":"k","code":703,"udpIdx":0,"keyStr":")" + kKeyText + "\"}")
                     .find("\"retval\": true") != std::string::npos;
        return ok;
    }
    bool readEvent() {
        beast::error_code ec;
        buffer_.consume(buffer_.size());
        ws_.read(buffer_, ec);
        return !ec;
    }

  private:
    std::string command(const std::string& text) {
        ws_.write(net::buffer(text));
        buffer_.consume(buffer_.size());
        ws_.read(buffer_);
        return beast::buffers_to_string(buffer_.data());
    }

    websocket::stream<tcp::socket> ws_;
    beast::flat_buffer buffer_;
};

}  // namespace

int main(int argc, char** argv) {
    const Options o = parse(argc, argv);
    net::io_context ioc(1);
    const auto payload = datagram(o);

    // The relay: a peer socket sends to the slot's port, the events come over the WebSocket.
    udp::socket slotProbe(ioc, udp::endpoint(net::ip::make_address("127.0.0.1"), 0));
    const auto slotPort = slotProbe.local_endpoint().port();
    slotProbe.close();
    RelaySession relay(ioc, o);
    if (!relay.openSlot(slotPort, o.encrypt)) {
        std::fprintf(stderr, "opening the UDP slot failed\n");
        return 1;
    }
    udp::socket peer(ioc, udp::endpoint(net::ip::make_address("127.0.0.1"), 0));
    const udp::endpoint slot(net::ip::make_address("127.0.0.1"), slotPort);
    const Path relayPath{[&] { peer.send_to(net::buffer(payload), slot); },
                         [&] { return relay.readEvent(); }};

    // The baseline: the same datagrams to a bare socket read by a thread of this process.
    udp::socket bare(ioc, udp::endpoint(net::ip::make_address("127.0.0.1"), 0));
    const udp::endpoint bareEnd = bare.local_endpoint();
    std::vector<std::uint8_t> sink(65536);
    const Path barePath{[&] { peer.send_to(net::buffer(payload), bareEnd); },
                        [&] {
                            beast::error_code ec;
                            bare.receive(net::buffer(sink), 0, ec);
                            return !ec;
                        }};

    const Percentiles relayLatency = latency(relayPath, o.samples);
    const Percentiles bareLatency = latency(barePath, o.samples);
    std::printf(
        "size=%zu encrypt=%d latency us: relay p50=%.1f p99=%.1f | bare udp p50=%.1f p99=%.1f | "
        "relay/bare p50=%.1f\n",
        o.size, o.encrypt ? 1 : 0, relayLatency.p50, relayLatency.p99, bareLatency.p50, bareLatency.p99,
        relayLatency.p50 / bareLatency.p50);
    std::fflush(stdout);

    RateProbe relayRate(relayPath);
    const auto [relayGood, relayLoss] = relayRate.search(o.seconds);
    RateProbe bareRate(barePath);
    const auto [bareGood, bareLoss] = bareRate.search(o.seconds);
    std::printf(
        "size=%zu encrypt=%d lossless datagrams/s: relay %.0f (next step lost %.2f%%) | bare udp %.0f "
        "(next step lost %.2f%%) | relay/bare %.2f\n",
        o.size, o.encrypt ? 1 : 0, relayGood, relayLoss, bareGood, bareLoss, relayGood / bareGood);
    std::fflush(stdout);
    std::_Exit(0);  // the counting threads are still blocked in their reads
}
