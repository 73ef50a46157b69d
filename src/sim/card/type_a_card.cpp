#include "sim/card/type_a_card.hpp"

#include <stdexcept>

namespace rfsim {

TypeACard::TypeACard(Bytes uid, std::uint16_t atqa, std::uint8_t sak)
    : uid_(std::move(uid)), atqa_(atqa), sak_(sak) {
    if (uid_.size() != 4 && uid_.size() != 7 && uid_.size() != 10)
        throw std::invalid_argument("a type A UID has 4, 7 or 10 bytes");
}

LevelBytes withBcc(std::span<const std::uint8_t, 4> bytes) {
    return {bytes[0], bytes[1], bytes[2], bytes[3],
            static_cast<std::uint8_t>(bytes[0] ^ bytes[1] ^ bytes[2] ^ bytes[3])};
}

LevelBytes uidLevel(std::span<const std::uint8_t> uid, int level) {
    const int levels = static_cast<int>(uid.size() / 3);
    std::array<std::uint8_t, 4> bytes{};
    std::size_t from = static_cast<std::size_t>(level) * 3;
    std::size_t at = 0;
    if (level < levels - 1) bytes[at++] = kCascadeTag;
    while (at < 4 && from < uid.size())
        bytes[at++] = uid[from++];
    return withBcc(bytes);
}

CardState TypeACard::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

bool TypeACard::layer4() const {
    std::lock_guard lock(mutex_);
    return layer4_;
}

std::optional<std::uint16_t> TypeACard::request(bool wakeUp) {
    std::lock_guard lock(mutex_);
    switch (state_) {
        case CardState::idle:
            fromHalt_ = false;
            break;
        case CardState::halt:
            if (!wakeUp) return std::nullopt;
            fromHalt_ = true;
            break;
        case CardState::ready:
        case CardState::active:
            rejectLocked();
            return std::nullopt;
    }
    state_ = CardState::ready;
    level_ = 0;
    return atqa_;
}

std::optional<LevelBytes> TypeACard::anticollision(int level) {
    std::lock_guard lock(mutex_);
    if (state_ == CardState::idle || state_ == CardState::halt) return std::nullopt;
    if (state_ != CardState::ready || level != level_) {
        rejectLocked();
        return std::nullopt;
    }
    return levelBytes(level);
}

std::optional<std::uint8_t> TypeACard::select(int level, const LevelBytes& bytes) {
    std::lock_guard lock(mutex_);
    if (state_ == CardState::idle || state_ == CardState::halt) return std::nullopt;
    if (state_ != CardState::ready || level != level_ || bytes != levelBytes(level)) {
        rejectLocked();
        return std::nullopt;
    }
    if (level + 1 < cascadeLevels()) {
        ++level_;
        return kSakCascade;
    }
    state_ = CardState::active;
    return sak_;
}

void TypeACard::halt() {
    std::lock_guard lock(mutex_);
    if (state_ == CardState::active) {
        state_ = CardState::halt;
        layer4_ = false;
        haltedLocked();
    } else if (state_ == CardState::ready) {
        rejectLocked();
    }
}

void TypeACard::powerOff() {
    std::lock_guard lock(mutex_);
    powerOffLocked();
    fieldLostLocked();
}

void TypeACard::powerOffLocked() {
    state_ = CardState::idle;
    level_ = 0;
    fromHalt_ = false;
    layer4_ = false;
}

void TypeACard::rejectLocked() {
    if (state_ == CardState::idle || state_ == CardState::halt) return;  // not listening anyway
    const bool toHalt = fromHalt_;
    powerOffLocked();
    if (toHalt) state_ = CardState::halt;
}

std::optional<Bytes> TypeACard::rats() {
    std::lock_guard lock(mutex_);
    rejectLocked();
    return std::nullopt;
}

std::optional<Bytes> TypeACard::exchangeApdu(std::span<const std::uint8_t>) {
    std::lock_guard lock(mutex_);
    rejectLocked();
    return std::nullopt;
}

// S(DESELECT) ends an ISO/IEC 14443-4 session and sends the card to HALT (ISO/IEC 14443-4 8);
// a card without one takes the block for an unexpected frame.
bool TypeACard::deselect() {
    std::lock_guard lock(mutex_);
    if (state_ == CardState::active && layer4_) {
        state_ = CardState::halt;
        layer4_ = false;
        return true;
    }
    rejectLocked();
    return false;
}

bool TypeACard::authenticate(int, bool, std::span<const std::uint8_t, 6>) {
    std::lock_guard lock(mutex_);
    rejectLocked();
    return false;
}

std::optional<Bytes> TypeACard::readBlock(int) {
    std::lock_guard lock(mutex_);
    rejectLocked();
    return std::nullopt;
}

bool TypeACard::writeBlock(int, std::span<const std::uint8_t, 16>) {
    std::lock_guard lock(mutex_);
    rejectLocked();
    return false;
}

bool TypeACard::writePage(int, std::span<const std::uint8_t, 4>) {
    std::lock_guard lock(mutex_);
    rejectLocked();
    return false;
}

std::optional<Bytes> TypeACard::fastRead(int, int) {
    std::lock_guard lock(mutex_);
    return refuseLocked();
}

std::optional<Bytes> TypeACard::pwdAuth(std::span<const std::uint8_t, 4>) {
    std::lock_guard lock(mutex_);
    return refuseLocked();
}

std::optional<Bytes> TypeACard::getVersion() {
    std::lock_guard lock(mutex_);
    return refuseLocked();
}

std::optional<Bytes> TypeACard::readCounter(int) {
    std::lock_guard lock(mutex_);
    return refuseLocked();
}

std::optional<Bytes> TypeACard::readSignature(int) {
    std::lock_guard lock(mutex_);
    return refuseLocked();
}

}  // namespace rfsim
