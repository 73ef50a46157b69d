#include "card/pcsc/pcsc_type_a.hpp"

#include <algorithm>
#include <climits>

#include "crypto/buffer.hpp"
#include "reader/pcsc/pcsc_reader.hpp"
#include "reader/rf_reader.hpp"

using Orvane::pcsc::CardKind;

namespace {

constexpr std::uint8_t kNoSector = 255;
// GET DATA of the PC/SC storage-card commands (PCSC3 §3.2.2.1.3): P1 00 asks for the UID.
constexpr std::uint8_t kGetUid[] = {0xFF, 0xCA, 0x00, 0x00, 0x00};
constexpr std::size_t kStatusWordSize = 2;

bool endsOk(const std::vector<std::uint8_t>& response) {
    const std::size_t n = response.size();
    return n >= kStatusWordSize && response[n - 2] == 0x90 && response[n - 1] == 0x00;
}

}  // namespace

PcscTypeA::PcscTypeA(std::shared_ptr<RfReader> reader) : reader_(std::move(reader)) {}

bool PcscTypeA::storageCommand(std::span<const std::uint8_t> command, std::vector<std::uint8_t>& data) {
    data.clear();
    Orvane::PcscReader* pcsc = reader_->pcscReader();
    if (pcsc == nullptr || !pcsc->transmit(command, response_) || !endsOk(response_)) return false;
    data.assign(response_.begin(), response_.end() - kStatusWordSize);
    return true;
}

bool PcscTypeA::readCard(Orvane::TypeACardInfo& info, CardKind& kind) {
    info = {};
    Orvane::PcscReader* pcsc = reader_->pcscReader();
    if (pcsc == nullptr || !pcsc->connectCard()) return false;
    kind = Orvane::pcsc::cardKindOf(pcsc->atr());
    std::vector<std::uint8_t> uid;
    // A UID longer than a type A card's three cascade levels is no UID. A card in a contact slot
    // has none, and GET DATA would go to the card itself.
    const bool haveUid = Orvane::pcsc::contactlessAtr(pcsc->atr()) && storageCommand(kGetUid, uid) &&
                         !uid.empty() && uid.size() <= info.uid.size();
    // Storage cards are reached by the reader's mapping, which always knows the UID.
    if (!haveUid && kind != CardKind::iso14443_4) return false;
    if (haveUid) {
        std::copy(uid.begin(), uid.end(), info.uid.begin());
        info.uidLen = static_cast<int>(uid.size());
    }
    info.atqa = Orvane::pcsc::standInAtqa(kind, uid.size());
    info.sak = Orvane::pcsc::standInSak(kind);
    return true;
}

int PcscTypeA::findCards(std::vector<Orvane::TypeACardInfo>& cards, int /*limit*/) {
    Orvane::PcscReader* pcsc = reader_->pcscReader();
    if (pcsc == nullptr) return -1;
    switch (pcsc->presence()) {
        case Orvane::PcscReader::Presence::lost:
            return -1;
        case Orvane::PcscReader::Presence::absent:
            return 0;
        case Orvane::PcscReader::Presence::present:
            break;
    }
    Orvane::TypeACardInfo info;
    CardKind kind{};
    if (!readCard(info, kind)) return 0;
    cards.push_back(info);
    return 1;
}

bool PcscTypeA::take(CardKind kind, bool activate, Orvane::IBuffer* ats) {
    // A fresh connection may be a fresh card: no sector is authenticated on it.
    reader_->setAuthSector(kNoSector);
    if (!activate) return true;
    if (kind != CardKind::iso14443_4) return false;  // a storage card takes no RATS
    if (ats != nullptr) {
        const std::vector<std::uint8_t> built = Orvane::pcsc::standInAts(reader_->pcscReader()->atr());
        ats->assign(built.data(), static_cast<std::uint32_t>(built.size()));
    }
    return true;
}

bool PcscTypeA::selectUid(const std::uint8_t* uid, int uidLen, bool activate, Orvane::IBuffer* ats) {
    Orvane::TypeACardInfo info;
    CardKind kind{};
    if (uid == nullptr || uidLen <= 0 || !readCard(info, kind)) return false;
    if (info.uidLen != uidLen || !std::equal(uid, uid + uidLen, info.uid.begin())) return false;
    return take(kind, activate, ats);
}

bool PcscTypeA::selectAny(Orvane::TypeACardInfo& info, bool activate, Orvane::IBuffer* ats) {
    CardKind kind{};
    return readCard(info, kind) && take(kind, activate, ats);
}

bool PcscTypeA::rawExchange(const std::uint8_t* request, int len, Orvane::IBuffer& response) {
    response.clear();
    Orvane::PcscReader* pcsc = reader_->pcscReader();
    if (pcsc == nullptr || request == nullptr || len <= 0) return false;
    if (!pcsc->transmit(std::span(request, static_cast<std::size_t>(len)), response_)) return false;
    if (response_.size() > UINT32_MAX) return false;
    return response.assign(response_.data(), static_cast<std::uint32_t>(response_.size()));
}

bool PcscTypeA::deselect() {
    reader_->setAuthSector(kNoSector);
    if (Orvane::PcscReader* pcsc = reader_->pcscReader()) pcsc->disconnectCard(true);
    return true;
}
