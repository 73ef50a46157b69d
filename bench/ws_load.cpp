// WebSocket load client: opens N sessions, logs each in (when a password is given), then keeps one
// request in flight per session for a fixed time and reports messages/s and latency percentiles.
//
//   ws_load --port 3080 --sessions 16 --seconds 5 [--pass PASSWORD] [--idle]
// --idle opens and logs in the sessions, prints the service's resident memory afterwards (--pid),
// and holds them for --seconds without traffic.

#include <algorithm>
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace net = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace {

struct Options {
    int port = 3080;
    int sessions = 1;
    double seconds = 5;
    std::string pass;
    bool idle = false;
    int pid = 0;
};

struct Totals {
    std::vector<double> latenciesUs;
    long messages = 0;
    int ready = 0;
    int failed = 0;
    bool measuring = false;
};

class Session : public std::enable_shared_from_this<Session> {
  public:
    Session(net::io_context& ioc, const Options& options, Totals& totals)
        : ws_(ioc), options_(options), totals_(totals) {}

    void start(const tcp::endpoint& endpoint) {
        ws_.next_layer().async_connect(endpoint, [self = shared_from_this()](beast::error_code ec) {
            if (ec) return self->fail();
            self->ws_.async_handshake("127.0.0.1", "/", [self](beast::error_code ec) {
                if (ec) return self->fail();
                if (self->options_.pass.empty()) return self->markReady();
                self->send("{\"ack\":\"login\",\"code\":0,\"user\":\"public\",\"pass\":\"" +
                               self->options_.pass + "\"}",
                           [self] { self->markReady(); });
            });
        });
    }

    void request() {
        sent_ = Clock::now();
        send(R"({"ack":"1234","code":1})", [self = shared_from_this()] {
            if (self->totals_.measuring) {
                self->totals_.latenciesUs.push_back(
                    std::chrono::duration<double, std::micro>(Clock::now() - self->sent_).count());
                ++self->totals_.messages;
                self->request();
            }
        });
    }

  private:
    template <class Then>
    void send(std::string text, Then then) {
        text_ = std::move(text);
        ws_.text(true);
        ws_.async_write(
            net::buffer(text_), [self = shared_from_this(), then](beast::error_code ec, std::size_t) {
                if (ec) return self->fail();
                self->ws_.async_read(self->buffer_, [self, then](beast::error_code ec, std::size_t) {
                    if (ec) return self->fail();
                    self->buffer_.consume(self->buffer_.size());
                    then();
                });
            });
    }

    void markReady() { ++totals_.ready; }
    void fail() { ++totals_.failed; }

    websocket::stream<tcp::socket> ws_;
    const Options& options_;
    Totals& totals_;
    beast::flat_buffer buffer_;
    std::string text_;
    Clock::time_point sent_;
};

long residentKiB(int pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc || (i < argc && !std::strcmp(argv[i], "--idle")); ++i) {
        const std::string a = argv[i];
        if (a == "--idle")
            o.idle = true;
        else if (a == "--port")
            o.port = std::atoi(argv[++i]);
        else if (a == "--sessions")
            o.sessions = std::atoi(argv[++i]);
        else if (a == "--seconds")
            o.seconds = std::atof(argv[++i]);
        else if (a == "--pass")
            o.pass = argv[++i];
        else if (a == "--pid")
            o.pid = std::atoi(argv[++i]);
    }
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);
    net::io_context ioc(1);
    auto keepRunning = net::make_work_guard(ioc);
    Totals totals;
    const tcp::endpoint endpoint(net::ip::make_address("127.0.0.1"),
                                 static_cast<unsigned short>(options.port));
    std::vector<std::shared_ptr<Session>> sessions;
    for (int i = 0; i < options.sessions; ++i) {
        sessions.push_back(std::make_shared<Session>(ioc, options, totals));
        sessions.back()->start(endpoint);
    }
    while (totals.ready + totals.failed < options.sessions)
        ioc.run_one();
    if (totals.failed) {
        std::fprintf(stderr, "%d sessions failed to open\n", totals.failed);
        return 1;
    }
    if (options.idle) {
        std::printf("sessions=%d idle, service VmRSS=%ld KiB\n", options.sessions, residentKiB(options.pid));
        std::fflush(stdout);
        net::steady_timer hold(ioc, std::chrono::milliseconds(static_cast<long>(options.seconds * 1000)));
        hold.wait();
        return 0;
    }
    totals.measuring = true;
    for (auto& s : sessions)
        s->request();
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double>(options.seconds);
    while (Clock::now() < end)
        ioc.run_for(std::chrono::milliseconds(20));
    totals.measuring = false;
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();

    auto& l = totals.latenciesUs;
    std::sort(l.begin(), l.end());
    const auto pct = [&](double p) {
        return l.empty() ? 0.0 : l[std::min(l.size() - 1, std::size_t(p * l.size()))];
    };
    std::printf("sessions=%d messages/s=%.0f p50=%.1fus p99=%.1fus failed=%d\n", options.sessions,
                totals.messages / elapsed, pct(0.50), pct(0.99), totals.failed);
    return totals.failed ? 1 : 0;
}
