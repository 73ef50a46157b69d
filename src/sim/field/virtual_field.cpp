#include "sim/field/virtual_field.hpp"

#include <algorithm>

namespace rfsim {

Placement VirtualField::placeCard(std::shared_ptr<TypeACard> card) {
    if (!card) return Placement::noCard;
    std::lock_guard lock(mutex_);
    for (const auto& present : cards_)
        if (present == card || present->uid() == card->uid()) return Placement::uidTaken;
    if (cards_.size() >= kMaxCards) return Placement::full;
    card->powerOff();
    cards_.push_back(std::move(card));
    return Placement::placed;
}

bool VirtualField::remove(std::span<const std::uint8_t> uid) {
    std::lock_guard lock(mutex_);
    const auto found = std::find_if(cards_.begin(), cards_.end(), [&](const auto& card) {
        return std::equal(uid.begin(), uid.end(), card->uid().begin(), card->uid().end());
    });
    if (found == cards_.end()) return false;
    (*found)->powerOff();
    cards_.erase(found);
    return true;
}

void VirtualField::clear() {
    std::lock_guard lock(mutex_);
    for (const auto& card : cards_)
        card->powerOff();
    cards_.clear();
}

std::vector<std::shared_ptr<TypeACard>> VirtualField::cards() const {
    std::lock_guard lock(mutex_);
    return cards_;
}

void VirtualField::powerCycle() {
    std::lock_guard lock(mutex_);
    for (const auto& card : cards_)
        card->powerOff();
}

std::optional<std::uint16_t> VirtualField::request(bool wakeUp) {
    std::lock_guard lock(mutex_);
    std::optional<std::uint16_t> combined;
    for (const auto& card : cards_)
        if (const auto atqa = card->request(wakeUp))
            combined = static_cast<std::uint16_t>(combined.value_or(0) | *atqa);
    return combined;
}

std::optional<LevelBytes> VirtualField::anticollision(int level) {
    std::lock_guard lock(mutex_);
    std::optional<LevelBytes> winner;
    for (const auto& card : cards_) {
        const auto bytes = card->anticollision(level);
        if (bytes && (!winner || winsAnticollision(*bytes, *winner))) winner = bytes;
    }
    return winner;
}

std::optional<std::uint8_t> VirtualField::select(int level, const LevelBytes& bytes) {
    std::lock_guard lock(mutex_);
    std::optional<std::uint8_t> sak;
    for (const auto& card : cards_)
        if (const auto answer = card->select(level, bytes); answer && !sak) sak = answer;
    return sak;
}

void VirtualField::halt() {
    std::lock_guard lock(mutex_);
    for (const auto& card : cards_)
        card->halt();
}

std::shared_ptr<TypeACard> VirtualField::activeCard() const {
    std::lock_guard lock(mutex_);
    for (const auto& card : cards_)
        if (card->state() == CardState::active) return card;
    return nullptr;
}

bool winsAnticollision(const LevelBytes& a, const LevelBytes& b) {
    for (std::size_t i = 0; i < 4; ++i) {
        const unsigned differ = static_cast<unsigned>(a[i] ^ b[i]);
        if (differ == 0) continue;
        const unsigned firstBit = differ & (0u - differ);  // lowest differing bit travels first
        return (a[i] & firstBit) != 0;
    }
    return false;
}

}  // namespace rfsim
