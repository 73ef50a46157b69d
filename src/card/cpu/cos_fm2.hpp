#pragma once
// The personalisation commands of FM-type card operating systems (proprietary class 80): erase the
// current DF, create a DF, elementary files and the purse file, and write keys, the last optionally
// under secure messaging. Commands are built in the card object's I/O buffer and sent as case 0
// (no Le) through its transceive; each operation answers a packed status word. Bounds that fail
// answer 0x866A before any card traffic.

#include <cstdint>
#include <memory>
#include <span>

#include "card/cpu/icpu_cos_reader.hpp"

namespace Orvane {

// How an EF's content is protected, as CREATE EF packs it into its file type and last two bytes.
struct FileProtection {
    bool macr = false;     // reading needs a MAC
    bool macw = false;     // writing needs a MAC
    bool enc = false;      // the data travels enciphered
    std::uint8_t idr = 0;  // key number for reading (4 bits)
    std::uint8_t idw = 0;  // key number for writing (4 bits)
};

// The file type and the bytes B10 B11 of CREATE EF for a base file type and its protection.
struct EfProtectionBytes {
    std::uint8_t fileType = 0;
    std::uint8_t b10 = 0xFF;
    std::uint8_t b11 = 0xFF;
};
EfProtectionBytes efProtection(std::uint8_t type, const FileProtection& protection);

// What WRITE KEY says about the key besides its value.
struct KeyHeader {
    std::uint8_t oldType = 0;  // P1: the type of the key replaced (or the card's "add" value)
    std::uint8_t id = 0;       // P2
    std::uint8_t type = 0;     // key type; 0x3A a PIN
    std::uint8_t use = 0;      // right to use the key
    std::uint8_t ren = 0;      // right to change it
    std::uint8_t pow = 0;      // security state reached with it
    std::uint8_t err = 0;      // error counter
    bool enc = false;          // the key is used with enciphered data (key type b7)
    bool mac = false;          // the key is used with a MAC (key type b8)
};

class CosFm2 {
  public:
    static constexpr std::size_t kMaxAid = 16;
    static constexpr std::uint8_t kPinType = 0x3A;
    static constexpr std::size_t kMinPin = 2, kMaxPin = 6;  // packed bytes
    static constexpr std::size_t kMaxKey = 16;

    explicit CosFm2(std::shared_ptr<ICpuCosReader> card) : card_(std::move(card)) {}

    const std::shared_ptr<ICpuCosReader>& card() const { return card_; }

    // 80 0E 00 00 00.
    std::uint16_t eraseDf();
    // 80 E0 fid Lc 38 size create erase sfi FF FF aid; aid at most 16 bytes.
    std::uint16_t createDf(std::uint16_t fid, std::uint16_t size, std::uint8_t create, std::uint8_t erase,
                           std::uint8_t sfi, std::span<const std::uint8_t> aid);
    // 80 E0 fid 07 fileType size read write B10 B11 (see efProtection).
    std::uint16_t createEf(std::uint8_t type, std::uint16_t fid, std::uint16_t size, std::uint8_t read,
                           std::uint8_t write, const FileProtection& protection);
    // 80 E0 00 type 07 2F 02 08 use 00 FF sfi; sfi below 32.
    std::uint16_t createPurseFile(std::uint8_t type, std::uint8_t use, std::uint32_t sfi);
    // 80 D4 oldType id Lc keyType use ren pow err key, under the secure messaging of `sm` (nullptr:
    // none). A PIN (alg 1) must be of type 0x3A and 2 to 6 bytes, a DES-family key at most 16 bytes;
    // `value.provider` is not used: the key value is written as it is held.
    std::uint16_t writeKey(const KeyHeader& header, const cos_7816::_KeyData& value,
                           const cos_7816::_KeyData* sm);

  private:
    // Header, Lc and data into the I/O buffer, sent as case 0.
    std::uint16_t send(std::uint8_t ins, std::uint8_t p1, std::uint8_t p2, std::span<const std::uint8_t> data,
                       const cos_7816::_KeyData* sm = nullptr);

    std::shared_ptr<ICpuCosReader> card_;
};

}  // namespace Orvane
