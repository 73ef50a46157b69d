#include "sim/field/type_a_front_end.hpp"

#include <algorithm>

namespace rfsim {
namespace {

Reply failure(std::uint8_t status) {
    return Reply{status, {}};
}

bool bccCorrect(const LevelBytes& bytes) {
    return (bytes[0] ^ bytes[1] ^ bytes[2] ^ bytes[3]) == bytes[4];
}

}  // namespace

bool TypeAFrontEnd::ready() {
    if (firmware_.state().protocol != Protocol::iso14443A) return false;
    if (firmware_.state().fieldResets != seenResets_) {
        seenResets_ = firmware_.state().fieldResets;
        field_->powerCycle();
        found_.reset();
        resolved_.reset();
    }
    return true;
}

Reply TypeAFrontEnd::request(bool wakeUp) {
    if (!ready()) return failure(kStatusNoCard);
    found_.reset();
    resolved_.reset();
    auto atqa = field_->request(wakeUp);
    if (!atqa) atqa = field_->request(wakeUp);
    if (!atqa) return failure(kStatusNoCard);
    return Reply{0, {static_cast<std::uint8_t>(*atqa & 0xFF), static_cast<std::uint8_t>(*atqa >> 8)}};
}

Reply TypeAFrontEnd::anticollision(int level) {
    if (!ready()) return failure(kStatusNoCard);
    const auto bytes = field_->anticollision(level);
    if (!bytes) return failure(kStatusNoCard);
    if (!bccCorrect(*bytes)) return failure(kStatusUidError);
    if (level == 0) found_ = bytes;
    return Reply{0, Bytes(bytes->begin(), bytes->begin() + 4)};
}

Reply TypeAFrontEnd::select(int level, std::span<const std::uint8_t> bytes) {
    if (!ready()) return failure(kStatusNoCard);
    if (bytes.size() != 4) return failure(kStatusBadParameter);
    const auto sak = field_->select(level, withBcc(bytes.first<4>()));
    if (!sak) return failure(kStatusNoCard);
    return Reply{0, {*sak}};
}

Reply TypeAFrontEnd::selectFound() {
    if (!found_) return failure(kStatusNoCard);
    const LevelBytes bytes = *found_;
    return select(0, std::span(bytes).first(4));
}

Reply TypeAFrontEnd::findUid() {
    if (!ready()) return failure(kStatusNoCard);
    resolved_.reset();
    Bytes uid;
    for (int level = 0; level < 3; ++level) {
        const auto bytes = field_->anticollision(level);
        if (!bytes) return failure(kStatusNoCard);
        if (!bccCorrect(*bytes)) return failure(kStatusUidError);
        if ((*bytes)[0] != kCascadeTag || level == 2) {
            uid.insert(uid.end(), bytes->begin(), bytes->begin() + 4);
            resolved_ = Resolved{uid, level};
            return Reply{0, uid};
        }
        // The UID goes on: select this level to reach the next one.
        const auto sak = field_->select(level, *bytes);
        if (!sak) return failure(kStatusNoCard);
        if ((*sak & kSakCascade) == 0) return failure(kStatusUidError);
        uid.insert(uid.end(), bytes->begin() + 1, bytes->begin() + 4);
    }
    return failure(kStatusUidError);
}

Reply TypeAFrontEnd::selectUid(std::span<const std::uint8_t> uid) {
    if (!ready()) return failure(kStatusNoCard);
    if (uid.size() != 4 && uid.size() != 7 && uid.size() != 10) return failure(kStatusBadParameter);
    const int levels = static_cast<int>(uid.size() / 3);
    int level = 0;
    if (resolved_ && std::equal(uid.begin(), uid.end(), resolved_->uid.begin(), resolved_->uid.end()))
        level = resolved_->level;
    resolved_.reset();
    std::optional<std::uint8_t> sak;
    for (; level < levels; ++level) {
        sak = field_->select(level, uidLevel(uid, level));
        if (!sak) return failure(kStatusNoCard);
    }
    return Reply{0, {*sak}};
}

Reply TypeAFrontEnd::activate(bool wakeUp) {
    Reply step = request(wakeUp);
    if (step.status != 0) return step;
    step = findUid();
    if (step.status != 0) return step;
    const Bytes uid = step.data;
    step = selectUid(uid);
    if (step.status != 0) return step;
    step = rats();
    if (step.status != 0) return step;
    const LevelBytes first = uidLevel(uid, 0);
    Bytes data(first.begin(), first.begin() + 4);
    data.insert(data.end(), step.data.begin(), step.data.end());
    return Reply{0, std::move(data)};
}

Reply TypeAFrontEnd::halt() {
    if (ready()) field_->halt();
    return Reply{};
}

Reply TypeAFrontEnd::rats() {
    const auto card = activeCard();
    if (!card) return failure(kStatusNoCard);
    auto ats = card->rats();
    if (!ats) return failure(kStatusNoCard);
    return Reply{0, std::move(*ats)};
}

Reply TypeAFrontEnd::deselect() {
    const auto card = activeCard();
    if (!card || !card->deselect()) return failure(kStatusNoCard);
    return Reply{};
}

Reply TypeAFrontEnd::exchange(std::span<const std::uint8_t> apdu) {
    const auto card = activeCard();
    if (!card) return failure(kStatusNoCard);
    auto response = card->exchangeApdu(apdu);
    if (!response) return failure(kStatusNoCard);
    return Reply{0, std::move(*response)};
}

Reply TypeAFrontEnd::authenticate(int block, bool keyB, std::span<const std::uint8_t> key) {
    if (key.size() != 6) return failure(kStatusBadParameter);
    const auto card = activeCard();
    if (!card) return failure(kStatusNoCard);
    return card->authenticate(block, keyB, key.first<6>()) ? Reply{} : failure(kStatusAuthFailed);
}

Reply TypeAFrontEnd::readBlock(int block) {
    const auto card = activeCard();
    if (!card) return failure(kStatusNoCard);
    auto data = card->readBlock(block);
    if (!data) return failure(kStatusCardRefused);
    return Reply{0, std::move(*data)};
}

Reply TypeAFrontEnd::writeBlock(int block, std::span<const std::uint8_t> data) {
    if (data.size() != 16) return failure(kStatusBadParameter);
    const auto card = activeCard();
    if (!card) return failure(kStatusNoCard);
    return card->writeBlock(block, data.first<16>()) ? Reply{} : failure(kStatusCardRefused);
}

template <typename Command>
Reply TypeAFrontEnd::tagAnswer(Command command) {
    const auto card = activeCard();
    if (!card) return failure(kStatusNoCard);
    std::optional<Bytes> answer = command(*card);
    if (!answer) return failure(kStatusCardRefused);
    return Reply{0, std::move(*answer)};
}

Reply TypeAFrontEnd::fastRead(int firstPage, int lastPage) {
    return tagAnswer([&](TypeACard& card) { return card.fastRead(firstPage, lastPage); });
}

Reply TypeAFrontEnd::pwdAuth(std::span<const std::uint8_t> password) {
    if (password.size() != 4) return failure(kStatusBadParameter);
    return tagAnswer([&](TypeACard& card) { return card.pwdAuth(password.first<4>()); });
}

Reply TypeAFrontEnd::getVersion() {
    return tagAnswer([](TypeACard& card) { return card.getVersion(); });
}

Reply TypeAFrontEnd::readCounter(int counter) {
    return tagAnswer([&](TypeACard& card) { return card.readCounter(counter); });
}

Reply TypeAFrontEnd::readSignature(int address) {
    return tagAnswer([&](TypeACard& card) { return card.readSignature(address); });
}

}  // namespace rfsim
