#pragma once
// One reader's Mifare Classic card: remembers the selected card and runs the multi-block reads and
// writes and the trailer change on top of the reader's block access.
//
// A failed authentication or block operation leaves the card outside the authenticated state
// (`needReselect`); read and write then select it again by its UID when the caller allows it.

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "card/iso14443a/type_a_selection.hpp"
#include "card/mifare/imifare_classic_reader.hpp"

namespace Orvane {

class MifareClassic {
  public:
    // Results of read, write and writeTrailer besides the byte counts.
    enum Status : int {
        kBadRange = -1,     // sector above 39, pos/num outside the sector, no buffer
        kShortBuffer = -2,  // output capacity or data length below 16 x blocks
        kNotSelected = -3,
        kCardLost = -4,  // reselection needed but not allowed, or failed
        kAuthFailed = -5,
        kTrailerLocked = -6,   // the write reaches the trailer and isWrite is off
        kBadAccessBytes = -7,  // the trailer image's access bytes are inconsistent and isCheck is on
    };

    explicit MifareClassic(std::shared_ptr<IMifareClassicReader> reader);

    bool selectUid(const std::uint8_t* uid, int len);
    bool selectAny(TypeACardInfo& info);
    void halt();
    bool isSelected() const { return selection_.isSelected(); }
    std::span<const std::uint8_t> uid() const { return selection_.uid(); }
    bool needReselect() const { return selection_.needReselect(); }

    // Reads blocks pos .. pos+num-1 of the sector (num 0 = to the sector's end) into out. Returns
    // 16 x blocks read or a Status. With `fill` a trailer image read gets the key used written in.
    int read(bool reSelect, std::uint8_t sector, const std::uint8_t* key, std::uint8_t* out, int outCapacity,
             std::uint8_t pos, std::uint8_t num, bool keyB, bool fill);
    // Writes blocks from data; returns 16 x blocks written or a Status.
    int write(bool reSelect, std::uint8_t sector, const std::uint8_t* key, const std::uint8_t* data,
              int dataLen, std::uint8_t pos, std::uint8_t num, bool keyB);
    // Writes the sector's trailer, trying the old keys first and then the new ones in the image:
    // 1 written with an old key, 2 with a new one, else the last write's result.
    int writeTrailer(std::uint8_t sector, const std::uint8_t* keyA, const std::uint8_t* keyB,
                     const std::uint8_t* trailer);

    bool isWrite = false;  // writing a sector trailer is allowed
    bool isCheck = true;   // a trailer image's access bytes are checked before it is written

  private:
    struct Range {
        std::uint8_t first;  // card block number of the first block
        int count;
        int sectorBlocks;
    };
    // Checks the sector, pos/num and the buffer size; Range or a Status.
    int checkRange(std::uint8_t sector, std::uint8_t pos, std::uint8_t num, const void* buffer, int size,
                   Range& range) const;
    // Selected card, reselection when needed, authentication: 0 or a Status.
    int prepare(bool reSelect, std::uint8_t sector, const std::uint8_t* key, bool keyB);

    TypeASelection selection_;
    std::shared_ptr<IMifareClassicReader> reader_;
};

}  // namespace Orvane
