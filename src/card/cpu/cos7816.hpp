#pragma once
// The ISO/IEC 7816-4 command set of a CPU card: GET CHALLENGE, SELECT with its FCI, VERIFY,
// EXTERNAL and INTERNAL AUTHENTICATE, and the binary and record file commands, the file commands
// optionally under secure messaging. Every command is built in the card object's I/O buffer and
// sent through its transceive; each operation answers a packed status word (see
// icpu_cos_reader.hpp). Bounds that fail answer 0x866A (6A86) before any card traffic.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "card/cpu/fci_walk.hpp"
#include "card/cpu/icpu_cos_reader.hpp"

namespace Orvane {

class Cos7816 {
  public:
    static constexpr std::size_t kMaxName = 16;             // a DF name (AID)
    static constexpr std::size_t kMaxPinDigits = 12;        // 6 packed bytes
    static constexpr std::size_t kMaxAuthData = 250;        // INTERNAL AUTHENTICATE data
    static constexpr std::size_t kMaxFileData = 252;        // written by or read from one file command
    static constexpr std::uint8_t kSfiLimit = 32;           // short EF identifiers are 5 bits
    static constexpr std::uint16_t kLockedSelect = 0x0100;  // 6A81 without data: the card is locked

    explicit Cos7816(std::shared_ptr<ICpuCosReader> card) : card_(std::move(card)) {}

    const std::shared_ptr<ICpuCosReader>& card() const { return card_; }

    // 00 84 00 00 04 (shortForm) or 08; `out` gets the challenge or zeros.
    std::uint16_t getChallenge(std::span<std::uint8_t, 8> out, bool shortForm);
    // SELECT by DF name when `name` is given, else by file identifier (fid 0: no data, the MF).
    // The FCI of the answer goes to `fci`.
    std::uint16_t selectFile(std::uint16_t fid, std::optional<std::span<const std::uint8_t>> name,
                             FciInfo& fci);
    // A challenge from the card, enciphered with `key` (locally or by its provider), sent back.
    std::uint16_t externalAuthenticate(std::uint8_t id, const cos_7816::_KeyData& key);
    // The PIN text as decimal digits two to a byte, an odd count ending in the nibble F.
    std::uint16_t verifyPin(std::uint8_t id, std::string_view pin);
    // `data` is replaced by the card's answer.
    std::uint16_t internalAuthenticate(std::uint8_t id, std::uint8_t type, std::vector<std::uint8_t>& data);

    // Binary files: by short identifier (sfid 1-31, pos up to 255) or in the current EF (sfid 0,
    // pos below 0x8000). `key` asks for secure messaging (nullptr: none). sfid, pos and size are
    // checked whole, so a value past its field is refused rather than cut to another file or offset.
    std::uint16_t updateBinary(std::uint32_t sfid, std::uint32_t pos, std::span<const std::uint8_t> data,
                               const cos_7816::_KeyData* key);
    std::uint16_t readBinary(std::uint32_t sfid, std::uint32_t pos, std::uint32_t size,
                             const cos_7816::_KeyData* key, std::vector<std::uint8_t>& out);
    // Record files: P2 = (mode AND 7) OR sfid << 3.
    std::uint16_t updateRecord(std::uint32_t sfid, std::uint8_t id, std::uint8_t mode,
                               std::span<const std::uint8_t> data, const cos_7816::_KeyData* key);
    std::uint16_t appendRecord(std::uint32_t sfid, std::span<const std::uint8_t> data,
                               const cos_7816::_KeyData* key);
    std::uint16_t readRecord(std::uint32_t sfid, std::uint8_t id, std::uint8_t mode, std::uint32_t size,
                             const cos_7816::_KeyData* key, std::vector<std::uint8_t>& out);

  private:
    // CLA INS P1 P2 into the I/O buffer.
    std::uint8_t* header(std::uint8_t ins, std::uint8_t p1, std::uint8_t p2);
    // A command with data (case 0) after the header written.
    std::uint16_t sendData(std::span<const std::uint8_t> data, const cos_7816::_KeyData* key);
    // A command expecting `le` bytes (case 1); the response data goes to `out`.
    std::uint16_t sendLe(std::uint8_t le, const cos_7816::_KeyData* key, std::vector<std::uint8_t>& out);

    std::shared_ptr<ICpuCosReader> card_;
};

}  // namespace Orvane
