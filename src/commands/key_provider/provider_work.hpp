#pragma once
// Commands whose key is held by the client run off the session's thread: their work waits for the
// client's answers, which only a session that keeps reading can route. Each runs on a thread of
// its own holding shared ownership of everything it uses (copies of request and reply, the
// channel, the card objects its work captured), and sends its reply itself.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>

#include "protocol/channel.hpp"

namespace key_provider {

// (request, reply, channel) -> 0 done (result 0 is set), 1 reply complete, -1 malformed request.
using Work = std::function<int(const nlohmann::json&, nlohmann::json&, const ChannelPtr&)>;

// One session's provider works, at most kMaxInFlight at a time.
class ProviderWorks {
  public:
    static constexpr int kMaxInFlight = 8;

    explicit ProviderWorks(ChannelRef channel);
    // Releases the session's provider waits, so that its works end without waiting out their time.
    ~ProviderWorks();
    ProviderWorks(const ProviderWorks&) = delete;
    ProviderWorks& operator=(const ProviderWorks&) = delete;

    // Runs `work` inline without `provider` (its 0 answered with result 0, as the handler contract
    // says); with it on a thread of its own (kLater: the thread sends the reply). An empty work, or one more
    // than kMaxInFlight, answers 114 at once.
    int run(const nlohmann::json& request, nlohmann::json& reply, Work work, bool provider);

    int inFlight() const { return counter_->running.load(); }

  private:
    struct Counter {
        std::atomic<int> running{0};
    };

    ChannelRef channel_;
    std::shared_ptr<Counter> counter_ = std::make_shared<Counter>();
};

// Provider works running in the whole process.
int providerWorksRunning();
// For the service's stop: releases every wait and gives running works up to `limit` to end.
bool awaitProviderWorks(std::chrono::milliseconds limit);

}  // namespace key_provider
