#include "sim/card/mifare_classic_card.hpp"

#include <algorithm>

#include "sim/card/mifare_access.hpp"
#include "sim/card/mifare_layout.hpp"

namespace rfsim {
namespace {

// ATQA bits 7-6 give the UID size (00 single, 01 double, 10 triple); bits 4-0 the anticollision
// bit frame: 0x04 on the 1K, 0x02 on the 4K. SAK 0x08 (1K) and 0x18 (4K).
std::uint16_t atqaOf(MifareSize size, std::size_t uidLength) {
    const std::uint16_t uidSize = uidLength == 4 ? 0x00 : uidLength == 7 ? 0x40 : 0x80;
    return uidSize | (size == MifareSize::classic1K ? 0x04 : 0x02);
}

std::uint8_t sakOf(MifareSize size) {
    return size == MifareSize::classic1K ? 0x08 : 0x18;
}

// Block 0: a 4-byte UID is followed by its BCC, SAK, ATQA (first byte on the air first) and
// manufacturer data; a 7-byte UID directly by SAK and ATQA (MF1S50yyX/MF1S70yyX 8.6.1). A 10-byte
// Mifare Classic does not exist; that card keeps the 7-byte layout so the cascade can be tested.
MifareClassicCard::Block manufacturerBlock(const Bytes& uid, std::uint16_t atqa, std::uint8_t sak) {
    MifareClassicCard::Block block{};
    std::size_t at = 0;
    for (const std::uint8_t byte : uid)
        block[at++] = byte;
    if (uid.size() == 4) block[at++] = static_cast<std::uint8_t>(uid[0] ^ uid[1] ^ uid[2] ^ uid[3]);
    block[at++] = sak;
    block[at++] = static_cast<std::uint8_t>(atqa & 0xFF);
    block[at++] = static_cast<std::uint8_t>(atqa >> 8);
    for (std::uint8_t data = 0x62; at < block.size(); ++data)
        block[at++] = data;  // manufacturer data
    return block;
}

constexpr bool allows(std::uint8_t mask, std::uint8_t key) {
    return (mask & key) != 0;
}

}  // namespace

MifareClassicCard::MifareClassicCard(Bytes uid, MifareSize size)
    : TypeACard(uid, atqaOf(size, uid.size()), sakOf(size)),
      size_(size),
      memory_(size == MifareSize::classic1K ? 64 : 256) {
    memory_[0] = manufacturerBlock(this->uid(), atqa(), sak());
    const int sectors = size == MifareSize::classic1K ? 16 : 40;
    for (int sector = 0; sector < sectors; ++sector)
        setTrailer(sector, kFactoryKey, kTransportAccess, kFactoryKey);
}

MifareClassicCard::Block MifareClassicCard::block(int number) const {
    std::lock_guard lock(mutex_);
    return memory_.at(static_cast<std::size_t>(number));
}

void MifareClassicCard::setBlock(int number, const Block& data) {
    std::lock_guard lock(mutex_);
    memory_.at(static_cast<std::size_t>(number)) = data;
}

void MifareClassicCard::setTrailer(int sector, const Key& keyA, const std::array<std::uint8_t, 4>& access,
                                   const Key& keyB) {
    Block trailer{};
    std::copy(keyA.begin(), keyA.end(), trailer.begin());
    std::copy(access.begin(), access.end(), trailer.begin() + 6);
    std::copy(keyB.begin(), keyB.end(), trailer.begin() + 10);
    setBlock(mifare::trailerOfSector(sector), trailer);
}

void MifareClassicCard::powerOffLocked() {
    TypeACard::powerOffLocked();
    authSector_ = -1;
}

// The key is checked against the trailer of the block's sector. A sector whose access bytes are
// inconsistent is blocked (MF1S50yyX 8.7.1: "the whole sector is irreversibly blocked"): no key
// opens it any more.
bool MifareClassicCard::authenticate(int block, bool keyB, std::span<const std::uint8_t, 6> key) {
    std::lock_guard lock(mutex_);
    authSector_ = -1;
    if (!activeLocked() || block < 0 || block >= blockCount()) {
        rejectLocked();
        return false;
    }
    const int sector = mifare::sectorOfBlock(block);
    const Block& trailer = memory_[static_cast<std::size_t>(mifare::trailerOfSector(sector))];
    const auto expected = std::span(trailer).subspan(keyB ? 10 : 0, 6);
    if (!mifare::decodeAccessBits(std::span(trailer).subspan<6, 3>()) ||
        !std::equal(key.begin(), key.end(), expected.begin())) {
        rejectLocked();
        return false;
    }
    authSector_ = sector;
    authKeyB_ = keyB;
    return true;
}

std::optional<MifareClassicCard::Grant> MifareClassicCard::grantLocked(int block) const {
    if (!activeLocked() || block < 0 || block >= blockCount() || mifare::sectorOfBlock(block) != authSector_)
        return std::nullopt;
    const Block& trailer = memory_[static_cast<std::size_t>(mifare::trailerOfSector(authSector_))];
    const auto conditions = mifare::decodeAccessBits(std::span(trailer).subspan<6, 3>());
    if (!conditions) return std::nullopt;  // the trailer was overwritten with bad access bytes
    // Key B that is readable is data, not a key: nothing is accessible after authenticating with it.
    if (authKeyB_ && mifare::keyBIsData((*conditions)[3])) return std::nullopt;
    return Grant{(*conditions)[static_cast<std::size_t>(mifare::accessGroup(block))],
                 mifare::keyMaskOf(authKeyB_)};
}

// Key A never reads back (zeros); access bytes and Key B read as zeros where the trailer's
// conditions do not allow them.
std::optional<Bytes> MifareClassicCard::readBlock(int block) {
    std::lock_guard lock(mutex_);
    const auto grant = grantLocked(block);
    if (!grant) {
        rejectLocked();
        return std::nullopt;
    }
    Bytes data(memory_[static_cast<std::size_t>(block)].begin(),
               memory_[static_cast<std::size_t>(block)].end());
    if (mifare::isTrailer(block)) {
        const mifare::TrailerAccess access = mifare::trailerAccess(grant->condition);
        std::fill(data.begin(), data.begin() + 6, 0);
        if (!allows(access.accessRead, grant->keyMask)) std::fill(data.begin() + 6, data.begin() + 10, 0);
        if (!allows(access.keyBRead, grant->keyMask)) std::fill(data.begin() + 10, data.end(), 0);
    } else if (!allows(mifare::dataBlockAccess(grant->condition).read, grant->keyMask)) {
        rejectLocked();
        return std::nullopt;
    }
    return data;
}

// Block 0 is the read-only manufacturer block. A trailer write changes the fields the conditions let
// the key write and keeps the others; a write that may change nothing is refused. Access bytes are
// written as given, consistent or not: bad ones block the sector from then on.
bool MifareClassicCard::writeBlock(int block, std::span<const std::uint8_t, 16> data) {
    std::lock_guard lock(mutex_);
    const auto grant = grantLocked(block);
    bool written = false;
    if (grant && block != 0) {
        Block& stored = memory_[static_cast<std::size_t>(block)];
        if (mifare::isTrailer(block)) {
            written = writeTrailerFields(stored, data, *grant);
        } else if (allows(mifare::dataBlockAccess(grant->condition).write, grant->keyMask)) {
            std::copy(data.begin(), data.end(), stored.begin());
            written = true;
        }
    }
    if (!written) rejectLocked();
    return written;
}

bool MifareClassicCard::writeTrailerFields(Block& trailer, std::span<const std::uint8_t, 16> data,
                                           Grant grant) {
    const mifare::TrailerAccess access = mifare::trailerAccess(grant.condition);
    struct Field {
        std::uint8_t mask;
        std::size_t from, to;
    };
    const Field fields[] = {
        {access.keyAWrite, 0, 6}, {access.accessWrite, 6, 10}, {access.keyBWrite, 10, 16}};
    bool any = false;
    for (const Field& field : fields) {
        if (!allows(field.mask, grant.keyMask)) continue;
        std::copy(data.begin() + static_cast<std::ptrdiff_t>(field.from),
                  data.begin() + static_cast<std::ptrdiff_t>(field.to),
                  trailer.begin() + static_cast<std::ptrdiff_t>(field.from));
        any = true;
    }
    return any;
}

std::shared_ptr<MifareClassicCard> makeMifare1K(Bytes uid) {
    return std::make_shared<MifareClassicCard>(std::move(uid), MifareSize::classic1K);
}

std::shared_ptr<MifareClassicCard> makeMifare4K(Bytes uid) {
    return std::make_shared<MifareClassicCard>(std::move(uid), MifareSize::classic4K);
}

}  // namespace rfsim
