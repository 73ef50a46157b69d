#pragma once
// ISO/IEC 14443 type B cards as the card finder and the type B CPU card use them.

#include <array>
#include <cstdint>
#include <vector>

namespace Orvane {

// The fields of an ATQB after its first byte.
struct TypeBCardInfo {
    std::array<std::uint8_t, 4> pupi{};
    std::array<std::uint8_t, 4> application{};
    std::array<std::uint8_t, 3> protocol{};
};

class IIso14443BReader {
  public:
    // Appends the cards answering (at most `limit`); the count, negative on failure.
    virtual int findCards(std::vector<TypeBCardInfo>& cards, int limit, std::uint8_t afi,
                          std::uint8_t slots) = 0;
    virtual bool reserved1() { return false; }
    virtual bool reserved2() { return false; }
    virtual bool reserved3() { return false; }
    virtual bool deselect(int cardId) = 0;
    virtual ~IIso14443BReader() = default;
};

}  // namespace Orvane
