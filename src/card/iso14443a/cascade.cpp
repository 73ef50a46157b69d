#include "card/iso14443a/cascade.hpp"

#include <algorithm>

namespace typea {

std::optional<CascadeImage> cascadeImage(std::span<const std::uint8_t> uid) {
    CascadeImage image;
    image.uid = uid;
    auto out = image.bytes.begin();
    switch (uid.size()) {
        case 4:
            image.levels = 1;
            std::copy(uid.begin(), uid.end(), out);
            break;
        case 7:
            image.levels = 2;
            *out++ = kCascadeTag;
            std::copy(uid.begin(), uid.end(), out);
            break;
        case 10:
            image.levels = 3;
            *out++ = kCascadeTag;
            out = std::copy_n(uid.begin(), 3, out);
            *out++ = kCascadeTag;
            std::copy(uid.begin() + 3, uid.end(), out);
            break;
        default:
            return std::nullopt;
    }
    return image;
}

std::array<std::uint8_t, 4> levelOneBytes(const Orvane::TypeACardInfo& info) {
    if (info.uidLen == 7 || info.uidLen == 10) return {kCascadeTag, info.uid[0], info.uid[1], info.uid[2]};
    return {info.uid[0], info.uid[1], info.uid[2], info.uid[3]};
}

}  // namespace typea
