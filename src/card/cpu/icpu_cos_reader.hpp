#pragma once
// What every CPU-card command set talks through: an I/O buffer in which a command APDU is built,
// the exchange with optional secure messaging, GET CHALLENGE and the key operations.
//
// Status words are packed values: SW1 in the low byte, SW2 in the high byte (90 00 is 0x0090).
// Values made here: 0xFFFF no card or the exchange failed, 0x0000 the card answered fewer than two
// bytes, 0x866A a key or a command this side cannot work with.

#include <cstdint>
#include <span>
#include <vector>

#include "card/cpu/key_data.hpp"

namespace Orvane {

namespace sw {
constexpr std::uint16_t kOk = 0x0090;           // 90 00
constexpr std::uint16_t kCommFailure = 0xFFFF;  // no card active, exchange failed, provider silent
constexpr std::uint16_t kShortAnswer = 0x0000;  // fewer than 2 response bytes
constexpr std::uint16_t kBadParam = 0x866A;     // 6A 86
constexpr std::uint16_t kMacMismatch = 0x8162;  // 62 81: returned data may be corrupted
}  // namespace sw

// How the command in the I/O buffer is laid out after CLA INS P1 P2.
enum ApduCase : std::uint8_t {
    kApduLcData = 0,    // P3 (Lc, or 00 for a command without data) and Lc data bytes
    kApduLe = 1,        // Le only, at byte 4
    kApduLcDataLe = 2,  // Lc, data, and Le at byte 5 + Lc
};

class ICpuCosReader {
  public:
    // The I/O buffer holds at least the longest short command: 5 header bytes, 255 data bytes, Le.
    static constexpr std::uint32_t kMinIoCapacity = 5 + 255 + 1;

    // Start of the I/O buffer; a caller writes the command here (up to kMinIoCapacity bytes) before
    // transceive. An exchange may move the buffer: take the pointer again after each one.
    virtual std::uint8_t* ioBuffer() = 0;
    // The response data of the last exchange, status word removed, in the same buffer.
    virtual const std::uint8_t* responseData() const = 0;
    virtual std::uint32_t responseLength() const = 0;
    // GET CHALLENGE of 4 (shortForm) or 8 bytes into out, which is zeroed first.
    virtual std::uint16_t getChallenge(std::span<std::uint8_t, 8> out, bool shortForm) = 0;
    // One key operation (cos_7816::KeyOp) on data in place; iv is 8 bytes or nullptr (zero).
    virtual std::uint16_t crypt(std::uint8_t op, const cos_7816::_KeyData& key, const std::uint8_t* iv,
                                std::vector<std::uint8_t>& data) = 0;
    // Sends the command in the I/O buffer with the secure messaging `key` asks for (none when
    // nullptr); the response data is left in the I/O buffer.
    virtual std::uint16_t transceive(const cos_7816::_KeyData* key, std::uint8_t apduCase) = 0;
    virtual ~ICpuCosReader() = default;
};

// One key operation with `key` wherever the key is: asked of its provider when the client holds it,
// else done by the card object.
inline std::uint16_t keyOperation(ICpuCosReader& card, std::uint8_t op, const cos_7816::_KeyData& key,
                                  const std::uint8_t* iv, std::vector<std::uint8_t>& data) {
    return key.provider ? key.provider(op, iv, key, data) : card.crypt(op, key, iv, data);
}

}  // namespace Orvane
