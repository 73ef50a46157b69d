#include "card/cpu/cpu_card_text.hpp"

#include <algorithm>
#include <cstdio>

namespace Orvane {

namespace {

// Fixed ATS positions (the store starts with TL).
constexpr std::uint32_t kT0 = 1;
constexpr std::uint32_t kTa1 = 2;
constexpr std::uint32_t kTc1 = 4;
constexpr std::uint32_t kCosVersion = 5;
constexpr std::uint32_t kManufacturer = 6;
constexpr std::uint32_t kParsedBytes = 16;
constexpr std::size_t kTextRoom = 500;

std::string hexText(std::span<const std::uint8_t> bytes, bool spaced) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (const std::uint8_t b : bytes) {
        if (spaced && !text.empty()) text += ' ';
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

unsigned bit(std::uint8_t byte, int n) {
    return (byte >> n) & 1u;
}

}  // namespace

std::uint32_t compatibleCardNumber(std::span<const std::uint8_t> uid) {
    const std::size_t first = uid.size() < 5 ? 0 : uid.size() - 4;
    std::uint32_t number = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::size_t at = first + i;
        if (at < uid.size()) number |= static_cast<std::uint32_t>(uid[at]) << (8 * i);
    }
    return number;
}

std::string compatibleCardNumberText(std::span<const std::uint8_t> uid) {
    char text[16];
    std::snprintf(text, sizeof text, "%010u", compatibleCardNumber(uid));
    return text;
}

std::string atsDetailText(IBuffer& atsStore, std::span<const std::uint8_t> uid) {
    if (atsStore.empty()) return "未复位激活 无详细信息";
    if (!atsStore.ensure(kParsedBytes)) return "ATS数据异常无法解析";
    const auto at = [&](std::uint32_t pos) -> std::uint8_t {
        return pos < atsStore.size() ? atsStore.data()[pos] : 0;
    };
    const std::uint8_t t0 = at(kT0), ta = at(kTa1), tc = at(kTc1), version = at(kCosVersion);
    const char* yes = "支持";
    const char* no = "不支持";
    std::string text(kTextRoom, '\0');
    const int n = std::snprintf(
        text.data(), text.size() + 1,
        "当前复位激活详细信息\nATS数据:%s\n兼容卡号:%010u 芯片UID:%s 厂商码:%02X COS版本:%u.%u\n"
        "格式选项 TA=%u TB=%u TC=%u RFU=%u 接口选项 NAD%s CID%s\n"
        "编码选项 DR2=%u DR4=%u DR8=%u RFU=%u DS2=%u DS4=%u DS8=%u PICC=%u\n",
        hexText(std::span(atsStore.data(), atsStore.size()), true).c_str(), compatibleCardNumber(uid),
        hexText(uid, false).c_str(), at(kManufacturer), version >> 4u, version & 0x0Fu, bit(t0, 4),
        bit(t0, 5), bit(t0, 6), bit(t0, 7), bit(tc, 0) ? yes : no, bit(tc, 1) ? yes : no, bit(ta, 0),
        bit(ta, 1), bit(ta, 2), bit(ta, 3), bit(ta, 4), bit(ta, 5), bit(ta, 6), bit(ta, 7));
    text.resize(n < 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(n), kTextRoom));
    return text;
}

}  // namespace Orvane
