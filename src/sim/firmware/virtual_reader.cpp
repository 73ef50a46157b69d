#include "sim/firmware/virtual_reader.hpp"

namespace rfsim {

Bytes VirtualReader::receive(std::span<const std::uint8_t> bytes, bool packet) {
    std::lock_guard lock(mutex_);
    Bytes out;
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
            Bytes answer = applyFault(firmware_->answer(pending_));
            out.insert(out.end(), answer.begin(), answer.end());
            pending_.clear();
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
    action(*firmware_);
}

ReaderState VirtualReader::state() const {
    std::lock_guard lock(mutex_);
    return firmware_->state();
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
