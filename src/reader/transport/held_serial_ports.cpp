#include "reader/transport/held_serial_ports.hpp"

#include <filesystem>
#include <map>
#include <mutex>

namespace Orvane::held_serial_ports {
namespace {

std::mutex mutex;
std::map<std::string, const void*> owners;  // canonical path -> owner

std::string canonical(const std::string& path) {
    std::error_code ignored;
    const auto resolved = std::filesystem::weakly_canonical(path, ignored);
    return resolved.empty() ? path : resolved.string();
}

}  // namespace

void hold(const std::string& path, const void* owner) {
    if (path.empty()) return;
    const std::string key = canonical(path);
    std::lock_guard lock(mutex);
    std::erase_if(owners, [&](const auto& entry) { return entry.second == owner; });
    owners[key] = owner;
}

void release(const void* owner) {
    std::lock_guard lock(mutex);
    std::erase_if(owners, [&](const auto& entry) { return entry.second == owner; });
}

bool heldByOther(const std::string& path, const void* owner) {
    const std::string key = canonical(path);
    std::lock_guard lock(mutex);
    const auto found = owners.find(key);
    return found != owners.end() && found->second != owner;
}

}  // namespace Orvane::held_serial_ports
