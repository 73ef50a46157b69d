#include "service_session.hpp"

#include <thread>

using nlohmann::json;
using Clock = std::chrono::steady_clock;

ServiceSession::ServiceSession() {
    home_.writeConfig("[log]\nlevel = info\n");
    service_ = std::make_unique<RunningService>(home_, freePort());
    if (!service_->ready()) return;
    ws_ = std::make_unique<WsClient>(service_->port());
    if (!ws_->open() || !ws_->sendText(loginMessage(home_))) return;
    const auto reply = receive(std::chrono::seconds(5));
    loggedIn_ = reply && reply->value("err", -1) == 0;
}

std::optional<json> ServiceSession::receive(std::chrono::milliseconds wait) {
    const auto text = ws_->receive(wait);
    if (!text) return std::nullopt;
    return json::parse(*text, nullptr, false);
}

json ServiceSession::call(int code, json fields, std::chrono::milliseconds wait) {
    const std::string ack = std::to_string(nextAck_++);
    fields["ack"] = ack;
    fields["code"] = code;
    if (!fields.contains("rfIdx")) fields["rfIdx"] = 0;
    if (!ws_->sendText(fields.dump())) return nullptr;
    const auto end = Clock::now() + wait;
    while (Clock::now() < end) {
        auto message = receive(std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()));
        if (!message) break;
        if (message->value("ack", std::string()) == ack) return *message;
        if (message->contains("evt")) events_.push_back(std::move(*message));
    }
    return nullptr;
}

std::optional<json> ServiceSession::event(std::chrono::milliseconds wait) {
    const auto end = Clock::now() + wait;
    while (events_.empty() && Clock::now() < end) {
        auto message = receive(std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()));
        if (!message) break;
        if (message->contains("evt")) events_.push_back(std::move(*message));
    }
    if (events_.empty()) return std::nullopt;
    json first = std::move(events_.front());
    events_.pop_front();
    return first;
}

std::size_t ServiceSession::eventsWithin(std::chrono::milliseconds window) {
    std::this_thread::sleep_for(window);
    call(101);
    const std::size_t count = events_.size();
    events_.clear();
    return count;
}

std::string ServiceSession::logAfterStop() {
    service_->stop();
    return home_.logText();
}
