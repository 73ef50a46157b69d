#pragma once
// The file control information a SELECT answers (ISO/IEC 7816-4 §5.3.3): the FCI template 6F with
// the DF name (84) and the proprietary template A5, inside which the short identifier (88), a
// version (9F08) and issuer discretionary data (9F0C or BF0C) are kept.
//
// Whatever the card sends, the walk reads only inside the response and, for the inner elements,
// inside the A5 value: every tag and length is checked against the bytes that remain before it is
// read, and an element that does not fit ends the walk. Lengths are BER-TLV (one byte, or 81 / 82
// followed by one or two length bytes).

#include <array>
#include <cstdint>
#include <span>

namespace Orvane {

struct FciInfo {
    std::uint8_t hasDfName = 0;
    std::uint8_t dfNameLen = 0;
    std::array<std::uint8_t, 16> dfName{};  // the first 16 bytes of tag 84
    std::uint8_t hasSfi = 0;
    std::uint8_t sfi = 0;  // first value byte of tag 88
    std::uint8_t hasVer = 0;
    std::uint8_t ver = 0;  // first value byte of tag 9F08
    std::uint8_t hasIssuerData = 0;
    std::uint8_t issuerDataLen = 0;
    std::array<std::uint8_t, 252> issuerData{};  // tag 9F0C or BF0C, at most 252 bytes kept
    std::uint8_t hasProprietary = 0;
    std::uint8_t proprietaryLen = 0;
    std::array<std::uint8_t, 255> proprietary{};  // the A5 value, at most 255 bytes kept

    std::span<const std::uint8_t> dfNameBytes() const { return {dfName.data(), dfNameLen}; }
    std::span<const std::uint8_t> issuerDataBytes() const { return {issuerData.data(), issuerDataLen}; }
    std::span<const std::uint8_t> proprietaryBytes() const { return {proprietary.data(), proprietaryLen}; }
};

// Decodes a SELECT's response data into `fci`. Data that does not start with the FCI template 6F
// leaves `fci` as it is; otherwise it is cleared first and filled with what the walk finds.
void decodeFci(std::span<const std::uint8_t> response, FciInfo& fci);

}  // namespace Orvane
