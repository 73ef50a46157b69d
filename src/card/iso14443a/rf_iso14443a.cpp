#include "card/iso14443a/rf_iso14443a.hpp"

#include <algorithm>
#include <span>
#include <variant>

#include "card/iso14443a/typea_links.hpp"
#include "reader/rf_reader.hpp"

using Orvane::TypeACardInfo;

RfIso14443A::RfIso14443A(std::shared_ptr<RfReader> reader) : reader_(std::move(reader)) {}

template <typename Result, typename Step>
Result RfIso14443A::withFamily(Result failed, Step&& step) {
    auto link = typea::linkOf(*reader_);
    if (!link || !reader_->setProtocol(Orvane::rf_mode::kIso14443A, false)) return failed;
    return std::visit(step, *link);
}

void RfIso14443A::leaveCard() {
    reader_->setAuthSector(255);
    if (state_.iso4Active) deselect();
}

int RfIso14443A::findCards(std::vector<TypeACardInfo>& cards, int limit) {
    return withFamily(-1, [&](auto& link) {
        leaveCard();
        const auto atqa = link.request(false);
        if (!atqa) return 0;
        const int most = limit < 1 ? kMaxCardsPerSearch : std::min(limit, kMaxCardsPerSearch);
        int found = 0;
        while (found < most) {
            TypeACardInfo info;
            info.atqa = *atqa;
            if (!link.anticollision(info)) break;
            cards.push_back(info);
            ++found;
            if (!link.halt()) break;  // a card that stays active would answer every round
        }
        return found;
    });
}

bool RfIso14443A::selectAny(TypeACardInfo& info, bool activate, Orvane::IBuffer* ats) {
    return withFamily(false, [&](auto& link) {
        leaveCard();
        if (activate && !link.kActivates) return false;
        const auto atqa = link.request(true);
        if (!atqa) return false;
        info.atqa = *atqa;
        if (!link.anticollision(info)) return false;
        state_.cl1Uid = typea::levelOneBytes(info);
        return !activate || link.activate(info, ats, state_);
    });
}

bool RfIso14443A::selectUid(const std::uint8_t* uid, int uidLen, bool activate, Orvane::IBuffer* ats) {
    return withFamily(false, [&](auto& link) {
        leaveCard();
        if (uid == nullptr || uidLen < 0) return false;
        const auto image = typea::cascadeImage(std::span(uid, static_cast<std::size_t>(uidLen)));
        if (!image) return false;
        std::copy_n(image->bytes.begin(), 4, state_.cl1Uid.begin());
        if (activate && !link.kActivates) return false;
        return link.selectKnown(*image, activate, ats, state_);
    });
}

bool RfIso14443A::rawExchange(const std::uint8_t* request, int len, Orvane::IBuffer& response) {
    return withFamily(false, [&](auto& link) {
        if (len < 0 || (request == nullptr && len > 0)) return false;
        return link.rawExchange(std::span(request, static_cast<std::size_t>(len)), response);
    });
}

bool RfIso14443A::deselect() {
    return withFamily(false, [&](auto& link) {
        reader_->setAuthSector(255);
        state_.iso4Active = false;
        return link.deselect();
    });
}

bool RfIso14443A::haltCard() {
    if (state_.iso4Active) return deselect();
    return withFamily(false, [&](auto& link) {
        reader_->setAuthSector(255);
        return link.halt();
    });
}
