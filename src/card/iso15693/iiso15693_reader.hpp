#pragma once
// ISO/IEC 15693 vicinity tags, the -3 command set in the standard's order. Status results: 0
// success, 253 not supported by this reader, 254 hard failure, anything else a tag failure.

#include <array>
#include <cstdint>
#include <vector>

namespace Orvane {

class IBuffer;

// One tag as inventory found it.
struct Iso15693Card {
    std::array<std::uint8_t, 8> uid{};  // in the order the inventory delivers it
    std::uint8_t dsfid = 0;
};

struct Iso15693SystemInfo {
    std::uint8_t flags = 0;
    std::array<std::uint8_t, 8> uid{};
    std::uint8_t dsfid = 0;
    std::uint8_t afi = 0;
    std::uint8_t blockNum = 0;
    std::uint8_t byteSize = 0;
    std::uint8_t icRef = 0;
};

namespace iso15693_status {
inline constexpr std::uint8_t kOk = 0;
inline constexpr std::uint8_t kNotSupported = 253;
inline constexpr std::uint8_t kHardFailure = 254;
}  // namespace iso15693_status

class IIso15693Reader {
  public:
    using Uid = std::array<std::uint8_t, 8>;

    virtual bool setMode(std::uint8_t mode, const Uid& uid, bool dataRate, bool subCarrier) = 0;
    // Appends the tags answering (at most `limit`); the count, negative on failure.
    virtual int inventory(std::vector<Iso15693Card>& cards, int limit, std::uint8_t afi, bool nb16Slots) = 0;
    virtual std::uint8_t reserved() { return iso15693_status::kNotSupported; }
    virtual std::uint8_t stayQuiet(const Uid& uid) = 0;
    virtual std::uint8_t readSingleBlock(bool getState, std::uint8_t block, IBuffer& out) = 0;
    virtual std::uint8_t writeSingleBlock(std::uint8_t block, const std::uint8_t* data, std::uint8_t len) = 0;
    virtual std::uint8_t lockBlock(std::uint8_t block) = 0;
    virtual std::uint8_t readMultipleBlocks(bool getState, std::uint8_t first, std::uint8_t count,
                                            IBuffer& out) = 0;
    virtual std::uint8_t writeMultipleBlocks(std::uint8_t first, std::uint8_t count, const std::uint8_t* data,
                                             std::uint32_t len) = 0;
    virtual std::uint8_t select(const Uid& uid) = 0;
    virtual std::uint8_t resetToReady() = 0;
    virtual std::uint8_t writeAfi(std::uint8_t afi) = 0;
    virtual std::uint8_t lockAfi() = 0;
    virtual std::uint8_t writeDsfid(std::uint8_t dsfid) = 0;
    virtual std::uint8_t lockDsfid() = 0;
    virtual std::uint8_t getSystemInfo(Iso15693SystemInfo& info) = 0;
    virtual std::uint8_t getMultipleBlockSecurity(std::uint8_t first, std::uint8_t count, IBuffer& out) = 0;
    virtual ~IIso15693Reader() = default;
};

}  // namespace Orvane
