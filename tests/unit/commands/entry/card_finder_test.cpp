// The card finder's search order and failures, card identity, and the retval format clients get.

#include "commands/entry/card_finder.hpp"

#include <gtest/gtest.h>

#include "support/scripted_searchers.hpp"

using nlohmann::json;
using scripted::typeACard;

namespace {

Orvane::TypeBCardInfo typeBCard(std::uint8_t first) {
    return {{first, 0x22, 0x33, 0x44}, {0xA1, 0xA2, 0xA3, 0xA4}, {0x81, 0x71, 0x05}};
}

Orvane::Iso15693Card vicinityCard(std::uint8_t first) {
    return {{first, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0xE0}, 0x1F};
}

}  // namespace

TEST(CardFinder, SearchesInOrderAndPassesTheParameters) {
    CardFinder finder;
    auto a = std::make_shared<scripted::TypeASearcher>();
    auto b = std::make_shared<scripted::TypeBSearcher>();
    auto v = std::make_shared<scripted::VicinitySearcher>();
    v->script.add({vicinityCard(1)});
    b->script.add({typeBCard(1)});
    a->script.add({typeACard({1, 2, 3, 4}), typeACard({5, 6, 7, 8, 9, 10, 11})});
    finder.typeA = {a, 3};
    finder.typeB = {b, 2, 0x10, 4};
    finder.iso15693 = {v, 5, 0x1AB, true};

    std::vector<CardId> cards{CardId::ofTypeB(typeBCard(9))};  // appended to, never cleared
    EXPECT_EQ(finder.findAll(cards), 4);
    ASSERT_EQ(cards.size(), 5u);
    EXPECT_EQ(cards[1].cardKind, 1);
    EXPECT_EQ(cards[2].cardKind, 1);
    EXPECT_EQ(cards[3].cardKind, 2);
    EXPECT_EQ(cards[4].cardKind, 4);
    EXPECT_EQ(a->script.lastLimit(), 3);
    EXPECT_EQ(b->script.lastLimit(), 2);
    EXPECT_EQ(b->lastAfi, 0x10);
    EXPECT_EQ(b->lastSlots, 4);
    EXPECT_EQ(v->script.lastLimit(), 5);
    EXPECT_EQ(v->lastAfi, 0xAB);  // the AFI goes out as a byte
    EXPECT_TRUE(v->lastNb16Slots);
}

TEST(CardFinder, FailedOrDisabledSearchersAddNothing) {
    CardFinder finder;
    std::vector<CardId> cards;
    EXPECT_EQ(finder.findAll(cards), 0);  // nothing enabled

    auto a = std::make_shared<scripted::TypeASearcher>();
    auto b = std::make_shared<scripted::TypeBSearcher>();
    a->script.add({typeACard({1, 2, 3, 4})}, -1);  // records with a failure result are dropped
    b->script.add({}, -2);
    finder.typeA.searcher = a;
    finder.typeB.searcher = b;
    EXPECT_EQ(finder.findAll(cards), 0);
    EXPECT_TRUE(cards.empty());
}

TEST(CardId, EqualByKindAndIdentity) {
    const auto a4 = CardId::ofTypeA(typeACard({1, 2, 3, 4}, 0x0004, 0x08));
    auto sameUidOtherSak = CardId::ofTypeA(typeACard({1, 2, 3, 4}, 0x0044, 0x20));
    sameUidOtherSak.typeA.uid[7] = 0xEE;  // bytes beyond uidLen do not count
    EXPECT_EQ(a4, sameUidOtherSak);
    EXPECT_NE(a4, CardId::ofTypeA(typeACard({1, 2, 3, 5})));
    EXPECT_NE(a4, CardId::ofTypeA(typeACard({1, 2, 3, 4, 0, 0, 0})));  // length differs

    auto b = CardId::ofTypeB(typeBCard(1));
    auto bOtherApp = b;
    bOtherApp.typeB.application[0] ^= 0xFF;
    EXPECT_EQ(b, bOtherApp);
    EXPECT_NE(b, CardId::ofTypeB(typeBCard(2)));

    auto v = CardId::ofIso15693(vicinityCard(1));
    auto vOtherDsfid = v;
    vOtherDsfid.vicinity.dsfid = 0;
    EXPECT_EQ(v, vOtherDsfid);
    EXPECT_NE(v, CardId::ofIso15693(vicinityCard(2)));

    // Different kinds never match, even over identical bytes.
    CardId bAsA = b;
    bAsA.cardKind = 1;
    EXPECT_NE(b, bAsA);
}

TEST(CardListJson, OneObjectPerCardInListOrder) {
    auto odd = CardId::ofTypeA(typeACard({0xAA}));
    odd.cardKind = 8;  // no such kind: left out
    auto tooLong = CardId::ofTypeA(typeACard({}));
    tooLong.typeA.uidLen = 99;  // a searcher's length is bounded by the record
    tooLong.typeA.uid.fill(0x5A);
    auto negative = CardId::ofTypeA(typeACard({0x01}));
    negative.typeA.uidLen = -3;

    const std::vector<CardId> cards{
        CardId::ofTypeA(typeACard({0x04, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6}, 0x0044, 0x00)),
        odd,
        CardId::ofTypeB(typeBCard(0x11)),
        CardId::ofIso15693(vicinityCard(0x08)),
        tooLong,
        negative};
    EXPECT_EQ(cardListJson(cards), json::parse(R"([
        {"rf_type": 1, "uid": "04A1B2C3D4E5F6", "atqa": 68, "sak": 0},
        {"rf_type": 2, "uid": "11223344", "application": "A1A2A3A4", "protocol": "817105"},
        {"rf_type": 4, "uid": "08070605040302E0", "dsfid": 31},
        {"rf_type": 1, "uid": "5A5A5A5A5A5A5A5A5A5A", "atqa": 4, "sak": 8},
        {"rf_type": 1, "uid": "", "atqa": 4, "sak": 8}
    ])"));
    EXPECT_EQ(cardListJson({}), json::array());
}
