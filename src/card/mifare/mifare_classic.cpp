#include "card/mifare/mifare_classic.hpp"

#include <algorithm>
#include <cstring>

#include "card/mifare/mifare_layout.hpp"

namespace Orvane {

namespace {
constexpr int kBlock = mifare::kBlockSize;
}

MifareClassic::MifareClassic(std::shared_ptr<IMifareClassicReader> reader)
    : selection_(reader ? reader->iso14443a() : nullptr), reader_(std::move(reader)) {}

bool MifareClassic::selectUid(const std::uint8_t* uid, int len) {
    return selection_.selectUid(uid, len);
}

bool MifareClassic::selectAny(TypeACardInfo& info) {
    return selection_.selectAny(info);
}

void MifareClassic::halt() {
    selection_.halt();
}

int MifareClassic::checkRange(std::uint8_t sector, std::uint8_t pos, std::uint8_t num, const void* buffer,
                              int size, Range& range) const {
    if (sector > mifare::kLastSector) return kBadRange;
    const int blocks = mifare::blockCount(sector);
    if (pos >= blocks || buffer == nullptr || pos + num > blocks) return kBadRange;
    range.first = static_cast<std::uint8_t>(mifare::firstBlock(sector) + pos);
    range.count = num == 0 ? blocks - pos : num;
    range.sectorBlocks = blocks;
    if (size < kBlock * range.count) return kShortBuffer;
    return 0;
}

int MifareClassic::prepare(bool reSelect, std::uint8_t sector, const std::uint8_t* key, bool keyB) {
    if (!selection_.isSelected()) return kNotSelected;
    if (selection_.needReselect() && (!reSelect || !selection_.reselect())) return kCardLost;
    if (key != nullptr && reader_->authenticate(sector, key, keyB)) return 0;
    selection_.markForReselect();
    if (reSelect && !selection_.reselect()) return kCardLost;
    return kAuthFailed;
}

int MifareClassic::read(bool reSelect, std::uint8_t sector, const std::uint8_t* key, std::uint8_t* out,
                        int outCapacity, std::uint8_t pos, std::uint8_t num, bool keyB, bool fill) {
    Range range{};
    if (const int status = checkRange(sector, pos, num, out, outCapacity, range); status != 0) return status;
    if (const int status = prepare(reSelect, sector, key, keyB); status != 0) return status;

    int done = 0;
    for (; done < range.count; ++done) {
        if (reader_->readBlock(static_cast<std::uint8_t>(range.first + done), out + kBlock * done)) continue;
        selection_.markForReselect();
        if (reSelect && !selection_.reselect()) return kCardLost;
        return kBlock * done;
    }
    // The card reads Key A back as zeros (and Key B too when it is not readable): put the key
    // that opened the sector into the trailer image.
    // (After block 255, the last of a 4K card, the block number wraps to 0: a sector start too.)
    const bool reachedTrailer = mifare::isFirstBlockOfSector(static_cast<std::uint8_t>(range.first + done));
    if (fill && done > 0 && reachedTrailer && key != nullptr) {
        std::uint8_t* trailer = out + kBlock * (done - 1);
        std::memcpy(trailer + (keyB ? 10 : 0), key, mifare::kKeySize);
    }
    return kBlock * done;
}

int MifareClassic::write(bool reSelect, std::uint8_t sector, const std::uint8_t* key,
                         const std::uint8_t* data, int dataLen, std::uint8_t pos, std::uint8_t num,
                         bool keyB) {
    Range range{};
    if (const int status = checkRange(sector, pos, num, data, dataLen, range); status != 0) return status;
    if (pos + range.count == range.sectorBlocks) {
        if (!isWrite) return kTrailerLocked;
        const std::uint8_t* trailer = data + kBlock * (range.count - 1);
        if (isCheck && !mifare::accessBytesConsistent(trailer[6], trailer[7], trailer[8]))
            return kBadAccessBytes;
    }
    if (const int status = prepare(reSelect, sector, key, keyB); status != 0) return status;

    int written = 0;
    for (int i = 0; i < range.count; ++i) {
        const auto block = static_cast<std::uint8_t>(range.first + i);
        if (reader_->writeBlock(block, data + kBlock * i)) {
            ++written;
            continue;
        }
        selection_.markForReselect();
        if (!reSelect) break;
        if (!selection_.reselect()) return kCardLost;
        // The manufacturer block is read-only on most cards: carry on with the rest of sector 0.
        if (block != 0) break;
        if (!reader_->authenticate(sector, key, keyB)) {
            selection_.markForReselect();
            break;
        }
    }
    return kBlock * written;
}

int MifareClassic::writeTrailer(std::uint8_t sector, const std::uint8_t* keyA, const std::uint8_t* keyB,
                                const std::uint8_t* trailer) {
    if (trailer == nullptr) return kBadRange;
    const auto t = static_cast<std::uint8_t>(sector < mifare::kFirstLargeSector ? 3 : 15);
    struct Attempt {
        const std::uint8_t* key;
        bool keyB;
        int success;
    };
    const Attempt attempts[] = {
        {keyB, true, 1},
        {keyA, false, 1},
        {trailer + 10, true, 2},  // the card may already carry the new keys
        {trailer, false, 2},
    };
    int result = 0;
    for (const Attempt& attempt : attempts) {
        result = write(true, sector, attempt.key, trailer, kBlock, t, 1, attempt.keyB);
        if (result == kBlock) return attempt.success;
        if (result != 0 && result != kAuthFailed) return result;
    }
    return result;
}

}  // namespace Orvane
