// A bare Beast WebSocket echo server with the same threading as the service (one io_context per
// worker thread, connections round robin), as the baseline for ws_load.
//
//   ws_echo_server PORT WORKERS

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

namespace net = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = net::ip::tcp;

class Echo : public std::enable_shared_from_this<Echo> {
  public:
    explicit Echo(tcp::socket socket) : ws_(std::move(socket)) {}
    void run() {
        ws_.async_accept([self = shared_from_this()](beast::error_code ec) {
            if (!ec) self->read();
        });
    }

  private:
    void read() {
        ws_.async_read(buffer_, [self = shared_from_this()](beast::error_code ec, std::size_t) {
            if (ec) return;
            self->ws_.text(self->ws_.got_text());
            self->ws_.async_write(self->buffer_.data(), [self](beast::error_code ec, std::size_t) {
                if (ec) return;
                self->buffer_.consume(self->buffer_.size());
                self->read();
            });
        });
    }
    websocket::stream<beast::tcp_stream> ws_;
    beast::flat_buffer buffer_;
};

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const auto port = static_cast<unsigned short>(std::atoi(argv[1]));
    const int workers = std::max(1, std::atoi(argv[2]));
    net::io_context main(1);
    std::vector<std::unique_ptr<net::io_context>> loops;
    for (int i = 0; i < workers; ++i)
        loops.push_back(std::make_unique<net::io_context>(1));
    tcp::acceptor acceptor(main, {net::ip::make_address("127.0.0.1"), port});
    std::size_t next = 0;
    std::function<void()> accept = [&] {
        auto& loop = *loops[next++ % loops.size()];
        acceptor.async_accept(loop, [&, loopPtr = &loop](beast::error_code ec, tcp::socket socket) {
            if (ec) return;
            socket.set_option(tcp::no_delay(true));
            auto echo = std::make_shared<Echo>(std::move(socket));
            net::post(*loopPtr, [echo] { echo->run(); });
            accept();
        });
    };
    accept();
    std::vector<std::thread> threads;
    for (auto& loop : loops)
        threads.emplace_back([&loop] {
            auto guard = net::make_work_guard(*loop);
            loop->run();
        });
    net::signal_set signals(main, SIGINT, SIGTERM);
    signals.async_wait([&](beast::error_code, int) { main.stop(); });
    main.run();
    for (auto& loop : loops)
        loop->stop();
    for (auto& t : threads)
        t.join();
}
