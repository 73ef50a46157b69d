#pragma once
// The real service (rfdock) on a free port with its own HOME, and one logged-in WebSocket session
// with it that sends commands and keeps the finder events that arrive meanwhile.

#include <chrono>
#include <deque>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "http_client.hpp"
#include "service_process.hpp"

class ServiceSession {
  public:
    ServiceSession();

    bool ready() const { return loggedIn_; }
    int port() const { return service_->port(); }
    ServiceHome& home() { return home_; }
    // Stops the service (its log is complete then) and returns the log.
    std::string logAfterStop();

    // Sends the command and returns its reply (null when none came in time).
    nlohmann::json call(int code, nlohmann::json fields = nlohmann::json::object(),
                        std::chrono::milliseconds wait = std::chrono::seconds(15));
    // The next finder event (117), or nullopt when none came within `wait`. A read that times out
    // leaves the WebSocket unusable: wait this way only for an event that must come.
    std::optional<nlohmann::json> event(std::chrono::milliseconds wait);
    // The finder events that came within `window`: after it, a command's reply shows that
    // everything sent before it has arrived.
    std::size_t eventsWithin(std::chrono::milliseconds window);

  private:
    std::optional<nlohmann::json> receive(std::chrono::milliseconds wait);

    ServiceHome home_;
    std::unique_ptr<RunningService> service_;
    std::unique_ptr<WsClient> ws_;
    bool loggedIn_ = false;
    int nextAck_ = 1;
    std::deque<nlohmann::json> events_;
};
