#include "card/iso14443a/typea_vc.hpp"

#include <algorithm>
#include <array>

#include "reader/frame/vc_opcodes.hpp"

namespace typea {

namespace {

namespace vc = Orvane::vc;

constexpr std::size_t kMinUid = 4;
constexpr std::size_t kMaxUid = 10;
// The card commands a request carries.
constexpr std::uint8_t kReqa = 0x26;
constexpr std::uint8_t kWupa = 0x52;

}  // namespace

std::optional<std::uint16_t> VcTypeA::request(bool wake) {
    const std::uint8_t code = wake ? kWupa : kReqa;
    if (reader_.exchange(vc::kRequest, std::span(&code, 1)) != 0) return std::nullopt;
    const auto atqa = reader_.replyData();
    if (atqa.size() != 2) return std::nullopt;
    return static_cast<std::uint16_t>(atqa[0] | atqa[1] << 8);
}

std::span<const std::uint8_t> VcTypeA::reportedUid() {
    const std::uint8_t code = vc::kAnticollisionData;
    if (reader_.exchange(vc::kAnticollision, std::span(&code, 1)) != 0) return {};
    const auto uid = reader_.replyData();
    // A card's UID has 4 to 10 bytes: any other report is a failed anticollision, not a card.
    if (uid.size() < kMinUid || uid.size() > kMaxUid) return {};
    return uid;
}

bool VcTypeA::anticollision(Orvane::TypeACardInfo& info) {
    const auto uid = reportedUid();
    if (uid.empty()) return false;
    info.uid.fill(0);
    std::copy(uid.begin(), uid.end(), info.uid.begin());
    info.uidLen = static_cast<int>(uid.size());
    if (reader_.exchange(vc::kSelect, std::span(info.uid.data(), uid.size())) == 0) {
        const auto reply = reader_.replyData();
        if (reply.size() == 1) info.sak = reply[0];
    }
    return true;
}

bool VcTypeA::halt() {
    return reader_.exchange(vc::kHalt) == 0;
}

std::optional<std::array<std::uint8_t, 4>> VcTypeA::activateAny(Orvane::IBuffer* ats, bool& exchanged) {
    exchanged = reader_.exchange(vc::kActivate, std::span(&kWupa, 1)) == 0;
    if (!exchanged) return std::nullopt;
    // Reply: the four level-1 UID bytes, then the ATS, whose first byte (TL) counts the ATS.
    const auto reply = reader_.replyData();
    if (reply.size() < 8) return std::nullopt;
    std::array<std::uint8_t, 4> uid;
    std::copy_n(reply.begin(), 4, uid.begin());
    const auto rest = reply.subspan(4);
    const std::size_t atsLength = std::min<std::size_t>(rest[0], rest.size());
    if (ats != nullptr) ats->assign(rest.data(), static_cast<std::uint32_t>(atsLength));
    return uid;
}

bool VcTypeA::activate(Orvane::TypeACardInfo& info, Orvane::IBuffer* ats, TypeAState& state) {
    bool exchanged = false;
    const auto uid = activateAny(ats, exchanged);
    state.iso4Active = exchanged;
    if (!exchanged) return false;
    if (uid) std::copy(uid->begin(), uid->end(), info.uid.begin());
    std::fill(info.uid.begin() + 4, info.uid.end(), 0);  // the record now holds the four level-1 bytes
    info.uidLen = 4;
    return true;
}

bool VcTypeA::selectKnown(const CascadeImage& image, bool activate, Orvane::IBuffer* ats, TypeAState& state) {
    if (activate) {
        bool exchanged = false;
        const auto uid = activateAny(ats, exchanged);
        if (!uid) return false;
        state.cl1Uid = *uid;
        state.iso4Active = std::ranges::equal(state.cl1Uid, image.level(0));
        if (!state.iso4Active) reader_.exchange(vc::kDeselect);  // another card answered: release it
        return state.iso4Active;
    }
    if (reader_.exchange(vc::kRequest, std::span(&kWupa, 1)) != 0) return false;
    const auto uid = reportedUid();
    // The reported UID must be the start of the one asked for (the whole of it, normally).
    if (uid.size() < 4 || uid.size() > image.uid.size() ||
        !std::equal(uid.begin(), uid.end(), image.uid.begin()))
        return false;
    std::array<std::uint8_t, kMaxUid> select;
    std::copy(uid.begin(), uid.end(), select.begin());
    return reader_.exchange(vc::kSelect, std::span(select.data(), uid.size())) == 0;
}

bool VcTypeA::rawExchange(std::span<const std::uint8_t> request, Orvane::IBuffer& response) {
    if (reader_.exchange(vc::kIso4Exchange, request) != 0) return false;
    const auto reply = reader_.replyData();
    return response.assign(reply.data(), static_cast<std::uint32_t>(reply.size()));
}

bool VcTypeA::deselect() {
    return reader_.exchange(vc::kDeselect) == 0;
}

}  // namespace typea
