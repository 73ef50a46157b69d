#include "commands/entry/reader_in_use.hpp"

#include <iterator>

ReaderInUse& ReaderInUse::process() {
    static ReaderInUse registry;
    return registry;
}

bool ReaderInUse::claim(const ReaderDevice& device, const void* owner, std::chrono::milliseconds grace) {
    std::unique_lock lock(mutex_);
    const auto freeForOwner = [&] {
        const auto found = owners_.find(device);
        return found == owners_.end() || found->second == owner;
    };
    if (!released_.wait_for(lock, grace, freeForOwner)) return false;
    owners_[device] = owner;
    return true;
}

void ReaderInUse::release(const ReaderDevice& device, const void* owner) {
    {
        std::lock_guard lock(mutex_);
        const auto found = owners_.find(device);
        if (found == owners_.end() || found->second != owner) return;
        owners_.erase(found);
    }
    released_.notify_all();
}

void ReaderInUse::keepOnly(const void* owner, const ReaderDevice& keep) {
    {
        std::lock_guard lock(mutex_);
        for (auto it = owners_.begin(); it != owners_.end();)
            it = it->second == owner && it->first != keep ? owners_.erase(it) : std::next(it);
    }
    released_.notify_all();
}
