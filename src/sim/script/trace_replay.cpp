#include "sim/script/trace_replay.hpp"

#include <spdlog/spdlog.h>

namespace rfsim {

using nlohmann::json;

TraceReplay::TraceReplay(std::string file, int type, DeviceLines lines)
    : file_(std::move(file)), type_(type), lines_(std::move(lines)) {}

std::optional<json> TraceReplay::answer(const json& request) {
    std::lock_guard lock(mutex_);
    if (!divergence_.is_null()) return std::nullopt;
    const json got = partOf(request, kRequestKeys);
    if (next_ >= lines_.lines.size()) {
        diverge(0, "the end of the trace", got);
        return std::nullopt;
    }
    const TraceLine& line = lines_.lines[next_];
    json expected = partOf(line.value, kRequestKeys);
    if (expected != got) {
        diverge(line.number, std::move(expected), got);
        return std::nullopt;
    }
    ++next_;
    return partOf(line.value, kAnswerKeys);
}

void TraceReplay::diverge(std::size_t lineNumber, json expected, json got) {
    divergence_ = {{"line", lineNumber}, {"expected", std::move(expected)}, {"got", std::move(got)}};
    spdlog::warn("Replay of {} (type {} reader, {}) diverges at line {}: expected {}, got {}", file_, type_,
                 lines_.device, lineNumber, divergence_["expected"].dump(), divergence_["got"].dump());
}

json TraceReplay::divergence() const {
    std::lock_guard lock(mutex_);
    return divergence_;
}

json TraceReplay::status() const {
    std::lock_guard lock(mutex_);
    return {{"replay",
             {{"file", file_},
              {"device", lines_.device},
              {"lines", lines_.lines.size()},
              {"played", next_},
              {"divergence", divergence_}}}};
}

}  // namespace rfsim
