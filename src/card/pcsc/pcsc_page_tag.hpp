#pragma once
// Page tags (Mifare Ultralight, NTAG) on a PC/SC reader (type 7). READ BINARY (FF B0, Le 16) with
// the page number in P2 reads four pages as the tag's READ does; UPDATE BINARY (FF D6, Lc 4) writes
// one page as its WRITE does. The storage-card commands have nothing for FAST_READ, PWD_AUTH,
// GET_VERSION, READ_CNT or READ_SIG: they fail without sending anything, as on the reader
// families without commands for them. The caller holds the reader's exchange mutex.

#include <memory>

#include "card/page_tag/ipage_tag_reader.hpp"

class PcscTypeA;

class PcscPageTag : public Orvane::IPageTagTypeAReader {
  public:
    explicit PcscPageTag(std::shared_ptr<PcscTypeA> card);

    std::shared_ptr<Orvane::IIso14443AReader> iso14443a() override;
    bool readPages(std::uint8_t first, int count, Orvane::IBuffer& out) override;
    int writePages(std::uint8_t first, int count, const std::uint8_t* data) override;
    bool fastRead(std::uint8_t, int, Orvane::IBuffer&) override { return false; }
    bool pwdAuth(const std::uint8_t*, std::uint16_t&) override { return false; }
    bool getVersion(Orvane::PageTagVersion&) override { return false; }
    bool readCounter(std::uint32_t&) override { return false; }
    bool readSignature(Orvane::IBuffer&) override { return false; }

  private:
    bool readFour(std::uint8_t page, std::uint8_t* out);
    bool writeOne(std::uint8_t page, const std::uint8_t* data);

    std::shared_ptr<PcscTypeA> card_;
};
