#include "card/page_tag/page_tag_config.hpp"

namespace Orvane {

namespace {

constexpr std::uint8_t bit(bool on, int position) {
    return static_cast<std::uint8_t>((on ? 1 : 0) << position);
}

}  // namespace

PageTagConfigImage encodeConfig(const PageTagConfig& c) {
    PageTagConfigImage image{};
    image[0] = static_cast<std::uint8_t>((c.mirrorConf & 0x03) << 6 | (c.mirrorByte & 0x03) << 4 |
                                         bit(c.strgModOn, 2));
    image[2] = c.mirrorPage;
    image[3] = c.auth0;
    image[4] = static_cast<std::uint8_t>(bit(c.safeRead, 7) | bit(c.lock, 6) | bit(c.nfcCntOn, 4) |
                                         bit(c.cntPwdOn, 3) | (c.authlim & 0x07));
    return image;
}

PageTagConfig decodeConfig(std::span<const std::uint8_t, 8> image) {
    PageTagConfig c;
    c.mirrorConf = static_cast<std::uint8_t>(image[0] >> 6 & 0x03);
    c.mirrorByte = static_cast<std::uint8_t>(image[0] >> 4 & 0x03);
    c.strgModOn = (image[0] & 0x04) != 0;
    c.mirrorPage = image[2];
    c.auth0 = image[3];
    c.safeRead = (image[4] & 0x80) != 0;
    c.lock = (image[4] & 0x40) != 0;
    c.nfcCntOn = (image[4] & 0x10) != 0;
    c.cntPwdOn = (image[4] & 0x08) != 0;
    c.authlim = static_cast<std::uint8_t>(image[4] & 0x07);
    return c;
}

}  // namespace Orvane
