#pragma once
// What a PC/SC reader's ATR says about the contactless card on it. A reader that runs the PC/SC
// storage-card mapping (PCSC3 v2.01.09 and its supplement) builds an ATR whose historical bytes
// name the card: 80 4F 0C, RID A0 00 00 03 06, the standard byte, two card-name bytes, four RFU
// bytes. A card that speaks ISO 14443-4 gets an ATR carrying its own historical bytes (those of
// its ATS) instead. Pure functions over the ATR.

#include <cstdint>
#include <span>
#include <vector>

namespace Orvane::pcsc {

enum class CardKind {
    mifare1K,    // Mifare Classic 1K (also Mifare Plus in security level 1, 2K)
    mifare4K,    // Mifare Classic 4K (and Plus SL1 4K)
    mifareMini,  // Mifare Mini
    pageTag,     // Mifare Ultralight, Ultralight C, NTAG
    iso14443_4,  // any other card: an ISO 14443-4 (CPU) card
};

// The historical bytes of an ATR (ISO/IEC 7816-3 §8.2); empty when the ATR is too short for what
// its format bytes announce.
std::vector<std::uint8_t> historicalBytes(std::span<const std::uint8_t> atr);

CardKind cardKindOf(std::span<const std::uint8_t> atr);

// Whether a contactless reader built the ATR (PCSC3 §3.1.3.2.3: 3B 8n 80 01, historical
// bytes, TCK). Only then does the reader itself answer GET DATA (FF CA); any other ATR comes from
// the card (a contact card), which gets the command and may not take class FF kindly.
bool contactlessAtr(std::span<const std::uint8_t> atr);

// ATQA (first byte in the low half) and SAK a reader of another family would report for the kind
// and UID length (ISO/IEC 14443-3 §6.5.2: ATQA bits 7-8 give the UID size; NXP AN10833 for the
// SAK values). PC/SC readers keep both to themselves, so these stand in for them.
std::uint16_t standInAtqa(CardKind kind, std::size_t uidLength);
std::uint8_t standInSak(CardKind kind);

// An ATS for an ISO 14443-4 card built from what the ATR keeps of it: TL, T0 = 78 (TA(1), TB(1),
// TC(1) present, FSCI 8), the three interface bytes as 00 (the reader keeps them to itself), then
// the ATR's historical bytes. Clients read COS version and maker at positions 5 and 6, which are the
// first two historical bytes in an ATS with all three interface bytes.
std::vector<std::uint8_t> standInAts(std::span<const std::uint8_t> atr);

}  // namespace Orvane::pcsc
