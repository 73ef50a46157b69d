#pragma once
// ICODE SLI tags on one reader, over its ISO 15693 access. No tag commands are sent: each
// operation asks the reader for ISO 15693 mode and answers "not supported" (253), leaving its
// outputs alone, so a working implementation can take this one's place without changes to its
// callers.

#include <memory>

#include "card/icode/iicode_sli_reader.hpp"

class RfIso15693;

class RfIcodeSli : public Orvane::IIcodeSliReader {
  public:
    explicit RfIcodeSli(std::shared_ptr<RfIso15693> iso15693) : iso15693_(std::move(iso15693)) {}

    std::shared_ptr<Orvane::IIso15693Reader> iso15693() override;
    std::uint8_t setEas() override;
    std::uint8_t resetEas() override;
    std::uint8_t lockEas() override;
    std::uint8_t easAlarm(Orvane::IBuffer& out) override;
    std::uint8_t passwordProtect(std::uint8_t type) override;
    std::uint8_t setPassword(const Password& password, std::uint8_t id) override;
    std::uint8_t writePassword(const Password& password, std::uint8_t id) override;
    std::uint8_t lockPassword(std::uint8_t id) override;
    std::uint8_t passwordCommand(const Password& password) override;
    std::uint8_t uidCommand(const Orvane::IIso15693Reader::Uid& uid) override;
    std::uint8_t writeBlockData(std::uint8_t block, const std::uint8_t* data, std::uint8_t len) override;
    std::uint8_t getAuthStartAddr(std::uint8_t& address) override;
    std::uint8_t setAuthStartAddr(std::uint8_t address) override;

  private:
    // The answer of every tag command: the mode is requested, the command is not supported.
    std::uint8_t notSupported();

    std::shared_ptr<RfIso15693> iso15693_;
};
