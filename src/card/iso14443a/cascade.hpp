#pragma once
// ISO/IEC 14443-3 cascade levels: a UID of 7 or 10 bytes is selected in two or three levels of
// four bytes, each level but the last starting with the cascade tag 0x88.

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "card/iso14443a/iiso14443a_reader.hpp"

namespace typea {

inline constexpr std::uint8_t kCascadeTag = 0x88;
// SEL codes of cascade levels 2 and 3.
inline constexpr std::uint8_t kSelectLevel2 = 0x95;
inline constexpr std::uint8_t kSelectLevel3 = 0x97;

struct CascadeImage {
    std::array<std::uint8_t, 12> bytes{};  // four bytes per level
    int levels = 0;                        // 1, 2 or 3
    std::span<const std::uint8_t> uid;     // the UID it was made from

    std::span<const std::uint8_t, 4> level(int index) const {
        return std::span<const std::uint8_t, 4>(bytes.data() + 4 * index, 4);
    }
};

// The levels of a 4-, 7- or 10-byte UID; nullopt for any other length. The image refers to `uid`.
std::optional<CascadeImage> cascadeImage(std::span<const std::uint8_t> uid);

// The four bytes a card answers at cascade level 1: its UID's first four bytes, or the cascade tag
// and the first three for UIDs of 7 and 10 bytes.
std::array<std::uint8_t, 4> levelOneBytes(const Orvane::TypeACardInfo& info);

// What a type A searcher remembers between operations.
struct TypeAState {
    bool iso4Active = false;               // a card was taken into ISO 14443-4 and not released
    std::array<std::uint8_t, 4> cl1Uid{};  // level-1 bytes of the card selected last
};

}  // namespace typea
