#include "commands/key_provider/provider_wait.hpp"

#include <atomic>
#include <unordered_map>
#include <vector>

#include "protocol/log.hpp"

namespace {

struct PendingWait {
    std::shared_ptr<ProviderWaitState> state;
    const Channel* owner = nullptr;  // identity only; the waiting work holds the channel alive
};

std::mutex tableMutex;
std::unordered_map<std::uint64_t, PendingWait> pendingTable;
std::atomic<std::uint64_t> providerAck{0};

void release(ProviderWaitState& state, nlohmann::json&& reply) {
    {
        std::lock_guard lock(state.mutex);
        state.reply = std::move(reply);
        state.done = true;
    }
    state.cv.notify_all();
}

// Takes out of the table the waits `which` selects, to be released outside the table mutex.
template <typename Which>
std::vector<std::shared_ptr<ProviderWaitState>> takeWaits(Which which) {
    std::vector<std::shared_ptr<ProviderWaitState>> taken;
    std::lock_guard lock(tableMutex);
    for (auto it = pendingTable.begin(); it != pendingTable.end();) {
        if (which(it->second)) {
            taken.push_back(std::move(it->second.state));
            it = pendingTable.erase(it);
        } else {
            ++it;
        }
    }
    return taken;
}

}  // namespace

std::uint64_t addProviderWait(const std::shared_ptr<ProviderWaitState>& state, const Channel* owner) {
    const std::uint64_t ack = ++providerAck;
    std::lock_guard lock(tableMutex);
    pendingTable[ack] = {state, owner};
    return ack;
}

void removeProviderWait(std::uint64_t ack) {
    std::lock_guard lock(tableMutex);
    pendingTable.erase(ack);
}

int ResolveProviderResponse(const ChannelPtr& channel, nlohmann::json&& message) {
    if (!channel) return 0;
    const auto ackIt = message.find("ack");
    if (ackIt == message.end() || !ackIt->is_number_integer()) return 0;
    // A negative ack can match nothing: acks are handed out from 1 upwards.
    const std::uint64_t ack = ackIt->is_number_unsigned() ? ackIt->get<std::uint64_t>() : 0;
    std::shared_ptr<ProviderWaitState> state;
    {
        std::lock_guard lock(tableMutex);
        const auto it = pendingTable.find(ack);
        // Acks count up from 1 and are easy to guess: another connection's answer would put its
        // own bytes into this session's secured commands.
        if (it == pendingTable.end() || it->second.owner != channel.get()) {
            logWarn("ResolveProviderResponse: ack=%u not found", ack);
            return 1;
        }
        state = std::move(it->second.state);
        pendingTable.erase(it);
    }
    release(*state, std::move(message));
    return 1;
}

void cancelProviderWaits(const Channel* owner) {
    for (auto& state : takeWaits([owner](const PendingWait& wait) { return wait.owner == owner; }))
        release(*state, nullptr);
}

void cancelAllProviderWaits() {
    for (auto& state : takeWaits([](const PendingWait&) { return true; }))
        release(*state, nullptr);
}

std::size_t pendingProviderWaits() {
    std::lock_guard lock(tableMutex);
    return pendingTable.size();
}
