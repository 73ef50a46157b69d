// Card finder figures of a running rfdock-sim: finder events per second delivered to one client and
// the service's CPU share, with the finder in event mode (no pause), paused after its first event,
// and stopped, each over the same reader with the same card lying on it. The field is reset before
// each finder start, so the card (halted once reported) is there to be found again.
//
//   finder_load --port 3080 --pass PASSWORD --pid PID [--seconds 5] [--ms 0] [--fixIdle]
//
// The CPU share is the service's user + system time over the wall time of the window (/proc/PID/stat),
// so 100 % is one core.

#include <unistd.h>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>

namespace net = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using net::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace {

struct Options {
    int port = 3080;
    std::string pass;
    int pid = 0;
    double seconds = 5;
    int ms = 0;
    bool fixIdle = false;
};

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--fixIdle")
            o.fixIdle = true;
        else if (a == "--port" && more)
            o.port = std::atoi(argv[++i]);
        else if (a == "--pass" && more)
            o.pass = argv[++i];
        else if (a == "--pid" && more)
            o.pid = std::atoi(argv[++i]);
        else if (a == "--seconds" && more)
            o.seconds = std::atof(argv[++i]);
        else if (a == "--ms" && more)
            o.ms = std::atoi(argv[++i]);
    }
    return o;
}

// User + system CPU seconds the process has used so far.
double cpuSeconds(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {  // fields 14 and 15 of the whole line
        if (i == 14) utime = std::stol(field);
        if (i == 15) stime = std::stol(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

class Client {
  public:
    Client(net::io_context& ioc, const Options& o) : ioc_(ioc), ws_(ioc) {
        ws_.next_layer().connect({net::ip::make_address("127.0.0.1"), static_cast<unsigned short>(o.port)});
        ws_.handshake("127.0.0.1", "/");
        command(R"({"ack":"l","code":0,"user":"public","pass":")" + o.pass + "\"}");
    }
    // Sends one request and returns its reply, counting finder events that arrive before it.
    std::string command(const std::string& request) {
        ws_.write(net::buffer(request));
        for (;;) {
            std::string text = read();
            if (text.find("\"evt\": 117") != std::string::npos) {
                ++events_;
                continue;
            }
            return text;
        }
    }
    // Counts finder events until `until`, then asks for the version and counts on until its reply:
    // the reply ends the window even when no event comes (a blocking read with a deadline would not).
    void countEventsUntil(Clock::time_point until) {
        net::steady_timer timer(ioc_, until);
        timer.async_wait([this](beast::error_code) {
            ws_.async_write(net::buffer(kEndRequest), [](beast::error_code, std::size_t) {});
        });
        readUntilEnd();
        ioc_.run();
        ioc_.restart();
    }
    long events() const { return events_; }
    void resetEvents() { events_ = 0; }

  private:
    static constexpr std::string_view kEndRequest = R"({"ack":"end","code":1})";

    void readUntilEnd() {
        buffer_.consume(buffer_.size());
        ws_.async_read(buffer_, [this](beast::error_code ec, std::size_t) {
            if (ec) return;
            const std::string text = beast::buffers_to_string(buffer_.data());
            if (text.find("\"evt\": 117") != std::string::npos)
                ++events_;
            else if (text.find("\"ack\": \"end\"") != std::string::npos)
                return;
            readUntilEnd();
        });
    }

    std::string read() {
        buffer_.consume(buffer_.size());
        ws_.read(buffer_);
        return beast::buffers_to_string(buffer_.data());
    }

    net::io_context& ioc_;
    websocket::stream<beast::tcp_stream> ws_;
    beast::flat_buffer buffer_;
    long events_ = 0;
};

struct Window {
    long events = 0;
    double eventsPerSecond = 0;
    double cpuPercent = 0;
};

// One window opened by `request` (none: just watch), so events that overtake its reply count too.
Window measure(Client& client, const Options& o, const std::string& request = {}) {
    client.resetEvents();
    const double cpuBefore = cpuSeconds(o.pid);
    const auto start = Clock::now();
    if (!request.empty()) client.command(request);
    client.countEventsUntil(
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(o.seconds)));
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    return {client.events(), static_cast<double>(client.events()) / wall,
            100.0 * (cpuSeconds(o.pid) - cpuBefore) / wall};
}

std::string finderRequest(const Options& o, bool pause) {
    return R"({"ack":"f","code":117,"rfIdx":0,"evt":true,"ms":)" + std::to_string(o.ms) +
           ",\"pause\":" + (pause ? "true" : "false") + ",\"fixIdle\":" + (o.fixIdle ? "true" : "false") +
           "}";
}

void report(const char* mode, const Window& w) {
    std::printf("%-34s %6ld events (%8.1f/s)   service CPU %6.2f %%\n", mode, w.events, w.eventsPerSecond,
                w.cpuPercent);
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = parse(argc, argv);
    if (o.pass.empty() || o.pid <= 0) {
        std::fprintf(
            stderr,
            "usage: finder_load --port P --pass PASSWORD --pid PID [--seconds S] [--ms MS] [--fixIdle]\n");
        return 2;
    }
    net::io_context ioc;
    Client client(ioc, o);
    for (const char* request : {R"({"ack":"c","code":100,"rfIdx":0,"devType":4})",
                                R"({"ack":"o","code":105,"rfIdx":0,"open":true})",
                                R"({"ack":"a","code":113,"rfIdx":0,"enable":true,"limit":0})"}) {
        const std::string reply = client.command(request);
        if (reply.find("\"err\": 0") == std::string::npos) {
            std::fprintf(stderr, "set-up refused: %s\n", reply.c_str());
            return 1;
        }
    }
    std::printf("finder on a type-4 reader, interval %d ms%s, %.0f s per window\n", o.ms,
                o.fixIdle ? ", fixIdle" : "", o.seconds);
    report("stopped (reader open, no finder)", measure(client, o));

    const std::string resetField = R"({"ack":"r","code":112,"rfIdx":0})";
    client.command(resetField);
    report("event mode, no pause", measure(client, o, finderRequest(o, false)));
    client.command(R"({"ack":"s","code":119,"rfIdx":0})");

    client.command(resetField);
    report("paused after its first event", measure(client, o, finderRequest(o, true)));
    client.command(R"({"ack":"s","code":119,"rfIdx":0})");
    return 0;
}
