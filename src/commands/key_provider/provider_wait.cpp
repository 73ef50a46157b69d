#include "commands/key_provider/provider_wait.hpp"

#include <atomic>
#include <unordered_map>

#include "protocol/log.hpp"

namespace {

std::mutex tableMutex;
std::unordered_map<std::uint64_t, std::shared_ptr<ProviderWaitState>> pendingTable;
std::atomic<std::uint64_t> providerAck{0};

void release(ProviderWaitState& state, nlohmann::json&& reply) {
    {
        std::lock_guard lock(state.mutex);
        state.reply = std::move(reply);
        state.done = true;
    }
    state.cv.notify_all();
}

}  // namespace

std::uint64_t addProviderWait(const std::shared_ptr<ProviderWaitState>& state) {
    const std::uint64_t ack = ++providerAck;
    std::lock_guard lock(tableMutex);
    pendingTable[ack] = state;
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
        if (it == pendingTable.end()) {
            logWarn("ResolveProviderResponse: ack=%u not found", ack);
            return 1;
        }
        state = std::move(it->second);
        pendingTable.erase(it);
    }
    release(*state, std::move(message));
    return 1;
}

void cancelProviderWaits() {
    std::unordered_map<std::uint64_t, std::shared_ptr<ProviderWaitState>> waits;
    {
        std::lock_guard lock(tableMutex);
        waits.swap(pendingTable);
    }
    for (auto& [ack, state] : waits)
        release(*state, nullptr);
}
