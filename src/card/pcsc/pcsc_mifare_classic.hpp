#pragma once
// Mifare Classic block access on a PC/SC reader (type 7), with the reader's storage-card commands
// (PCSC3 §3.2.2.1): LOAD KEYS (FF 82) puts the key into the reader's volatile key slot 0,
// GENERAL AUTHENTICATE (FF 86) authenticates a block with it, READ BINARY (FF B0) and UPDATE
// BINARY (FF D6) move one 16-byte block. Anything but 90 00 is a failure (63 00: authentication
// refused).
//
// As on the other readers, the sector authenticated last and its key are remembered, so reading a
// sector block by block authenticates once; the record lives in the RfReader. The caller holds
// the reader's exchange mutex.

#include <array>
#include <cstdint>
#include <memory>

#include "card/mifare/imifare_classic_reader.hpp"
#include "card/mifare/sector_auth_memo.hpp"

class PcscTypeA;

class PcscMifareClassic : public Orvane::IMifareClassicReader {
  public:
    explicit PcscMifareClassic(std::shared_ptr<PcscTypeA> card);

    std::shared_ptr<Orvane::IIso14443AReader> iso14443a() override;
    bool authenticate(std::uint8_t sector, const std::uint8_t* key, bool keyB) override;
    bool readBlock(std::uint8_t block, std::uint8_t* out) override;
    bool writeBlock(std::uint8_t block, const std::uint8_t* data) override;

  private:
    bool sendAuthentication(std::uint8_t block, const std::uint8_t* key, bool keyB);

    std::shared_ptr<PcscTypeA> card_;
    Orvane::SectorAuthMemo memo_;
};
