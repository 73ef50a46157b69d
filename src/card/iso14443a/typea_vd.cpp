#include "card/iso14443a/typea_vd.hpp"

#include <algorithm>
#include <array>

#include "reader/frame/vd_opcodes.hpp"

namespace typea {

namespace {

namespace vd = Orvane::vd;
using vd::kLayer3Params;
using vd::kLayer4Params;

// Size bits of the ATQA (bits 7-6 of its first byte): 00 single, 01 double, 10 triple UID.
constexpr std::uint16_t kUidSizeBits = 0xC0;
constexpr std::uint16_t kDoubleSize = 0x40;

// The level's cascade tag is dropped: the following UID bytes move down by one.
void dropCascadeTag(Orvane::TypeACardInfo& info, int at) {
    std::copy(info.uid.begin() + at + 1, info.uid.begin() + at + 4, info.uid.begin() + at);
}

}  // namespace

std::optional<std::uint16_t> VdTypeA::request(bool wake) {
    const std::uint8_t code = wake ? vd::kRequestWake : vd::kRequestIdle;
    if (reader_.exchange(vd::kRequest, kLayer3Params, std::span(&code, 1)) != 0) return std::nullopt;
    const auto atqa = reader_.replyData();
    if (atqa.size() != 2) return std::nullopt;
    return static_cast<std::uint16_t>(atqa[0] | atqa[1] << 8);
}

bool VdTypeA::anticollision(Orvane::TypeACardInfo& info) {
    const std::uint8_t level1 = 0x00;
    if (reader_.exchange(vd::kAnticollisionLevel1, kLayer3Params, std::span(&level1, 1)) != 0) return false;
    auto reply = reader_.replyData();
    if (reply.size() <= 3) return false;
    std::copy_n(reply.begin(), 4, info.uid.begin());
    if (reader_.exchange(vd::kSelectLevel1, kLayer3Params, std::span(info.uid.data(), 4)) != 0) return false;
    reply = reader_.replyData();
    if (reply.size() == 1) info.sak = reply[0];

    int length = 4;
    const std::uint16_t sizeBits = info.atqa & kUidSizeBits;
    if (sizeBits != 0 && info.uid[0] == kCascadeTag) {
        dropCascadeTag(info, 0);
        if (!higherLevel(kSelectLevel2, info, 3)) return false;
        length = 7;
        if (sizeBits != kDoubleSize && info.uid[3] == kCascadeTag) {
            dropCascadeTag(info, 3);
            if (!higherLevel(kSelectLevel3, info, 6)) return false;
            length = 10;
        }
    }
    info.uidLen = length;
    return true;
}

bool VdTypeA::higherLevel(std::uint8_t sel, Orvane::TypeACardInfo& info, int at) {
    const std::array<std::uint8_t, 2> anticollision{sel, 0x00};
    if (reader_.exchange(vd::kAnticollisionHigher, kLayer3Params, anticollision) != 0) return false;
    auto reply = reader_.replyData();
    if (reply.size() <= 3) return false;
    std::copy_n(reply.begin(), 4, info.uid.begin() + at);

    std::array<std::uint8_t, 5> select{sel};
    std::copy_n(info.uid.begin() + at, 4, select.begin() + 1);
    if (reader_.exchange(vd::kSelectHigher, kLayer3Params, select) != 0) return false;
    reply = reader_.replyData();
    if (reply.size() == 1) info.sak = reply[0];
    return true;
}

bool VdTypeA::halt() {
    return reader_.exchange(vd::kHalt, kLayer3Params) == 0;
}

bool VdTypeA::activate(Orvane::TypeACardInfo&, Orvane::IBuffer* ats, TypeAState& state) {
    return rats(ats, state);
}

bool VdTypeA::rats(Orvane::IBuffer* ats, TypeAState& state) {
    const bool ok = reader_.exchange(vd::kRats, kLayer4Params) == 0;
    if (ok) {
        const auto reply = reader_.replyData();
        if (reply.size() > 4 && ats != nullptr)
            ats->assign(reply.data(), static_cast<std::uint32_t>(reply.size()));
    }
    state.iso4Active = ok;
    return ok;
}

bool VdTypeA::selectKnown(const CascadeImage& image, bool activate, Orvane::IBuffer* ats, TypeAState& state) {
    if (reader_.exchange(vd::kRequest, kLayer3Params, std::span(&vd::kRequestWake, 1)) != 0) return false;
    if (reader_.exchange(vd::kSelectLevel1, kLayer3Params, image.level(0)) != 0) return false;
    const std::uint8_t sels[] = {kSelectLevel2, kSelectLevel3};
    for (int level = 1; level < image.levels; ++level) {
        std::array<std::uint8_t, 5> select{sels[level - 1]};
        std::copy(image.level(level).begin(), image.level(level).end(), select.begin() + 1);
        if (reader_.exchange(vd::kSelectHigher, kLayer3Params, select) != 0) return false;
    }
    return !activate || rats(ats, state);
}

bool VdTypeA::rawExchange(std::span<const std::uint8_t> request, Orvane::IBuffer& response) {
    // Data: three zero bytes and the length byte, then the bytes; 255 bytes at most.
    if (request.empty() || request.size() > 255) return false;
    std::array<std::uint8_t, 4 + 255> data{0x00, 0x00, 0x00, static_cast<std::uint8_t>(request.size())};
    std::copy(request.begin(), request.end(), data.begin() + 4);
    if (reader_.exchange(vd::kIso4Exchange, kLayer4Params, std::span(data.data(), 4 + request.size())) != 0)
        return false;
    // Reply: two bytes, the response length (big-endian), the response.
    const auto reply = reader_.replyData();
    if (reply.size() < 4) return false;
    const std::size_t length = static_cast<std::size_t>(reply[2] << 8 | reply[3]);
    if (length > reply.size() - 4) return false;
    return response.assign(reply.data() + 4, static_cast<std::uint32_t>(length));
}

bool VdTypeA::deselect() {
    return reader_.exchange(vd::kDeselect, kLayer4Params) == 0;
}

}  // namespace typea
