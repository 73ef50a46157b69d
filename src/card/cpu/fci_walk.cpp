#include "card/cpu/fci_walk.hpp"

#include <algorithm>
#include <optional>

namespace Orvane {

namespace {

constexpr std::uint32_t kFciTemplate = 0x6F;
constexpr std::uint32_t kDfName = 0x84;
constexpr std::uint32_t kProprietary = 0xA5;
constexpr std::uint32_t kShortId = 0x88;
constexpr std::uint32_t kVersion = 0x9F08;
constexpr std::uint32_t kIssuerData = 0x9F0C;
constexpr std::uint32_t kIssuerTemplate = 0xBF0C;
constexpr std::size_t kMaxTagBytes = 3;

// One BER-TLV element at the front of the bytes it was read from.
struct Element {
    std::uint32_t tag = 0;
    std::span<const std::uint8_t> value;
    std::size_t size = 0;  // tag, length and value
};

// Tag bytes (ISO/IEC 7816-4 §5.2.2.1): one, or when b5-b1 of the first are all set, more while b8
// of the one before is set. nullopt when the bytes end first or the tag runs past kMaxTagBytes.
std::optional<std::size_t> tagBytes(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return std::nullopt;
    if ((bytes[0] & 0x1F) != 0x1F) return 1;
    for (std::size_t i = 1; i < bytes.size() && i < kMaxTagBytes; ++i)
        if ((bytes[i] & 0x80) == 0) return i + 1;
    return std::nullopt;
}

struct Length {
    std::size_t value = 0;
    std::size_t bytes = 0;
};

// Length field (§5.2.2.2): 00-7F in one byte, 81 xx, 82 xx xx; anything else is malformed.
std::optional<Length> lengthField(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return std::nullopt;
    const std::uint8_t first = bytes[0];
    if (first < 0x80) return Length{first, 1};
    if (first == 0x81 && bytes.size() >= 2) return Length{bytes[1], 2};
    if (first == 0x82 && bytes.size() >= 3)
        return Length{static_cast<std::size_t>(bytes[1] << 8 | bytes[2]), 3};
    return std::nullopt;
}

// The element at the front of `bytes`; nullopt when its tag, length or value does not fit in them.
std::optional<Element> readElement(std::span<const std::uint8_t> bytes) {
    const auto tagSize = tagBytes(bytes);
    if (!tagSize) return std::nullopt;
    const auto length = lengthField(bytes.subspan(*tagSize));
    if (!length) return std::nullopt;
    const std::size_t header = *tagSize + length->bytes;
    if (length->value > bytes.size() - header) return std::nullopt;
    Element element;
    for (std::size_t i = 0; i < *tagSize; ++i)
        element.tag = element.tag << 8 | bytes[i];
    element.value = bytes.subspan(header, length->value);
    element.size = header + length->value;
    return element;
}

// Copies at most the destination's size; the count kept.
template <std::size_t N>
std::uint8_t keep(std::span<const std::uint8_t> value, std::array<std::uint8_t, N>& into) {
    static_assert(N <= 255);
    const std::size_t n = std::min(value.size(), N);
    std::copy_n(value.begin(), n, into.begin());
    return static_cast<std::uint8_t>(n);
}

// The elements of the A5 value: the ones kept are taken, every other one skipped.
void walkProprietary(std::span<const std::uint8_t> value, FciInfo& fci) {
    while (!value.empty()) {
        const auto element = readElement(value);
        if (!element) return;
        const auto& v = element->value;
        switch (element->tag) {
            case kShortId:
                if (!v.empty()) {
                    fci.hasSfi = 1;
                    fci.sfi = v[0];
                }
                break;
            case kVersion:
                if (!v.empty()) {
                    fci.hasVer = 1;
                    fci.ver = v[0];
                }
                break;
            case kIssuerData:
            case kIssuerTemplate:
                fci.hasIssuerData = 1;
                fci.issuerDataLen = keep(v, fci.issuerData);
                break;
            default:
                break;
        }
        value = value.subspan(element->size);
    }
}

// The FCI template's contents: the bytes after its tag and length, up to the end of its value (or
// of the response, when the card announced more than it sent).
std::optional<std::span<const std::uint8_t>> templateContents(std::span<const std::uint8_t> response) {
    const auto length = lengthField(response.subspan(1));
    if (!length) return std::nullopt;
    const auto rest = response.subspan(1 + length->bytes);
    return rest.first(std::min(rest.size(), length->value));
}

}  // namespace

void decodeFci(std::span<const std::uint8_t> response, FciInfo& fci) {
    if (response.empty() || response[0] != kFciTemplate) return;
    fci = FciInfo{};
    if (response.size() <= 2) return;
    const auto contents = templateContents(response);
    if (!contents) return;
    auto rest = *contents;
    // Only the DF name and the proprietary template are expected here: anything else ends the walk.
    while (!rest.empty()) {
        const auto element = readElement(rest);
        if (!element) return;
        if (element->tag == kDfName) {
            fci.hasDfName = 1;
            fci.dfNameLen = keep(element->value, fci.dfName);
        } else if (element->tag == kProprietary) {
            fci.hasProprietary = 1;
            fci.proprietaryLen = keep(element->value, fci.proprietary);
            walkProprietary(element->value, fci);
        } else {
            return;
        }
        rest = rest.subspan(element->size);
    }
}

}  // namespace Orvane
