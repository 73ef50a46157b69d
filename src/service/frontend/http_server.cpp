#include "service/frontend/http_server.hpp"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <csignal>

#include "protocol/log.hpp"
#include "service/frontend/http_connection.hpp"

namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace {

// Sessions whose commands may wait on a reader at the same time before a further one waits for a
// thread; reader exchanges take milliseconds, an open with its handshakes a few seconds.
constexpr std::size_t kSessionThreads = 8;

}  // namespace

HttpServer::HttpServer(std::shared_ptr<FrontState> front, ServerSettings settings)
    : front_(std::move(front)), settings_(std::move(settings)) {
    for (int i = 0; i < std::max(1, settings_.workers); ++i)
        workers_.push_back(std::make_unique<Worker>());
    front_->nextLoop = [this]() -> net::io_context& { return nextWorker(); };
    sessionPool_ = std::make_unique<SessionPool>(kSessionThreads);
    front_->sessionPool = sessionPool_.get();
}

HttpServer::~HttpServer() {
    boost::system::error_code ignored;
    acceptor_.close(ignored);
    main_.restart();
    main_.poll();  // the aborted accept drops its worker-bound socket while the workers still exist
    stopWorkers();
    // Commands still running finish (a reader exchange is short); those not started are dropped,
    // and with them the sessions they held, while every loop still exists for their sockets.
    front_->sessionPool = nullptr;
    sessionPool_->stop();
    sessionPool_->join();
    sessionPool_->dropHandlers();
    // Pending handlers, and the connections they hold, go before anything else. A session on one
    // loop may own UDP sockets on another, so every loop drops its handlers before any loop is
    // destroyed: a socket must be closed while its own loop's services still exist.
    for (auto& worker : workers_)
        worker->ioc.dropHandlers();
    front_->nextLoop = nullptr;
    workers_.clear();
    sessionPool_.reset();
}

net::io_context& HttpServer::nextWorker() {
    return workers_[next_++ % workers_.size()]->ioc;
}

int HttpServer::listen() {
    boost::system::error_code ec;
    tcp::resolver resolver(main_);
    const auto results = resolver.resolve(settings_.host, std::to_string(settings_.port),
                                          tcp::resolver::passive | tcp::resolver::numeric_service, ec);
    if (ec || results.empty()) return -EADDRNOTAVAIL;
    const tcp::endpoint endpoint = results.begin()->endpoint();
    acceptor_.open(endpoint.protocol(), ec);
    if (!ec) acceptor_.set_option(net::socket_base::reuse_address(true), ec);
    if (!ec) acceptor_.bind(endpoint, ec);
    if (!ec) acceptor_.listen(net::socket_base::max_listen_connections, ec);
    return ec ? -ec.value() : 0;
}

int HttpServer::run(const std::function<void()>& whenListening) {
    if (const int err = listen(); err != 0) return err;
    if (whenListening) whenListening();
    signals_.add(SIGINT);
    signals_.add(SIGTERM);
    signals_.async_wait([this](boost::system::error_code ec, int) {
        if (!ec) stop();
    });
    startWorkers();
    accept();
    main_.run();
    stopWorkers();
    return 0;
}

void HttpServer::stop() {
    net::post(main_, [this] {
        boost::system::error_code ignored;
        acceptor_.close(ignored);
        signals_.cancel(ignored);
        main_.stop();
    });
}

void HttpServer::startWorkers() {
    for (std::size_t i = 0; i < workers_.size(); ++i) {
        Worker& worker = *workers_[i];
        worker.thread = std::thread([&worker, i] {
            logInfo("worker thread %d started", static_cast<int>(i));
            auto guard = net::make_work_guard(worker.ioc);
            // A handler that throws would end the process; the loop goes on with everyone else's.
            // Messages catch their own failures and close their connection, so this is the last
            // line for the rest (timers, UDP receives).
            for (;;) {
                try {
                    worker.ioc.run();
                    break;
                } catch (const std::exception& e) {
                    logError("worker thread %d: a handler failed: %s", static_cast<int>(i), e.what());
                } catch (...) {
                    logError("worker thread %d: a handler failed", static_cast<int>(i));
                }
            }
            logInfo("worker thread %d stopped", static_cast<int>(i));
        });
    }
}

void HttpServer::stopWorkers() {
    for (auto& worker : workers_)
        worker->ioc.stop();
    for (auto& worker : workers_)
        if (worker->thread.joinable()) worker->thread.join();
}

void HttpServer::accept() {
    Worker& worker = *workers_[next_++ % workers_.size()];
    acceptor_.async_accept(worker.ioc, [this, &worker](boost::system::error_code ec, tcp::socket socket) {
        onAccept(worker, ec, std::move(socket));
    });
}

void HttpServer::onAccept(Worker& worker, boost::system::error_code ec, tcp::socket socket) {
    if (ec == net::error::operation_aborted || !acceptor_.is_open()) return;
    if (ec) return acceptFailed(ec);
    acceptDelay_ = std::chrono::milliseconds(0);
    boost::system::error_code peerError;
    const tcp::endpoint remote = socket.remote_endpoint(peerError);
    if (peerError || worker.connections.load() >= settings_.connectionsPerWorker) {
        socket.close(peerError);  // over the limit: closed at accept
    } else {
        socket.set_option(tcp::no_delay(true), peerError);
        ConnectionSlot slot(front_, &worker.connections);
        PeerInfo peer{remote.address().to_string(), remote.port()};
        if (settings_.tls) {
            auto connection = std::make_shared<HttpConnection<TlsStream>>(std::move(slot), std::move(peer),
                                                                          std::move(socket), *settings_.tls);
            net::post(worker.ioc, [connection] { connection->run(); });
        } else {
            auto connection = std::make_shared<HttpConnection<PlainStream>>(std::move(slot), std::move(peer),
                                                                            std::move(socket));
            net::post(worker.ioc, [connection] { connection->run(); });
        }
    }
    accept();
}

void HttpServer::acceptFailed(boost::system::error_code ec) {
    // A peer that gave up before its connection was taken: nothing is wrong here.
    if (ec == net::error::connection_aborted) {
        logDebug("accept: %s", ec.message());
        return accept();
    }
    // Out of descriptors or memory: the listener stays readable, so retrying at once would spin.
    // Both come back as connections end; wait, longer while it goes on, and say so once a second.
    constexpr std::chrono::milliseconds kFirstDelay{100}, kLongestDelay{1000};
    acceptDelay_ = std::clamp(acceptDelay_ * 2, kFirstDelay, kLongestDelay);
    ++unloggedAcceptErrors_;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastAcceptLog_ >= std::chrono::seconds(1)) {
        logError("accept: %s; %d failed since the last line, next try in %d ms", ec.message(),
                 unloggedAcceptErrors_, static_cast<int>(acceptDelay_.count()));
        unloggedAcceptErrors_ = 0;
        lastAcceptLog_ = now;
    }
    auto timer = std::make_shared<net::steady_timer>(main_, acceptDelay_);
    timer->async_wait([this, timer](boost::system::error_code) {
        if (acceptor_.is_open()) accept();
    });
}
