#pragma once
// Mifare Classic block access as a reader offers it: authenticate a sector, read and write blocks.

#include <cstdint>
#include <memory>

#include "card/iso14443a/iiso14443a_reader.hpp"

namespace Orvane {

class IMifareClassicReader {
  public:
    // The type A searcher of the same reader, used to select and deselect the card.
    virtual std::shared_ptr<IIso14443AReader> iso14443a() = 0;
    // Authenticates the sector (0 to 39) with the 6-byte key as Key B or Key A.
    virtual bool authenticate(std::uint8_t sector, const std::uint8_t* key, bool keyB) = 0;
    // Reads one 16-byte block (card block number) into out.
    virtual bool readBlock(std::uint8_t block, std::uint8_t* out) = 0;
    // Writes 16 bytes to the block.
    virtual bool writeBlock(std::uint8_t block, const std::uint8_t* data) = 0;
    virtual ~IMifareClassicReader() = default;
};

}  // namespace Orvane
