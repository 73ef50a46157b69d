#include "sim/card/mifare_access.hpp"

namespace rfsim::mifare {
namespace {

// Table 8, data blocks, by C1 C2 C3.
constexpr DataAccess kDataAccess[8] = {
    {kKeyAB, kKeyAB},  // 000 transport configuration
    {kKeyAB, kNever},  // 001 value block
    {kKeyAB, kNever},  // 010 read/write block
    {kKeyB, kKeyB},    // 011
    {kKeyAB, kKeyB},   // 100
    {kKeyB, kNever},   // 101
    {kKeyAB, kKeyB},   // 110 value block
    {kNever, kNever},  // 111
};

// Table 7, sector trailer, by C1 C2 C3: Key A write, access bits read/write, Key B read/write.
constexpr TrailerAccess kTrailerAccess[8] = {
    {kKeyA, kKeyA, kNever, kKeyA, kKeyA},      // 000
    {kKeyA, kKeyA, kKeyA, kKeyA, kKeyA},       // 001 transport configuration
    {kNever, kKeyA, kNever, kKeyA, kNever},    // 010
    {kKeyB, kKeyAB, kKeyB, kNever, kKeyB},     // 011
    {kKeyB, kKeyAB, kNever, kNever, kKeyB},    // 100
    {kNever, kKeyAB, kKeyB, kNever, kNever},   // 101
    {kNever, kKeyAB, kNever, kNever, kNever},  // 110
    {kNever, kKeyAB, kNever, kNever, kNever},  // 111
};

}  // namespace

// Byte 6 holds NOT C2 (high nibble) and NOT C1 (low), byte 7 C1 and NOT C3, byte 8 C3 and C2; bit i
// of each nibble belongs to group i.
std::optional<std::array<std::uint8_t, 4>> decodeAccessBits(std::span<const std::uint8_t, 3> bytes) {
    const unsigned c1 = bytes[1] >> 4;
    const unsigned c2 = bytes[2] & 0x0F;
    const unsigned c3 = bytes[2] >> 4;
    if ((~bytes[0] & 0x0F) != c1 || ((~bytes[0] >> 4) & 0x0F) != c2 || (~bytes[1] & 0x0F) != c3)
        return std::nullopt;
    std::array<std::uint8_t, 4> conditions{};
    for (unsigned group = 0; group < 4; ++group)
        conditions[group] = static_cast<std::uint8_t>(((c1 >> group) & 1) << 2 | ((c2 >> group) & 1) << 1 |
                                                      ((c3 >> group) & 1));
    return conditions;
}

std::array<std::uint8_t, 3> encodeAccessBits(const std::array<std::uint8_t, 4>& conditions) {
    unsigned c1 = 0, c2 = 0, c3 = 0;
    for (unsigned group = 0; group < 4; ++group) {
        c1 |= ((conditions[group] >> 2) & 1u) << group;
        c2 |= ((conditions[group] >> 1) & 1u) << group;
        c3 |= (conditions[group] & 1u) << group;
    }
    return {static_cast<std::uint8_t>((~c2 & 0x0F) << 4 | (~c1 & 0x0F)),
            static_cast<std::uint8_t>(c1 << 4 | (~c3 & 0x0F)), static_cast<std::uint8_t>(c3 << 4 | c2)};
}

DataAccess dataBlockAccess(std::uint8_t condition) {
    return kDataAccess[condition & 7];
}

TrailerAccess trailerAccess(std::uint8_t condition) {
    return kTrailerAccess[condition & 7];
}

bool keyBIsData(std::uint8_t trailerCondition) {
    return kTrailerAccess[trailerCondition & 7].keyBRead != kNever;
}

}  // namespace rfsim::mifare
