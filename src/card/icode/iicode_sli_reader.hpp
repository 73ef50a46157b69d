#pragma once
// ICODE SLI tags: the vendor commands of these ISO 15693 tags (EAS, passwords, protection), one
// operation per command. Status results as ISO 15693 (iiso15693_reader.hpp): 0 success, 253 not
// supported by this reader, anything else a tag failure.

#include <array>
#include <cstdint>
#include <memory>

#include "card/iso15693/iiso15693_reader.hpp"

namespace Orvane {

class IBuffer;

class IIcodeSliReader {
  public:
    using Password = std::array<std::uint8_t, 4>;

    // The ISO 15693 access of the same reader.
    virtual std::shared_ptr<IIso15693Reader> iso15693() = 0;
    virtual std::uint8_t setEas() = 0;
    virtual std::uint8_t resetEas() = 0;
    virtual std::uint8_t lockEas() = 0;
    // The EAS alarm answer is appended to `out`.
    virtual std::uint8_t easAlarm(IBuffer& out) = 0;
    virtual std::uint8_t passwordProtect(std::uint8_t type) = 0;
    virtual std::uint8_t setPassword(const Password& password, std::uint8_t id) = 0;
    virtual std::uint8_t writePassword(const Password& password, std::uint8_t id) = 0;
    virtual std::uint8_t lockPassword(std::uint8_t id) = 0;
    virtual std::uint8_t passwordCommand(const Password& password) = 0;
    virtual std::uint8_t uidCommand(const IIso15693Reader::Uid& uid) = 0;
    virtual std::uint8_t writeBlockData(std::uint8_t block, const std::uint8_t* data, std::uint8_t len) = 0;
    // `address` is left alone unless the tag answered one.
    virtual std::uint8_t getAuthStartAddr(std::uint8_t& address) = 0;
    virtual std::uint8_t setAuthStartAddr(std::uint8_t address) = 0;
    virtual ~IIcodeSliReader() = default;
};

}  // namespace Orvane
