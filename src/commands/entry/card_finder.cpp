#include "commands/entry/card_finder.hpp"

#include <algorithm>
#include <span>

#include "crypto/hex.hpp"
#include "reader/irf_reader.hpp"

namespace {

// A UID length from a searcher is used only within the record's UID bytes.
std::size_t typeAUidLength(const Orvane::TypeACardInfo& card) {
    return static_cast<std::size_t>(std::clamp(card.uidLen, 0, static_cast<int>(card.uid.size())));
}

std::span<const std::uint8_t> typeAUid(const Orvane::TypeACardInfo& card) {
    return std::span(card.uid).first(typeAUidLength(card));
}

// Runs one searcher into its own list, so that records of a failed search are never kept.
template <typename Record, typename Search, typename Convert>
int collect(std::vector<CardId>& cards, Search search, Convert convert) {
    std::vector<Record> found;
    if (search(found) < 0) return 0;
    for (const Record& record : found)
        cards.push_back(convert(record));
    return static_cast<int>(found.size());
}

}  // namespace

CardId CardId::ofTypeA(const Orvane::TypeACardInfo& card) {
    CardId id;
    id.cardKind = Orvane::rf_mode::kIso14443A;
    id.typeA = card;
    return id;
}

CardId CardId::ofTypeB(const Orvane::TypeBCardInfo& card) {
    CardId id;
    id.cardKind = Orvane::rf_mode::kIso14443B;
    id.typeB = card;
    return id;
}

CardId CardId::ofIso15693(const Orvane::Iso15693Card& card) {
    CardId id;
    id.cardKind = Orvane::rf_mode::kIso15693;
    id.vicinity = card;
    return id;
}

bool CardId::operator==(const CardId& other) const {
    if (cardKind != other.cardKind) return false;
    switch (cardKind) {
        case Orvane::rf_mode::kIso14443A:
            return typeA.uidLen == other.typeA.uidLen &&
                   std::ranges::equal(typeAUid(typeA), typeAUid(other.typeA));
        case Orvane::rf_mode::kIso14443B:
            return typeB.pupi == other.typeB.pupi;
        case Orvane::rf_mode::kIso15693:
            return vicinity.uid == other.vicinity.uid;
        default:
            return false;
    }
}

int CardFinder::findAll(std::vector<CardId>& cards) const {
    int appended = 0;
    if (typeA.searcher) {
        appended += collect<Orvane::TypeACardInfo>(
            cards, [&](auto& found) { return typeA.searcher->findCards(found, typeA.limit); },
            CardId::ofTypeA);
    }
    if (typeB.searcher) {
        appended += collect<Orvane::TypeBCardInfo>(
            cards,
            [&](auto& found) {
                return typeB.searcher->findCards(found, typeB.limit, typeB.afi, typeB.slots);
            },
            CardId::ofTypeB);
    }
    if (iso15693.searcher) {
        appended += collect<Orvane::Iso15693Card>(
            cards,
            [&](auto& found) {
                return iso15693.searcher->inventory(
                    found, iso15693.limit, static_cast<std::uint8_t>(iso15693.afi), iso15693.nb16Slots);
            },
            CardId::ofIso15693);
    }
    return appended;
}

nlohmann::json cardListJson(const std::vector<CardId>& cards) {
    auto list = nlohmann::json::array();
    for (const CardId& card : cards) {
        switch (card.cardKind) {
            case Orvane::rf_mode::kIso14443A:
                list.push_back({{"rf_type", 1},
                                {"uid", Orvane::hexEncode(typeAUid(card.typeA))},
                                {"atqa", card.typeA.atqa},
                                {"sak", card.typeA.sak}});
                break;
            case Orvane::rf_mode::kIso14443B:
                list.push_back({{"rf_type", 2},
                                {"uid", Orvane::hexEncode(card.typeB.pupi)},
                                {"application", Orvane::hexEncode(card.typeB.application)},
                                {"protocol", Orvane::hexEncode(card.typeB.protocol)}});
                break;
            case Orvane::rf_mode::kIso15693:
                list.push_back({{"rf_type", 4},
                                {"uid", Orvane::hexEncode(card.vicinity.uid)},
                                {"dsfid", card.vicinity.dsfid}});
                break;
            default:
                break;
        }
    }
    return list;
}
