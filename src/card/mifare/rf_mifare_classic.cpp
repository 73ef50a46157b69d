#include "card/mifare/rf_mifare_classic.hpp"

#include <algorithm>
#include <span>

#include "card/iso14443a/rf_iso14443a.hpp"
#include "card/iso14443a/typea_va.hpp"
#include "card/mifare/mifare_layout.hpp"
#include "reader/frame/iva_reader.hpp"
#include "reader/frame/ivc_tsm_reader.hpp"
#include "reader/frame/ivd_reader.hpp"
#include "reader/frame/va_opcodes.hpp"
#include "reader/frame/vc_opcodes.hpp"
#include "reader/frame/vd_opcodes.hpp"
#include "reader/rf_reader.hpp"

namespace {

constexpr std::uint8_t kNoSector = 255;
constexpr int kBlock = Orvane::mifare::kBlockSize;

// The card's own authentication commands, which the VA and VC readers pass on with the block.
constexpr std::uint8_t kAuthKeyA = 0x60;
constexpr std::uint8_t kAuthKeyB = 0x61;

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
    if (memo_.holds(reader.authSector(), sector, key, keyB)) return true;

    // The VB readers only take a new authentication from a card selected anew.
    if (isVbType(reader.type()) && reader.authSector() != kNoSector) {
        if (reader.vaReader() == nullptr ||
            !typea::VaTypeA(*reader.vaReader()).reactivate(iso14443a_->cl1Uid()))
            return false;
    }
    reader.setAuthSector(kNoSector);
    if (!sendAuthentication(Orvane::mifare::firstBlock(sector), key, keyB)) return false;
    reader.setAuthSector(sector);
    memo_.remember(key, keyB);
    return true;
}

bool RfMifareClassic::sendAuthentication(std::uint8_t block, const std::uint8_t* key, bool keyB) {
    RfReader& reader = *iso14443a_->reader();
    if (auto* vd = reader.vdReader()) {
        std::array<std::uint8_t, 7> data{static_cast<std::uint8_t>(keyB ? 1 : 0)};
        std::copy_n(key, 6, data.begin() + 1);
        return vd->exchange(Orvane::vd::kMifareAuthenticate, Orvane::vd::mifareParams(block), data) == 0;
    }
    // VA and VC: the card's authentication command, the block, the key.
    std::array<std::uint8_t, 8> data{keyB ? kAuthKeyB : kAuthKeyA, block};
    std::copy_n(key, 6, data.begin() + 2);
    if (auto* va = reader.vaReader()) return va->exchange(Orvane::va::kMifareAuthenticate, data) == 0;
    if (auto* vc = reader.vcReader()) return vc->exchange(Orvane::vc::kMifareAuthenticate, data) == 0;
    return false;
}

bool RfMifareClassic::readBlock(std::uint8_t block, std::uint8_t* out) {
    if (out == nullptr || !inTypeAMode()) return false;
    RfReader& reader = *iso14443a_->reader();
    if (auto* vd = reader.vdReader())
        return vd->exchange(Orvane::vd::kMifareRead, Orvane::vd::mifareParams(block)) == 0 &&
               exactBlock(vd->replyData(), out);
    if (auto* va = reader.vaReader())
        return va->exchange(Orvane::va::kMifareRead, std::span(&block, 1)) == 0 &&
               exactBlock(va->replyData(), out);
    if (auto* vc = reader.vcReader())
        return vc->exchange(Orvane::vc::kMifareRead, std::span(&block, 1)) == 0 &&
               exactBlock(vc->replyData(), out);
    return false;
}

bool RfMifareClassic::writeBlock(std::uint8_t block, const std::uint8_t* data) {
    if (data == nullptr || !inTypeAMode()) return false;
    RfReader& reader = *iso14443a_->reader();
    if (Orvane::mifare::isFirstBlockOfSector(block)) reader.setAuthSector(kNoSector);
    if (auto* vd = reader.vdReader())
        return vd->exchange(Orvane::vd::kMifareWrite, Orvane::vd::mifareParams(block),
                            std::span(data, kBlock)) == 0;
    std::array<std::uint8_t, 1 + kBlock> blockAndData{block};
    std::copy_n(data, kBlock, blockAndData.begin() + 1);
    if (auto* va = reader.vaReader()) return va->exchange(Orvane::va::kMifareWrite, blockAndData) == 0;
    if (auto* vc = reader.vcReader()) return vc->exchange(Orvane::vc::kMifareWrite, blockAndData) == 0;
    return false;
}
