#include "sim/firmware/virtual_reader.hpp"

#include <utility>

namespace rfsim {

Bytes VirtualReader::receive(std::span<const std::uint8_t> bytes, bool packet) {
    std::lock_guard lock(mutex_);
    Bytes out;
    if (!followPlug()) return out;
    std::size_t used = 0;
    while (used < bytes.size()) {
        pending_.push_back(bytes[used++]);
        // Resynchronise on the next possible frame start, as a reader's receive loop does.
        while (!pending_.empty()) {
            const auto length = firmware_->requestLength(pending_);
            if (length && *length == 0) {
                pending_.erase(pending_.begin());
                continue;
            }
            if (!length || pending_.size() < *length) break;
            Bytes answer = firmware_->answer(pending_);
            pending_.clear();
            if (takeUnplugAfterRequest()) unplug();
            // Pulled out before the answer left (also by a command handler): the answers before
            // this one are all the link gets.
            if (!followPlug()) return out;
            answer = applyFault(std::move(answer));
            out.insert(out.end(), answer.begin(), answer.end());
            if (packet) return out;  // the rest of the report is padding
            break;
        }
    }
    return out;
}

void VirtualReader::lineNoise() {
    std::lock_guard lock(mutex_);
    pending_.clear();
}

std::uint32_t VirtualReader::baud() const {
    std::lock_guard lock(mutex_);
    followPlug();
    return firmware_->state().baud;
}

void VirtualReader::setFault(Fault fault, int count, std::size_t keep, Bytes replacement) {
    std::lock_guard lock(mutex_);
    fault_ = fault;
    faultCount_ = count;
    keep_ = keep;
    replacement_ = std::move(replacement);
}

void VirtualReader::withFirmware(const std::function<void(Firmware&)>& action) {
    std::lock_guard lock(mutex_);
    followPlug();
    action(*firmware_);
}

ReaderState VirtualReader::state() const {
    std::lock_guard lock(mutex_);
    followPlug();
    return firmware_->state();
}

void VirtualReader::unplug() {
    std::lock_guard lock(plugMutex_);
    if (plugged_) ++connection_;
    plugged_ = false;
    unplugAfterRequest_ = false;
}

void VirtualReader::plug() {
    std::lock_guard lock(plugMutex_);
    plugged_ = true;
}

bool VirtualReader::plugged() const {
    std::lock_guard lock(plugMutex_);
    return plugged_;
}

std::optional<std::uint64_t> VirtualReader::connection() const {
    std::lock_guard lock(plugMutex_);
    if (!plugged_) return std::nullopt;
    return connection_;
}

bool VirtualReader::connected(std::uint64_t opened) const {
    std::lock_guard lock(plugMutex_);
    return plugged_ && connection_ == opened;
}

void VirtualReader::unplugAfterNextRequest() {
    std::lock_guard lock(plugMutex_);
    if (plugged_) unplugAfterRequest_ = true;
}

bool VirtualReader::takeUnplugAfterRequest() {
    std::lock_guard lock(plugMutex_);
    return std::exchange(unplugAfterRequest_, false);
}

bool VirtualReader::followPlug() const {
    const std::optional<std::uint64_t> now = connection();
    if (!now) return false;
    if (*now != firmwareConnection_) {
        firmwareConnection_ = *now;
        pending_.clear();
        firmware_->powerOn();
    }
    return true;
}

Bytes VirtualReader::applyFault(Bytes answer) {
    if (fault_ == Fault::none || answer.empty()) return answer;
    switch (fault_) {
        case Fault::silence:
            answer.clear();
            break;
        case Fault::truncate:
            answer.resize(std::min(keep_, answer.size()));
            break;
        case Fault::corruptCheck:
            answer.back() ^= 0xFF;
            break;
        case Fault::replace:
            answer = replacement_;
            break;
        case Fault::none:
            break;
    }
    if (faultCount_ > 0 && --faultCount_ == 0) fault_ = Fault::none;
    return answer;
}

}  // namespace rfsim
