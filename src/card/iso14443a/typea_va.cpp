#include "card/iso14443a/typea_va.hpp"

#include <algorithm>

#include "reader/frame/va_opcodes.hpp"

namespace typea {

namespace va = Orvane::va;

std::optional<std::uint16_t> VaTypeA::request(bool wake) {
    if (wake) reader_.exchange(va::kRfReset);  // a reset reader may answer anything: only the request counts
    if (reader_.exchange(va::kRequest) != 0) return std::nullopt;
    const auto atqa = reader_.replyData();
    if (atqa.size() != 2) return std::nullopt;
    return static_cast<std::uint16_t>(atqa[0] | atqa[1] << 8);
}

std::optional<std::array<std::uint8_t, 4>> VaTypeA::levelOne() {
    if (reader_.exchange(va::kAnticollision) != 0) return std::nullopt;
    const auto reply = reader_.replyData();
    if (reply.size() <= 3) return std::nullopt;
    std::array<std::uint8_t, 4> bytes;
    std::copy_n(reply.begin(), 4, bytes.begin());
    return bytes;
}

bool VaTypeA::anticollision(Orvane::TypeACardInfo& info) {
    const auto uid = levelOne();
    if (!uid) return false;
    std::copy(uid->begin(), uid->end(), info.uid.begin());
    if (reader_.exchange(va::kSelect) != 0) return false;
    const auto reply = reader_.replyData();
    if (reply.size() == 2) info.sak = reply[0];
    info.uidLen = 4;
    return true;
}

bool VaTypeA::halt() {
    return reader_.exchange(va::kHalt) == 0;
}

bool VaTypeA::selectKnown(const CascadeImage& image, bool activate, Orvane::IBuffer*, TypeAState& state) {
    if (activate) return false;
    reader_.exchange(va::kRfReset);
    if (reader_.exchange(va::kRequest) != 0) return false;
    const auto uid = levelOne();
    if (!uid) return false;
    state.cl1Uid = *uid;
    if (!std::ranges::equal(state.cl1Uid, image.level(0))) return false;
    return reader_.exchange(va::kSelect) == 0;
}

bool VaTypeA::reactivate(const std::array<std::uint8_t, 4>& cl1Uid) {
    if (reader_.exchange(va::kRequest) != 0) return false;
    const auto uid = levelOne();
    if (!uid || *uid != cl1Uid) return false;
    return reader_.exchange(va::kSelect) == 0;
}

}  // namespace typea
