#include "sim/card/cpu_card.hpp"

#include "sim/card/cos/default_content.hpp"

namespace rfsim {

CpuCard::CpuCard(Bytes uid, std::shared_ptr<cos::CosCard> cos)
    : CpuCard(std::move(uid), cos ? std::move(cos) : cos::defaults::cos(), 0) {}

CpuCard::CpuCard(Bytes uid, std::shared_ptr<cos::CosCard> cos, int)
    : Iso4Card(std::move(uid), Bytes(kCpuAts.begin(), kCpuAts.end()),
               [cos](std::span<const std::uint8_t> apdu) { return cos->process(apdu); }),
      cos_(std::move(cos)) {}

std::optional<Bytes> CpuCard::rats() {
    auto ats = Iso4Card::rats();
    if (ats) {
        std::lock_guard lock(mutex_);
        cos_->state().resetSession();
    }
    return ats;
}

cos::CosFaults CpuCard::faults() const {
    std::lock_guard lock(mutex_);
    return cos_->state().faults;
}

void CpuCard::setFaults(cos::CosFaults faults) {
    std::lock_guard lock(mutex_);
    cos_->state().faults = faults;
}

void CpuCard::powerOffLocked() {
    Iso4Card::powerOffLocked();
    cos_->state().resetSession();
}

std::shared_ptr<CpuCard> makeCpuCard(Bytes uid) {
    return std::make_shared<CpuCard>(std::move(uid));
}

}  // namespace rfsim
