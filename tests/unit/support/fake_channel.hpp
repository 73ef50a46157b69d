#pragma once
// A channel that records what a session sends, for tests.

#include <mutex>
#include <string>
#include <vector>

#include "service/protocol/channel.hpp"

class FakeChannel : public Channel {
  public:
    bool sendText(std::string text) override {
        std::lock_guard lock(mutex_);
        if (!connected_ || failSends_) return false;
        sent_.push_back(std::move(text));
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

    void setTextFrame(bool text) { textFrame_ = text; }
    void setFailSends(bool fail) {
        std::lock_guard lock(mutex_);  // a find task may be sending on its own thread
        failSends_ = fail;
    }
    std::vector<std::string> sent() const {
        std::lock_guard lock(mutex_);
        return sent_;
    }
    std::string lastSent() const {
        std::lock_guard lock(mutex_);
        return sent_.empty() ? std::string() : sent_.back();
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> sent_;
    bool connected_ = true;
    bool textFrame_ = true;
    bool failSends_ = false;
};
