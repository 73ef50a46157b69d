#pragma once
// Mifare Classic block access through one reader: sector authentication with Key A or Key B and
// 16-byte block reads and writes, as commands of the reader's frame family.
//
// The sector authenticated last, with its key, is remembered so that reading a sector block by
// block authenticates once; the sector record lives in the RfReader, where every selection and
// field reset on that reader clears it. The caller holds the reader's exchangeMutex.

#include <array>
#include <cstdint>
#include <memory>

#include "card/mifare/imifare_classic_reader.hpp"
#include "card/mifare/sector_auth_memo.hpp"

class RfIso14443A;

class RfMifareClassic : public Orvane::IMifareClassicReader {
  public:
    explicit RfMifareClassic(std::shared_ptr<RfIso14443A> iso14443a);

    std::shared_ptr<Orvane::IIso14443AReader> iso14443a() override;
    bool authenticate(std::uint8_t sector, const std::uint8_t* key, bool keyB) override;
    bool readBlock(std::uint8_t block, std::uint8_t* out) override;
    bool writeBlock(std::uint8_t block, const std::uint8_t* data) override;

  private:
    bool inTypeAMode();
    bool sendAuthentication(std::uint8_t block, const std::uint8_t* key, bool keyB);

    std::shared_ptr<RfIso14443A> iso14443a_;
    Orvane::SectorAuthMemo memo_;
};
