#pragma once
// ISO/IEC 14443 type A cards: finding, selecting, raw exchanges and deselecting, whatever the reader.

#include <array>
#include <cstdint>
#include <vector>

namespace Orvane {

class IBuffer;

// One card as anticollision found it.
struct TypeACardInfo {
    std::array<std::uint8_t, 10> uid{};  // first byte first; unused bytes zero
    int uidLen = 0;                      // 4, 7 or 10; 0 = nothing found
    std::uint16_t atqa = 0;              // first ATQA byte in the low half
    std::uint8_t sak = 0;                // SAK of the last cascade level
};

class IIso14443AReader {
  public:
    // Appends the idle cards in the field (at most `limit`, below 1 = no limit); returns the count,
    // -1 when the reader cannot be put into ISO 14443-A mode.
    virtual int findCards(std::vector<TypeACardInfo>& cards, int limit) = 0;
    // True when exactly that card is selected (and taken into ISO 14443-4 when `activate`).
    virtual bool selectUid(const std::uint8_t* uid, int uidLen, bool activate, IBuffer* ats = nullptr) = 0;
    virtual bool selectAny(TypeACardInfo& info, bool activate, IBuffer* ats = nullptr) = 0;
    virtual bool rawExchange(const std::uint8_t* request, int len, IBuffer& response) = 0;
    virtual bool deselect() = 0;
    virtual ~IIso14443AReader() = default;
};

}  // namespace Orvane
