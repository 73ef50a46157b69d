#include "sim/card/ntag_card.hpp"

#include <algorithm>
#include <stdexcept>

namespace rfsim {
namespace {

// ATQA 00 44 and SAK 00 of every NTAG21x (datasheet 9.4).
constexpr std::uint16_t kAtqa = 0x0044;
constexpr std::uint8_t kSak = 0x00;

struct Layout {
    int pages;
    std::uint8_t ccSize;       // capability container byte 2: data area size / 8 (datasheet 8.5.6)
    std::uint8_t versionSize;  // GET_VERSION storage size byte (datasheet 10.1)
    int pagesPerLockBit;       // dynamic lock bits (datasheet 8.5.3): 2 pages on the 213, 16 else
};

Layout layoutOf(NtagType type) {
    switch (type) {
        case NtagType::ntag213:
            return {45, 0x12, 0x0F, 2};
        case NtagType::ntag215:
            return {135, 0x3E, 0x11, 16};
        case NtagType::ntag216:
            return {231, 0x6D, 0x13, 16};
    }
    return {45, 0x12, 0x0F, 2};
}

// ACCESS bits in CFG1 byte 0 (datasheet 8.5.7).
constexpr std::uint8_t kProt = 0x80;
constexpr std::uint8_t kCfgLock = 0x40;
constexpr std::uint8_t kNfcCounterOn = 0x10;
constexpr std::uint8_t kNfcCounterPwd = 0x08;
constexpr std::uint8_t kAuthLimit = 0x07;

constexpr int kFirstDynamicPage = 16;
constexpr std::uint8_t kCounterAddress = 0x02;  // READ_CNT: the NFC counter (datasheet 10.6)

}  // namespace

NtagCard::NtagCard(Bytes uid, NtagType type)
    : TypeACard(std::move(uid), kAtqa, kSak),
      type_(type),
      memory_(static_cast<std::size_t>(layoutOf(type).pages)) {
    const Bytes& id = this->uid();
    if (id.size() != 7) throw std::invalid_argument("an NTAG21x has a 7-byte UID");
    // Serial number pages (datasheet 8.5.1): BCC0 = CT ^ UID0 ^ UID1 ^ UID2, BCC1 = UID3 ^ ... ^ UID6;
    // page 2 byte 1 is the internal byte 48h, bytes 2-3 the static lock bytes.
    memory_[0] = {id[0], id[1], id[2], static_cast<std::uint8_t>(kCascadeTag ^ id[0] ^ id[1] ^ id[2])};
    memory_[1] = {id[3], id[4], id[5], id[6]};
    memory_[2] = {static_cast<std::uint8_t>(id[3] ^ id[4] ^ id[5] ^ id[6]), 0x48, 0x00, 0x00};
    // Capability container, NDEF mapping 1.0, read and write access (datasheet 8.5.6).
    memory_[3] = {0xE1, 0x10, layoutOf(type).ccSize, 0x00};
    // CFG0: STRG_MOD_EN set, AUTH0 FFh; CFG1 zero; PWD FF FF FF FF; PACK 00 00 (datasheet 8.5.7).
    memory_[static_cast<std::size_t>(cfg0Page())] = {0x04, 0x00, 0x00, 0xFF};
    memory_[static_cast<std::size_t>(cfg0Page() + 2)] = {0xFF, 0xFF, 0xFF, 0xFF};
}

int NtagCard::pageCount() const {
    return layoutOf(type_).pages;
}

NtagCard::Page NtagCard::page(int number) const {
    std::lock_guard lock(mutex_);
    return memory_.at(static_cast<std::size_t>(number));
}

void NtagCard::setPage(int number, const Page& data) {
    std::lock_guard lock(mutex_);
    memory_.at(static_cast<std::size_t>(number)) = data;
}

std::uint32_t NtagCard::nfcCounter() const {
    std::lock_guard lock(mutex_);
    return counter_;
}

bool NtagCard::authenticated() const {
    std::lock_guard lock(mutex_);
    return authenticated_;
}

void NtagCard::powerOffLocked() {
    TypeACard::powerOffLocked();
    authenticated_ = false;  // also after a NAK, which sends the tag to IDLE or HALT (datasheet 9.3)
}

void NtagCard::haltedLocked() {
    authenticated_ = false;
}

void NtagCard::fieldLostLocked() {
    counted_ = false;
}

std::uint8_t NtagCard::auth0Locked() const {
    return memory_[static_cast<std::size_t>(cfg0Page())][3];
}

std::uint8_t NtagCard::accessLocked() const {
    return memory_[static_cast<std::size_t>(cfg0Page() + 1)][0];
}

bool NtagCard::readBarredLocked(int page) const {
    return (accessLocked() & kProt) != 0 && !authenticated_ && page >= auth0Locked();
}

// Static lock bytes (page 2 bytes 2-3) lock the CC and pages 4 to 15; the dynamic lock bytes
// lock the user pages from 16 on in groups (datasheet 8.5.2, 8.5.3).
bool NtagCard::lockedLocked(int page) const {
    const Page& statics = memory_[2];
    if (page == 3) return (statics[2] & 0x08) != 0;
    if (page >= 4 && page <= 7) return (statics[2] >> (page - 4 + 4) & 1) != 0;
    if (page >= 8 && page <= 15) return (statics[3] >> (page - 8) & 1) != 0;
    if (page >= kFirstDynamicPage && page <= lastUserPage()) {
        const Page& dynamic = memory_[static_cast<std::size_t>(dynamicLockPage())];
        const int bit = (page - kFirstDynamicPage) / layoutOf(type_).pagesPerLockBit;
        return (dynamic[static_cast<std::size_t>(bit / 8)] >> (bit % 8) & 1) != 0;
    }
    return false;
}

// PWD and PACK always read back as 00h (datasheet 8.5.7).
NtagCard::Page NtagCard::readableLocked(int page) const {
    if (page >= cfg0Page() + 2) return {};
    return memory_[static_cast<std::size_t>(page)];
}

// With NFC_CNT_EN the first valid READ or FAST_READ after power-up counts; the 24-bit counter
// stops at FFFFFFh (datasheet 8.7).
void NtagCard::countReadLocked() {
    if ((accessLocked() & kNfcCounterOn) == 0 || counted_) return;
    counted_ = true;
    if (counter_ < 0xFFFFFF) ++counter_;
}

// READ: 4 pages; past the last page (or, read-protected, past AUTH0) it rolls over to page 0
// (datasheet 10.2). A start address out of range or read-protected is NAKed.
std::optional<Bytes> NtagCard::readBlock(int page) {
    std::lock_guard lock(mutex_);
    if (!activeLocked() || page < 0 || page >= pageCount() || readBarredLocked(page)) return refuseLocked();
    int end = pageCount();
    if ((accessLocked() & kProt) != 0 && !authenticated_) end = std::min<int>(end, auth0Locked());
    Bytes out;
    for (int i = 0; i < 4; ++i) {
        const Page bytes = readableLocked((page + i) % end);
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    countReadLocked();
    return out;
}

// FAST_READ: pages first to last, both inside the memory and first not after last; a
// read-protected page in the range NAKs the whole command (datasheet 10.3).
std::optional<Bytes> NtagCard::fastRead(int firstPage, int lastPage) {
    std::lock_guard lock(mutex_);
    if (!activeLocked() || firstPage < 0 || firstPage > lastPage || lastPage >= pageCount() ||
        readBarredLocked(lastPage))
        return refuseLocked();
    Bytes out;
    for (int page = firstPage; page <= lastPage; ++page) {
        const Page bytes = readableLocked(page);
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    countReadLocked();
    return out;
}

// WRITE (datasheet 10.4): pages 2 to the last; from AUTH0 on only once authenticated (whatever
// PROT says); lock bytes and the capability container are one-time programmable, their bits only
// ORed in; CFGLCK locks CFG0 and CFG1 but not PWD and PACK.
bool NtagCard::writeLocked(int page, std::span<const std::uint8_t, 4> data) {
    if (!activeLocked() || page < 2 || page >= pageCount()) return false;
    if (page >= auth0Locked() && !authenticated_) return false;
    if (lockedLocked(page)) return false;
    Page& stored = memory_[static_cast<std::size_t>(page)];
    if (page == 2) {
        // Block-locking bits freeze the lock bits they cover (datasheet 8.5.2).
        std::uint8_t open0 = 0xFF;
        std::uint8_t open1 = 0xFF;
        if ((stored[2] & 0x01) != 0) open0 &= 0xF7;
        if ((stored[2] & 0x02) != 0) {
            open0 &= 0x0F;
            open1 &= 0xFC;
        }
        if ((stored[2] & 0x04) != 0) open1 &= 0x03;
        stored[2] |= data[2] & open0;
        stored[3] |= data[3] & open1;
    } else if (page == 3 || page == dynamicLockPage()) {
        for (std::size_t i = 0; i < 4; ++i)
            if (page == 3 || i < 3) stored[i] |= data[i];
    } else {
        const bool configuration = page == cfg0Page() || page == cfg0Page() + 1;
        if (configuration && (accessLocked() & kCfgLock) != 0) return false;
        std::copy(data.begin(), data.end(), stored.begin());
    }
    return true;
}

bool NtagCard::writePage(int page, std::span<const std::uint8_t, 4> data) {
    std::lock_guard lock(mutex_);
    if (writeLocked(page, data)) return true;
    rejectLocked();
    return false;
}

// COMPATIBILITY_WRITE: 16 bytes are sent, the first 4 written (datasheet 10.5).
bool NtagCard::writeBlock(int page, std::span<const std::uint8_t, 16> data) {
    return writePage(page, data.first<4>());
}

// PWD_AUTH (datasheet 10.7, 8.8): the right password answers PACK; with AUTHLIM, 2^AUTHLIM wrong
// ones in a row and the tag refuses every further attempt.
std::optional<Bytes> NtagCard::pwdAuth(std::span<const std::uint8_t, 4> password) {
    std::lock_guard lock(mutex_);
    if (!activeLocked()) return refuseLocked();
    const int limit = accessLocked() & kAuthLimit;
    if (limit != 0 && failedAuths_ >= (1 << limit)) return refuseLocked();
    const Page& pwd = memory_[static_cast<std::size_t>(cfg0Page() + 2)];
    if (!std::equal(pwd.begin(), pwd.end(), password.begin())) {
        if (limit != 0) ++failedAuths_;
        return refuseLocked();
    }
    failedAuths_ = 0;
    authenticated_ = true;
    const Page& pack = memory_[static_cast<std::size_t>(cfg0Page() + 3)];
    return Bytes{pack[0], pack[1]};
}

// GET_VERSION (datasheet 10.1): header 00, vendor NXP 04, type NTAG 04, subtype 02 (50 pF),
// version 1.0, storage size, protocol 03 (ISO/IEC 14443-3).
std::optional<Bytes> NtagCard::getVersion() {
    std::lock_guard lock(mutex_);
    if (!activeLocked()) return refuseLocked();
    return Bytes{0x00, 0x04, 0x04, 0x02, 0x01, 0x00, layoutOf(type_).versionSize, 0x03};
}

// READ_CNT 02h (datasheet 10.6): the counter least significant byte first; NAK while the counter
// is off, and without authentication while NFC_CNT_PWD_PROT is set.
std::optional<Bytes> NtagCard::readCounter(int counter) {
    std::lock_guard lock(mutex_);
    const std::uint8_t access = accessLocked();
    if (!activeLocked() || counter != kCounterAddress || (access & kNfcCounterOn) == 0 ||
        ((access & kNfcCounterPwd) != 0 && !authenticated_))
        return refuseLocked();
    return Bytes{static_cast<std::uint8_t>(counter_), static_cast<std::uint8_t>(counter_ >> 8),
                 static_cast<std::uint8_t>(counter_ >> 16)};
}

// READ_SIG 00h (datasheet 10.8): 32 bytes. A real tag answers NXP's ECC signature over its UID;
// the simulated one answers stand-in bytes made from the UID.
std::optional<Bytes> NtagCard::readSignature(int address) {
    std::lock_guard lock(mutex_);
    if (!activeLocked() || address != 0) return refuseLocked();
    Bytes signature(32);
    const Bytes& id = uid();
    for (std::size_t i = 0; i < signature.size(); ++i)
        signature[i] = static_cast<std::uint8_t>(id[i % id.size()] ^ (0x5A + 7 * i));
    return signature;
}

std::shared_ptr<NtagCard> makeNtag(Bytes uid, NtagType type) {
    return std::make_shared<NtagCard>(std::move(uid), type);
}

}  // namespace rfsim
