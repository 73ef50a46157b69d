#include "sim/firmware/firmware.hpp"

namespace rfsim {

Bytes Firmware::answer(std::span<const std::uint8_t> frame) {
    const std::optional<Request> request = parse(frame);
    if (!request) {
        ++state_.framesRejected;
        return {};
    }
    state_.commands.push_back(request->command);
    std::optional<Reply> reply;
    if (const auto found = commands_.find(request->command); found != commands_.end()) {
        reply = found->second(*request);
    } else {
        reply = Reply{unknownCommandStatus(), {}};
    }
    if (!reply) return {};
    ++state_.framesAnswered;
    return buildReply(frame, *request, *reply);
}

void Firmware::powerOn() {
    state_.baud = powerOnBaud_;
    state_.protocol = Protocol::iso14443A;
    ++state_.fieldResets;
}

}  // namespace rfsim
