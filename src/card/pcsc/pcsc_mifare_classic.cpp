#include "card/pcsc/pcsc_mifare_classic.hpp"

#include <algorithm>
#include <vector>

#include "card/mifare/mifare_layout.hpp"
#include "card/pcsc/pcsc_type_a.hpp"
#include "reader/rf_reader.hpp"

namespace {

constexpr std::uint8_t kNoSector = 255;
constexpr int kBlock = Orvane::mifare::kBlockSize;
constexpr std::uint8_t kKeySlot = 0x00;      // the reader's key number
constexpr std::uint8_t kVolatileKey = 0x00;  // LOAD KEYS P1: card key, plain, volatile memory
constexpr std::uint8_t kAuthVersion = 0x01;  // GENERAL AUTHENTICATE data object version
constexpr std::uint8_t kKeyTypeA = 0x60;     // the card's own authentication commands
constexpr std::uint8_t kKeyTypeB = 0x61;

}  // namespace

PcscMifareClassic::PcscMifareClassic(std::shared_ptr<PcscTypeA> card) : card_(std::move(card)) {}

std::shared_ptr<Orvane::IIso14443AReader> PcscMifareClassic::iso14443a() {
    return card_;
}

bool PcscMifareClassic::authenticate(std::uint8_t sector, const std::uint8_t* key, bool keyB) {
    RfReader& reader = card_->reader();
    if (key == nullptr || sector > Orvane::mifare::kLastSector) return false;
    if (memo_.holds(reader.authSector(), sector, key, keyB)) return true;
    reader.setAuthSector(kNoSector);
    if (!sendAuthentication(Orvane::mifare::firstBlock(sector), key, keyB)) return false;
    reader.setAuthSector(sector);
    memo_.remember(key, keyB);
    return true;
}

bool PcscMifareClassic::sendAuthentication(std::uint8_t block, const std::uint8_t* key, bool keyB) {
    std::vector<std::uint8_t> answer;
    std::array<std::uint8_t, 5 + Orvane::mifare::kKeySize> loadKey{0xFF, 0x82, kVolatileKey, kKeySlot,
                                                                   Orvane::mifare::kKeySize};
    std::copy_n(key, Orvane::mifare::kKeySize, loadKey.begin() + 5);
    const std::uint8_t authenticate[] = {
        0xFF, 0x86, 0x00, 0x00, 0x05, kAuthVersion, 0x00, block, keyB ? kKeyTypeB : kKeyTypeA, kKeySlot};
    const bool done = card_->storageCommand(loadKey, answer) && card_->storageCommand(authenticate, answer);
    std::fill(loadKey.begin(), loadKey.end(), 0);
    return done;
}

bool PcscMifareClassic::readBlock(std::uint8_t block, std::uint8_t* out) {
    if (out == nullptr) return false;
    const std::uint8_t read[] = {0xFF, 0xB0, 0x00, block, kBlock};
    std::vector<std::uint8_t> data;
    if (!card_->storageCommand(read, data) || data.size() != static_cast<std::size_t>(kBlock)) return false;
    std::copy(data.begin(), data.end(), out);
    return true;
}

bool PcscMifareClassic::writeBlock(std::uint8_t block, const std::uint8_t* data) {
    if (data == nullptr) return false;
    std::array<std::uint8_t, 5 + kBlock> update{0xFF, 0xD6, 0x00, block, kBlock};
    std::copy_n(data, kBlock, update.begin() + 5);
    std::vector<std::uint8_t> answer;
    return card_->storageCommand(update, answer);
}
