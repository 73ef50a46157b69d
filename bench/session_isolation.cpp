// How much one session's slow reader delays another session of the same running service: session B's
// version round trips (code 1) and its open/close of a type-4 reader, first with session A idle,
// then while A opens a serial reader that never answers (a pseudo-terminal this tool holds) over and
// over. Run the service with one front-end worker, so that both sessions share it.
//
//   session_isolation --port 3080 --pass PASSWORD [--seconds 1] [--reps 5]

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace net = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using net::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace {

struct Options {
    int port = 3080;
    std::string pass;
    double seconds = 1;
    int reps = 5;
};

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--port") o.port = std::atoi(argv[i + 1]);
        if (a == "--pass") o.pass = argv[i + 1];
        if (a == "--seconds") o.seconds = std::atof(argv[i + 1]);
        if (a == "--reps") o.reps = std::max(1, std::atoi(argv[i + 1]));
    }
    return o;
}

// One logged-in WebSocket session, one request at a time.
class Session {
  public:
    Session(net::io_context& ioc, const Options& o) : ws_(ioc) {
        ws_.next_layer().connect({net::ip::make_address("127.0.0.1"), static_cast<unsigned short>(o.port)});
        ws_.handshake("127.0.0.1", "/");
        command(R"({"ack":"l","code":0,"user":"public","pass":")" + o.pass + "\"}");
    }
    std::string command(const std::string& request) {
        ws_.write(net::buffer(request));
        buffer_.consume(buffer_.size());
        ws_.read(buffer_);
        return beast::buffers_to_string(buffer_.data());
    }

  private:
    websocket::stream<beast::tcp_stream> ws_;
    beast::flat_buffer buffer_;
};

// A serial port where no reader answers: the slave side of a pseudo-terminal whose master is kept
// open and never read.
class SilentPort {
  public:
    SilentPort() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128] = {};
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0 &&
            ::ptsname_r(master_, name, sizeof name) == 0)
            path_ = name;
    }
    ~SilentPort() {
        if (master_ >= 0) ::close(master_);
    }
    const std::string& path() const { return path_; }

  private:
    int master_ = -1;
    std::string path_;
};

struct Figures {
    std::size_t count = 0;
    double p50 = 0, p99 = 0, max = 0;  // ms
};

Figures summarize(std::vector<double> ms) {
    if (ms.empty()) return {};
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) {
        return ms[static_cast<std::size_t>(q * static_cast<double>(ms.size() - 1))];
    };
    return {ms.size(), at(0.5), at(0.99), ms.back()};
}

// Round trips of `round` (which may send several requests) for the window, in ms each.
template <typename Round>
Figures timeRounds(double seconds, Round round) {
    std::vector<double> ms;
    const auto end =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (Clock::now() < end) {
        const auto start = Clock::now();
        round();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return summarize(std::move(ms));
}

// The median of each figure over the repetitions: one window's p99 is at the mercy of the scheduler.
Figures medianOf(std::vector<Figures> reps) {
    const auto median = [&](double Figures::*field) {
        std::vector<double> v;
        for (const Figures& f : reps)
            v.push_back(f.*field);
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::size_t count = 0;
    for (const Figures& f : reps)
        count += f.count;
    return {count, median(&Figures::p50), median(&Figures::p99), median(&Figures::max)};
}

void report(const char* what, const Figures& f) {
    std::printf("%-44s %6zu rounds   p50 %8.3f ms   p99 %8.3f ms   max %8.3f ms\n", what, f.count, f.p50,
                f.p99, f.max);
}

// Session A: opens a type-5 reader on the silent port again and again until told to stop.
class SlowOpener {
  public:
    SlowOpener(const Options& o, const std::string& port) : options_(o), port_(port) {}
    void start() {
        running_ = true;
        thread_ = std::thread([this] { run(); });
    }
    long stop() {
        running_ = false;
        thread_.join();
        return opens_;
    }

  private:
    void run() {
        net::io_context ioc;
        Session a(ioc, options_);
        a.command(R"({"ack":"c","code":100,"rfIdx":0,"devType":5})");
        a.command(R"({"ack":"p","code":103,"rfIdx":0,"devType":5,"addr":")" + port_ + "\"}");
        while (running_) {
            a.command(R"({"ack":"o","code":105,"rfIdx":0,"open":true})");
            ++opens_;
        }
    }

    const Options& options_;
    std::string port_;
    std::atomic<bool> running_{false};
    std::atomic<long> opens_{0};
    std::thread thread_;
};

}  // namespace

int main(int argc, char** argv) {
    const Options o = parse(argc, argv);
    SilentPort silent;
    if (o.pass.empty() || silent.path().empty()) {
        std::fprintf(stderr, "usage: session_isolation --port P --pass PASSWORD [--seconds S] [--reps N]\n");
        return 2;
    }
    net::io_context ioc;
    Session b(ioc, o);
    const auto version = [&] { b.command(R"({"ack":"v","code":1})"); };
    b.command(R"({"ack":"c","code":100,"rfIdx":1,"devType":4})");
    const auto openClose = [&] {
        b.command(R"({"ack":"o","code":105,"rfIdx":1,"open":true})");
        b.command(R"({"ack":"x","code":106,"rfIdx":1})");
    };

    if (b.command(R"({"ack":"o","code":105,"rfIdx":1,"open":true})").find("\"retval\": 1") ==
        std::string::npos) {
        std::fprintf(stderr, "no type-4 reader to open\n");
        return 1;
    }
    b.command(R"({"ack":"x","code":106,"rfIdx":1})");
    std::printf("session B beside session A on one worker: %d repetitions of %.1f s windows, medians\n",
                o.reps, o.seconds);
    std::vector<Figures> idleVersion, idleOpen, busyVersion, busyOpen;
    long opens = 0;
    for (int rep = 0; rep < o.reps; ++rep) {
        idleVersion.push_back(timeRounds(o.seconds, version));
        idleOpen.push_back(timeRounds(o.seconds, openClose));
        SlowOpener a(o, silent.path());
        a.start();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // A is inside its first open
        busyVersion.push_back(timeRounds(o.seconds, version));
        busyOpen.push_back(timeRounds(o.seconds, openClose));
        opens += a.stop();
    }
    const Figures iv = medianOf(idleVersion), io = medianOf(idleOpen);
    const Figures bv = medianOf(busyVersion), bo = medianOf(busyOpen);
    report("B code 1, A idle", iv);
    report("B code 1, A opening a silent reader", bv);
    report("B open+close type 4, A idle", io);
    report("B open+close type 4, A opening a silent reader", bo);
    std::printf("A's opens meanwhile: %ld\n", opens);
    std::printf("p99 ratio busy/idle: code 1 %.2f, open+close %.2f\n", bv.p99 / iv.p99, bo.p99 / io.p99);
    return 0;
}
