#pragma once
// Page tag access through one reader, as commands of the reader's frame family. Page reads and
// writes use the reader's Mifare block read and write with the page number in the block byte: the
// tag answers READ with 4 pages, and takes the 16-byte write as COMPATIBILITY_WRITE of one page
// (its first 4 bytes, the rest sent as zeros). Only the VC family has commands for FAST_READ,
// PWD_AUTH, GET_VERSION, READ_CNT and READ_SIG; on the others they fail without sending anything.
//
// Every operation first needs the reader in ISO 14443-A mode (not forced). The caller holds the
// reader's exchangeMutex.

#include <memory>

#include "card/page_tag/ipage_tag_reader.hpp"

class RfIso14443A;
class RfReader;

class RfPageTagTypeA : public Orvane::IPageTagTypeAReader {
  public:
    explicit RfPageTagTypeA(std::shared_ptr<RfIso14443A> iso14443a);

    std::shared_ptr<Orvane::IIso14443AReader> iso14443a() override;
    bool readPages(std::uint8_t first, int count, Orvane::IBuffer& out) override;
    int writePages(std::uint8_t first, int count, const std::uint8_t* data) override;
    bool fastRead(std::uint8_t first, int count, Orvane::IBuffer& out) override;
    bool pwdAuth(const std::uint8_t* password, std::uint16_t& pack) override;
    bool getVersion(Orvane::PageTagVersion& out) override;
    bool readCounter(std::uint32_t& counter) override;
    bool readSignature(Orvane::IBuffer& out) override;

  private:
    RfReader& reader() const;
    bool inTypeAMode();
    // One READ: pages page .. page + 3 into 16 bytes.
    bool readFour(std::uint8_t page, std::uint8_t* out);
    bool writeOne(std::uint8_t page, const std::uint8_t* data);

    std::shared_ptr<RfIso14443A> iso14443a_;
};
