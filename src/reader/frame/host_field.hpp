#pragma once
// 16-bit length fields that callers and the exchange routines share in host byte order inside a
// frame buffer (the wire order is big-endian; the exchange converts).

#include <cstdint>
#include <cstring>

namespace Orvane {

inline std::uint16_t loadHostField(const std::uint8_t* at) {
    std::uint16_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

inline void storeHostField(std::uint8_t* at, std::uint16_t value) {
    std::memcpy(at, &value, sizeof value);
}

}  // namespace Orvane
