#include "sim/card/cos/apdu.hpp"

namespace rfsim::cos {

std::optional<CommandApdu> parseCommand(std::span<const std::uint8_t> apdu) {
    if (apdu.size() < 4) return std::nullopt;
    CommandApdu c;
    c.cla = apdu[0];
    c.ins = apdu[1];
    c.p1 = apdu[2];
    c.p2 = apdu[3];
    c.raw = apdu;
    if (apdu.size() == 4) return c;
    if (apdu.size() == 5) {
        c.ne = apdu[4] == 0 ? 256 : apdu[4];
        return c;
    }
    const std::size_t lc = apdu[4];
    if (lc == 0) return std::nullopt;  // extended lengths are not supported
    if (apdu.size() == 5 + lc) {
        c.data = apdu.subspan(5, lc);
        return c;
    }
    if (apdu.size() == 6 + lc) {
        c.data = apdu.subspan(5, lc);
        c.ne = apdu[5 + lc] == 0 ? 256 : apdu[5 + lc];
        return c;
    }
    return std::nullopt;
}

Bytes toBytes(const CosResponse& response) {
    Bytes out = response.data;
    out.push_back(static_cast<std::uint8_t>(response.sw >> 8));
    out.push_back(static_cast<std::uint8_t>(response.sw & 0xFF));
    return out;
}

}  // namespace rfsim::cos
