#pragma once
// A channel that records what a session sends, for tests. Safe from any thread, so events sent
// from other loops can be awaited.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "protocol/channel.hpp"

class FakeChannel : public Channel {
  public:
    bool sendText(std::string text) override {
        std::lock_guard lock(mutex_);
        if (!connected_ || failSends_) return false;
        sent_.push_back(std::move(text));
        changed_.notify_all();
        return true;
    }
    void close() override {
        std::lock_guard lock(mutex_);
        connected_ = false;
    }
    bool isConnected() const override {
        std::lock_guard lock(mutex_);
        return connected_;
    }
    bool currentFrameIsText() const override { return textFrame_; }
    bool hasRoomForEvent(std::size_t) const override {
        std::lock_guard lock(mutex_);
        return eventRoom_;
    }

    void setTextFrame(bool text) { textFrame_ = text; }
    void setFailSends(bool fail) {
        std::lock_guard lock(mutex_);  // a sending thread reads it under the lock
        failSends_ = fail;
    }
    // Plays a client that has stopped reading: events find no room.
    void setEventRoom(bool room) {
        std::lock_guard lock(mutex_);
        eventRoom_ = room;
    }
    std::vector<std::string> sent() const {
        std::lock_guard lock(mutex_);
        return sent_;
    }
    std::size_t sentCount() const {
        std::lock_guard lock(mutex_);
        return sent_.size();
    }
    std::string lastSent() const {
        std::lock_guard lock(mutex_);
        return sent_.empty() ? std::string() : sent_.back();
    }
    // Waits until at least n messages have been sent; false on time-out.
    bool waitForSent(std::size_t n, std::chrono::milliseconds limit = std::chrono::seconds(5)) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return sent_.size() >= n; });
    }

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> sent_;
    bool connected_ = true;
    bool textFrame_ = true;
    bool failSends_ = false;
    bool eventRoom_ = true;
};
