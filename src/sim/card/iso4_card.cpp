#include "sim/card/iso4_card.hpp"

namespace rfsim {
namespace {

std::uint16_t atqaOf(std::size_t uidLength) {
    return static_cast<std::uint16_t>((uidLength == 4 ? 0x00 : uidLength == 7 ? 0x40 : 0x80) | 0x04);
}

}  // namespace

Iso4Card::Iso4Card(Bytes uid, Bytes ats, ApduHandler handler)
    : TypeACard(uid, atqaOf(uid.size()), 0x20), ats_(std::move(ats)), handler_(std::move(handler)) {}

std::optional<Bytes> Iso4Card::rats() {
    std::lock_guard lock(mutex_);
    if (!activeLocked() || layer4_) {
        rejectLocked();
        return std::nullopt;
    }
    layer4_ = true;
    return ats_;
}

std::optional<Bytes> Iso4Card::exchangeApdu(std::span<const std::uint8_t> apdu) {
    std::lock_guard lock(mutex_);
    if (!activeLocked() || !layer4_) {
        rejectLocked();
        return std::nullopt;
    }
    if (!handler_) return Bytes{0x6D, 0x00};
    return handler_(apdu);
}

std::shared_ptr<Iso4Card> makeIso4Card(Bytes uid, Bytes ats, Iso4Card::ApduHandler handler) {
    return std::make_shared<Iso4Card>(std::move(uid), std::move(ats), std::move(handler));
}

}  // namespace rfsim
