#pragma once
// The service with simulated readers, inside the test process: the real front end (RfDock) on a
// free loopback port with HOME in a temporary folder, and a simulated device bus installed as the
// process's current bus. Tests add virtual readers of any type, before or while the service runs,
// and talk to it over real WebSocket connections.

#include <chrono>
#include <deque>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>

#include "http_client.hpp"
#include "support/sim_readers.hpp"

class RfDock;

class SimService {
  public:
    SimService();
    ~SimService();
    SimService(const SimService&) = delete;
    SimService& operator=(const SimService&) = delete;

    bool ready() const { return ready_; }
    int port() const { return port_; }
    const std::string& password() const { return password_; }
    const std::string& home() const { return home_; }

    // Virtual readers: HID and CH340 ones on the bus, serial ones on pseudo-terminals listed as
    // serial ports (type 2 with a CH340 hardware id).
    SimReaders readers;

  private:
    std::string home_;
    std::string previousHome_;
    bool hadHome_ = false;
    int port_ = 0;
    std::string password_;
    std::unique_ptr<RfDock> dock_;
    std::thread server_;
    bool ready_ = false;
};

// A logged-in WebSocket session with the service.
class SimClient {
  public:
    explicit SimClient(const SimService& service);
    // A session with a service on `port` whose user "public" has `password`.
    SimClient(int port, const std::string& password);

    bool loggedIn() const { return loggedIn_; }
    // Sends the command (fields plus ack and code) and returns its reply; null when none came in time.
    // Other messages that arrive first (finder events) are kept for next().
    nlohmann::json call(int code, nlohmann::json fields = nlohmann::json::object(),
                        std::chrono::milliseconds wait = std::chrono::seconds(10));
    // Sends a command without waiting; its ack is returned.
    std::string send(int code, nlohmann::json fields = nlohmann::json::object());
    // The next message not yet taken by call(), or nullopt.
    std::optional<nlohmann::json> next(std::chrono::milliseconds wait = std::chrono::seconds(5));
    // Messages call() has taken in that next() has not returned yet.
    std::size_t pendingCount() const { return pending_.size(); }

    WsClient& ws() { return ws_; }

  private:
    WsClient ws_;
    std::deque<nlohmann::json> pending_;
    int acks_ = 0;
    bool loggedIn_ = false;
};
