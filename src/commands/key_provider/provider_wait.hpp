#pragma once
// Key-provider answers: a work thread that asked the client to operate a key waits on a
// ProviderWaitState filed under the request's ack number and the connection the request went to;
// the client's answer (a message with "imp" 0 and the same "ack") arrives on that connection's
// session and is handed over here.

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

// Files a new wait under a fresh ack number (never reused within a run) for a request sent on
// `owner`; only an answer arriving on that connection resolves it.
std::uint64_t addProviderWait(const std::shared_ptr<ProviderWaitState>& state, const Channel* owner);
// Drops a wait that timed out or whose request could not be sent.
void removeProviderWait(std::uint64_t ack);

// 0 when there is no channel or the message has no integer "ack" (the session then closes the
// connection); otherwise 1, whether or not a wait of this connection matched (an ack pending for
// another connection is logged like an unknown one).
int ResolveProviderResponse(const ChannelPtr& channel, nlohmann::json&& message);

// Releases without an answer the waits of requests sent on `owner` (its session is going).
void cancelProviderWaits(const Channel* owner);
// Releases every waiter without an answer (the service is stopping).
void cancelAllProviderWaits();
// Pending waits, for tests and status.
std::size_t pendingProviderWaits();
