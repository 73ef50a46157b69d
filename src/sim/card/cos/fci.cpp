#include "sim/card/cos/fci.hpp"

#include <array>

namespace rfsim::cos {

void appendTlv(Bytes& out, std::uint16_t tag, std::span<const std::uint8_t> value) {
    if (tag > 0xFF) out.push_back(static_cast<std::uint8_t>(tag >> 8));
    out.push_back(static_cast<std::uint8_t>(tag & 0xFF));
    // ISO/IEC 7816-4 §5.2.2.2: 00-7F in one byte, 81 followed by 80-FF.
    if (value.size() > 0x7F) out.push_back(0x81);
    out.push_back(static_cast<std::uint8_t>(value.size()));
    out.insert(out.end(), value.begin(), value.end());
}

Bytes buildFci(const DedicatedFile& df) {
    Bytes proprietary;
    if (df.recordSfi) appendTlv(proprietary, 0x88, std::array{*df.recordSfi});
    appendTlv(proprietary, 0x9F08, std::array{df.version});
    if (!df.issuerData.empty()) appendTlv(proprietary, 0xBF0C, df.issuerData);
    Bytes inner;
    if (!df.name.empty()) appendTlv(inner, 0x84, df.name);
    appendTlv(inner, 0xA5, proprietary);
    Bytes fci;
    appendTlv(fci, 0x6F, inner);
    return fci;
}

}  // namespace rfsim::cos
