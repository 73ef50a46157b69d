#pragma once
// The listener and the worker threads: one io_context per worker, connections spread round robin
// so that each connection's handlers always run on the same thread.

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/ssl/context.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "service/frontend/front_state.hpp"

struct ServerSettings {
    std::string host;
    int port = 0;
    int workers = 1;
    int connectionsPerWorker = 1;
    std::shared_ptr<boost::asio::ssl::context> tls;  // null: plain HTTP
};

class HttpServer {
  public:
    HttpServer(std::shared_ptr<FrontState> front, ServerSettings settings);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Listens and serves until stop() or SIGINT/SIGTERM; 0 then, or a negative errno when it
    // cannot listen. whenListening runs on this thread once the port is bound.
    int run(const std::function<void()>& whenListening = {});
    // Safe from any thread and from a signal-free context.
    void stop();

    // The next worker's loop, for objects that want to live on one (UDP endpoints).
    boost::asio::io_context& nextWorker();

  private:
    // A worker's loop that can drop its pending handlers without being destroyed yet.
    class WorkerLoop : public boost::asio::io_context {
      public:
        using io_context::io_context;
        void dropHandlers() { shutdown(); }
    };

    // The sessions' pool, likewise: the strands of connections that outlive its threads still
    // need its services.
    class SessionPool : public boost::asio::thread_pool {
      public:
        using thread_pool::thread_pool;
        void dropHandlers() { shutdown(); }
    };

    struct Worker {
        // Declared before the loop: destroying the loop destroys connections, which count down here.
        std::atomic<int> connections{0};
        WorkerLoop ioc{1};
        std::thread thread;
    };

    int listen();
    void accept();
    void onAccept(Worker& worker, boost::system::error_code ec, boost::asio::ip::tcp::socket socket);
    void acceptFailed(boost::system::error_code ec);
    void startWorkers();
    void stopWorkers();

    std::shared_ptr<FrontState> front_;
    ServerSettings settings_;
    boost::asio::io_context main_{1};
    boost::asio::ip::tcp::acceptor acceptor_{main_};
    boost::asio::signal_set signals_{main_};
    std::vector<std::unique_ptr<Worker>> workers_;
    std::unique_ptr<SessionPool> sessionPool_;
    std::atomic<std::size_t> next_{0};
    // Accept failures in a row (out of descriptors, say), on the listener's thread.
    std::chrono::milliseconds acceptDelay_{0};
    std::chrono::steady_clock::time_point lastAcceptLog_{};
    int unloggedAcceptErrors_ = 0;
};
