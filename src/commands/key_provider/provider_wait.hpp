#pragma once
// Key-provider answers: a worker thread that asked the client to operate a key waits on a
// ProviderWaitState filed under the request's ack number; the client's answer (a message with
// "imp" 0 and the same "ack") arrives on a session thread and is handed over here.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>

#include "protocol/channel.hpp"

struct ProviderWaitState {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    nlohmann::json reply;  // null when released without an answer
};

// Files a new wait under a fresh ack number (never reused within a run).
std::uint64_t addProviderWait(const std::shared_ptr<ProviderWaitState>& state);
// Drops a wait that timed out or whose request could not be sent.
void removeProviderWait(std::uint64_t ack);

// 0 when there is no channel or the message has no integer "ack" (the session then closes the
// connection); otherwise 1, whether or not a wait matched.
int ResolveProviderResponse(const ChannelPtr& channel, nlohmann::json&& message);

// Releases every waiter without an answer.
void cancelProviderWaits();
