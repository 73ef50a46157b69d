#pragma once
// ISO 15693 tags on one reader. No tag commands are sent: each operation asks the reader for
// ISO 15693 mode and then answers "not supported" (253), so a working implementation can take this
// one's place without changes to its callers.

#include <memory>

#include "card/iso15693/iiso15693_reader.hpp"

class RfReader;

class RfIso15693 : public Orvane::IIso15693Reader {
  public:
    explicit RfIso15693(std::shared_ptr<RfReader> reader) : reader_(std::move(reader)) {}

    bool setMode(std::uint8_t mode, const Uid& uid, bool dataRate, bool subCarrier) override;
    // -1 when the reader refused ISO 15693 mode, -2 otherwise; no tag is appended.
    int inventory(std::vector<Orvane::Iso15693Card>& cards, int limit, std::uint8_t afi,
                  bool nb16Slots) override;
    std::uint8_t reserved() override;
    std::uint8_t stayQuiet(const Uid& uid) override;
    std::uint8_t readSingleBlock(bool getState, std::uint8_t block, Orvane::IBuffer& out) override;
    std::uint8_t writeSingleBlock(std::uint8_t block, const std::uint8_t* data, std::uint8_t len) override;
    std::uint8_t lockBlock(std::uint8_t block) override;
    std::uint8_t readMultipleBlocks(bool getState, std::uint8_t first, std::uint8_t count,
                                    Orvane::IBuffer& out) override;
    std::uint8_t writeMultipleBlocks(std::uint8_t first, std::uint8_t count, const std::uint8_t* data,
                                     std::uint32_t len) override;
    std::uint8_t select(const Uid& uid) override;
    std::uint8_t resetToReady() override;
    std::uint8_t writeAfi(std::uint8_t afi) override;
    std::uint8_t lockAfi() override;
    std::uint8_t writeDsfid(std::uint8_t dsfid) override;
    std::uint8_t lockDsfid() override;
    std::uint8_t getSystemInfo(Orvane::Iso15693SystemInfo& info) override;
    std::uint8_t getMultipleBlockSecurity(std::uint8_t first, std::uint8_t count,
                                          Orvane::IBuffer& out) override;

    const std::shared_ptr<RfReader>& reader() const { return reader_; }

  private:
    bool requestMode();
    // The answer of every tag command: the mode is requested, the command is not supported.
    std::uint8_t notSupported();

    std::shared_ptr<RfReader> reader_;
};
