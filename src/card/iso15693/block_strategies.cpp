#include "card/iso15693/block_strategies.hpp"

namespace Orvane {

namespace {

using iso15693_status::kHardFailure;
using iso15693_status::kOk;

bool multipleFirst(std::int64_t mode) {
    return mode == 0 || mode == 2;
}
// The multiple-block command again after block by block failed.
bool multipleAfter(std::int64_t mode) {
    return mode > 2;
}

}  // namespace

std::uint8_t readBlocks(IIso15693Reader& tag, std::int64_t mode, bool getState, std::uint8_t first,
                        std::uint8_t count, IBuffer& out) {
    std::uint8_t status = kNoStrategy;
    if (multipleFirst(mode)) {
        status = tag.readMultipleBlocks(getState, first, count, out);
        if (status == kOk || status == kHardFailure) return status;
    }
    if (mode <= 0) return status;
    if (count > 0) {
        for (int i = 0; i < count; ++i) {
            status = tag.readSingleBlock(getState, static_cast<std::uint8_t>(first + i), out);
            if (status != kOk) break;
        }
        if (status == kOk) return kOk;
    }
    // Without blocks the loop is skipped and the status so far counts as its failure.
    if (status == kHardFailure) return status;
    if (multipleAfter(mode)) return tag.readMultipleBlocks(getState, first, count, out);
    return status;
}

std::uint8_t writeBlocks(IIso15693Reader& tag, std::int64_t mode, std::uint8_t first, std::uint8_t count,
                         const std::uint8_t* data, std::uint32_t len) {
    std::uint8_t status = kNoStrategy;
    if (multipleFirst(mode)) {
        status = tag.writeMultipleBlocks(first, count, data, len);
        if (status == kOk || status == kHardFailure) return status;
    }
    if (mode <= 0) return status;
    // Nothing to divide by; a block length that does not fit the command's length byte would be
    // cut short on the tag.
    if (count == 0) return kNoStrategy;
    if (len % count != 0) return status;
    const std::uint32_t perBlock = len / count;
    if (perBlock > 0xFF) return kNoStrategy;
    for (int i = 0; i < count; ++i) {
        status = tag.writeSingleBlock(static_cast<std::uint8_t>(first + i), data + perBlock * i,
                                      static_cast<std::uint8_t>(perBlock));
        if (status != kOk) break;
    }
    if (status == kOk) return kOk;
    if (status != kHardFailure && multipleAfter(mode))
        return tag.writeMultipleBlocks(first, count, data, len);
    return status;
}

}  // namespace Orvane
