#include "card/mifare/rf_mifare_classic.hpp"

#include <algorithm>
#include <span>

#include "card/iso14443a/rf_iso14443a.hpp"
#include "card/iso14443a/typea_va.hpp"
#include "card/mifare/mifare_layout.hpp"
#include "reader/frame/iva_reader.hpp"
#include "reader/frame/ivc_tsm_reader.hpp"
#include "reader/frame/ivd_reader.hpp"
#include "reader/rf_reader.hpp"

namespace {

constexpr std::uint8_t kNoSector = 255;
constexpr int kBlock = Orvane::mifare::kBlockSize;

// VD parameter block of Mifare commands: 13 00 00 00 followed by the block number.
std::array<std::uint8_t, 5> vdParams(std::uint8_t block) {
    return {0x13, 0x00, 0x00, 0x00, block};
}

// Mifare commands per family:      authenticate  read  write
//   VD (block in the parameters)   0x5F          0x61  0x60
//   VA                             0x17          0x18  0x19
//   VC                             0x4A          0x4B  0x4C
struct Commands {
    std::uint8_t authenticate, read, write;
};
constexpr Commands kVa{0x17, 0x18, 0x19};
constexpr Commands kVc{0x4A, 0x4B, 0x4C};
constexpr Commands kVd{0x5F, 0x61, 0x60};

bool exactBlock(std::span<const std::uint8_t> reply, std::uint8_t* out) {
    if (reply.size() != static_cast<std::size_t>(kBlock)) return false;
    std::copy(reply.begin(), reply.end(), out);
    return true;
}

}  // namespace

RfMifareClassic::RfMifareClassic(std::shared_ptr<RfIso14443A> iso14443a) : iso14443a_(std::move(iso14443a)) {}

std::shared_ptr<Orvane::IIso14443AReader> RfMifareClassic::iso14443a() {
    return iso14443a_;
}

bool RfMifareClassic::inTypeAMode() {
    return iso14443a_->reader()->setProtocol(Orvane::rf_mode::kIso14443A, false);
}

bool RfMifareClassic::authenticate(std::uint8_t sector, const std::uint8_t* key, bool keyB) {
    RfReader& reader = *iso14443a_->reader();
    if (key == nullptr || sector > Orvane::mifare::kLastSector || !inTypeAMode()) return false;
    if (reader.authSector() == sector && authKeyB_ == keyB &&
        std::equal(authKey_.begin(), authKey_.end(), key))
        return true;

    // These VA readers only take a new authentication from a card selected anew.
    const std::uint8_t type = reader.type();
    if ((type == kReaderVbSerial || type == kReaderVbCh340) && reader.authSector() != kNoSector) {
        if (reader.vaReader() == nullptr ||
            !typea::VaTypeA(*reader.vaReader()).reactivate(iso14443a_->cl1Uid()))
            return false;
    }
    reader.setAuthSector(kNoSector);
    if (!sendAuthentication(Orvane::mifare::firstBlock(sector), key, keyB)) return false;
    reader.setAuthSector(sector);
    std::copy_n(key, authKey_.size(), authKey_.begin());
    authKeyB_ = keyB;
    return true;
}

bool RfMifareClassic::sendAuthentication(std::uint8_t block, const std::uint8_t* key, bool keyB) {
    RfReader& reader = *iso14443a_->reader();
    if (auto* vd = reader.vdReader()) {
        std::array<std::uint8_t, 7> data{static_cast<std::uint8_t>(keyB ? 1 : 0)};
        std::copy_n(key, 6, data.begin() + 1);
        return vd->exchange(kVd.authenticate, vdParams(block), data) == 0;
    }
    // VA and VC: 60 (Key A) or 61 (Key B), the block, the key.
    std::array<std::uint8_t, 8> data{static_cast<std::uint8_t>(keyB ? 0x61 : 0x60), block};
    std::copy_n(key, 6, data.begin() + 2);
    if (auto* va = reader.vaReader()) return va->exchange(kVa.authenticate, data) == 0;
    if (auto* vc = reader.vcReader()) return vc->exchange(kVc.authenticate, data) == 0;
    return false;
}

bool RfMifareClassic::readBlock(std::uint8_t block, std::uint8_t* out) {
    if (out == nullptr || !inTypeAMode()) return false;
    RfReader& reader = *iso14443a_->reader();
    if (auto* vd = reader.vdReader())
        return vd->exchange(kVd.read, vdParams(block)) == 0 && exactBlock(vd->replyData(), out);
    if (auto* va = reader.vaReader())
        return va->exchange(kVa.read, std::span(&block, 1)) == 0 && exactBlock(va->replyData(), out);
    if (auto* vc = reader.vcReader())
        return vc->exchange(kVc.read, std::span(&block, 1)) == 0 && exactBlock(vc->replyData(), out);
    return false;
}

bool RfMifareClassic::writeBlock(std::uint8_t block, const std::uint8_t* data) {
    if (data == nullptr || !inTypeAMode()) return false;
    RfReader& reader = *iso14443a_->reader();
    if (Orvane::mifare::isFirstBlockOfSector(block)) reader.setAuthSector(kNoSector);
    if (auto* vd = reader.vdReader())
        return vd->exchange(kVd.write, vdParams(block), std::span(data, kBlock)) == 0;
    std::array<std::uint8_t, 1 + kBlock> blockAndData{block};
    std::copy_n(data, kBlock, blockAndData.begin() + 1);
    if (auto* va = reader.vaReader()) return va->exchange(kVa.write, blockAndData) == 0;
    if (auto* vc = reader.vcReader()) return vc->exchange(kVc.write, blockAndData) == 0;
    return false;
}
