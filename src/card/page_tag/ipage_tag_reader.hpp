#pragma once
// Page tags of type A (4-byte pages, numbers 0 to 255) as a reader offers them: 4-page reads and
// page writes on every reader family; fast read, password authentication, version, counter and
// signature where the reader has commands for them.

#include <array>
#include <cstdint>
#include <memory>

#include "card/iso14443a/iiso14443a_reader.hpp"

namespace Orvane {

class IBuffer;

inline constexpr int kPageSize = 4;
inline constexpr int kPageCount = 256;

// GET_VERSION answer: fixed header, vendor, type, subtype, major, minor, storage size, protocol.
using PageTagVersion = std::array<std::uint8_t, 8>;

class IPageTagTypeAReader {
  public:
    // The type A searcher of the same reader, used to select and deselect the tag.
    virtual std::shared_ptr<IIso14443AReader> iso14443a() = 0;
    // Reads `count` pages from `first` (page numbers wrap after 255) in 4-page reads. False only when
    // the buffer cannot be sized; its size then tells how many bytes were read.
    virtual bool readPages(std::uint8_t first, int count, IBuffer& out) = 0;
    // Writes `count` pages from `first` with 4 bytes each; the number of bytes written.
    virtual int writePages(std::uint8_t first, int count, const std::uint8_t* data) = 0;
    // One FAST_READ of pages first .. first + count - 1 into `out`.
    virtual bool fastRead(std::uint8_t first, int count, IBuffer& out) = 0;
    // PWD_AUTH with the 4-byte password; `pack` gets the tag's answer (first byte in the low half).
    virtual bool pwdAuth(const std::uint8_t* password, std::uint16_t& pack) = 0;
    virtual bool getVersion(PageTagVersion& out) = 0;
    // The 24-bit NFC counter, first byte least significant.
    virtual bool readCounter(std::uint32_t& counter) = 0;
    virtual bool readSignature(IBuffer& out) = 0;
    virtual ~IPageTagTypeAReader() = default;
};

}  // namespace Orvane
