#include "reader/trace/device_trace.hpp"

#include <chrono>
#include <ctime>
#include <mutex>

#include "crypto/hex.hpp"

namespace Orvane {
namespace {

std::mutex traceMutex;
std::shared_ptr<TraceFile> running;

// "2024-05-01T09:30:12.345Z": UTC with milliseconds, so lines from several threads sort by time.
std::string timeText() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[40];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + n, sizeof text - n, ".%03dZ", static_cast<int>(millis));
    return text;
}

}  // namespace

bool startDeviceTrace(const std::string& path, std::uintmax_t maxBytes) {
    auto file = std::make_shared<TraceFile>(path, maxBytes);
    if (!file->open()) return false;
    std::lock_guard lock(traceMutex);
    running = std::move(file);
    return true;
}

std::shared_ptr<TraceFile> deviceTrace() {
    std::lock_guard lock(traceMutex);
    return running;
}

nlohmann::json traceRecord(int readerType, const std::string& device, const char* op) {
    return {{"time", timeText()}, {"type", readerType}, {"dev", device}, {"op", op}};
}

std::string traceHex(std::span<const std::uint8_t> bytes) {
    return hexEncode(bytes);
}

}  // namespace Orvane
