#include "card/pcsc/pcsc_card_kind.hpp"

#include <algorithm>
#include <array>
#include <bit>

namespace Orvane::pcsc {
namespace {

// Historical bytes of a storage-card ATR: category 80, application identifier tag 4F, length, RID.
constexpr std::array<std::uint8_t, 8> kStorageCardPrefix = {0x80, 0x4F, 0x0C, 0xA0, 0x00, 0x00, 0x03, 0x06};
constexpr std::size_t kCardNameAt = 9;  // after the prefix and the standard byte

struct NamedCard {
    std::uint16_t name;
    CardKind kind;
};

// Card names of the PCSC3 supplement (PC/SC storage-card names) that this service has a card object for.
constexpr NamedCard kNamedCards[] = {
    {0x0001, CardKind::mifare1K},   {0x0002, CardKind::mifare4K}, {0x0003, CardKind::pageTag},
    {0x0026, CardKind::mifareMini}, {0x0036, CardKind::mifare1K}, {0x0037, CardKind::mifare4K},
    {0x003A, CardKind::pageTag},
};

}  // namespace

std::vector<std::uint8_t> historicalBytes(std::span<const std::uint8_t> atr) {
    if (atr.size() < 2) return {};
    const std::size_t count = atr[1] & 0x0F;
    std::size_t at = 2;
    std::uint8_t indicator = atr[1];  // T0, then each TD(i): high nibble says which bytes follow
    for (;;) {
        const int interfaceBytes = std::popcount(static_cast<unsigned>(indicator & 0xF0u));
        const bool moreFollow = (indicator & 0x80) != 0;
        if (at + static_cast<std::size_t>(interfaceBytes) > atr.size()) return {};
        at += static_cast<std::size_t>(interfaceBytes);
        if (!moreFollow) break;
        indicator = atr[at - 1];  // TD(i) is the last interface byte of its group
    }
    if (at + count > atr.size()) return {};
    return {atr.begin() + static_cast<std::ptrdiff_t>(at),
            atr.begin() + static_cast<std::ptrdiff_t>(at + count)};
}

CardKind cardKindOf(std::span<const std::uint8_t> atr) {
    const std::vector<std::uint8_t> history = historicalBytes(atr);
    if (history.size() < kCardNameAt + 2 ||
        !std::equal(kStorageCardPrefix.begin(), kStorageCardPrefix.end(), history.begin()))
        return CardKind::iso14443_4;
    const auto name = static_cast<std::uint16_t>(history[kCardNameAt] << 8 | history[kCardNameAt + 1]);
    for (const NamedCard& card : kNamedCards)
        if (card.name == name) return card.kind;
    return CardKind::iso14443_4;
}

bool contactlessAtr(std::span<const std::uint8_t> atr) {
    return atr.size() >= 4 && atr[0] == 0x3B && (atr[1] & 0xF0) == 0x80 && atr[2] == 0x80 && atr[3] == 0x01;
}

std::uint16_t standInAtqa(CardKind kind, std::size_t uidLength) {
    const std::uint8_t uidSize = uidLength >= 10 ? 0x80 : uidLength >= 7 ? 0x40 : 0x00;
    // Bit-frame anticollision bits of the NXP cards: 4K 02, the others 04.
    const std::uint8_t frame = kind == CardKind::mifare4K ? 0x02 : 0x04;
    return static_cast<std::uint16_t>(uidSize | frame);
}

std::uint8_t standInSak(CardKind kind) {
    switch (kind) {
        case CardKind::mifare1K:
            return 0x08;
        case CardKind::mifare4K:
            return 0x18;
        case CardKind::mifareMini:
            return 0x09;
        case CardKind::pageTag:
            return 0x00;
        case CardKind::iso14443_4:
            break;
    }
    return 0x20;  // bit 6: compliant with ISO/IEC 14443-4
}

std::vector<std::uint8_t> standInAts(std::span<const std::uint8_t> atr) {
    const std::vector<std::uint8_t> history = historicalBytes(atr);
    // TL counts itself; an ATS is at most 255 bytes long, so the historical bytes (at most 15) fit.
    std::vector<std::uint8_t> ats(5 + history.size(), 0x00);
    ats[0] = static_cast<std::uint8_t>(ats.size());
    ats[1] = 0x78;
    std::copy(history.begin(), history.end(), ats.begin() + 5);
    return ats;
}

}  // namespace Orvane::pcsc
