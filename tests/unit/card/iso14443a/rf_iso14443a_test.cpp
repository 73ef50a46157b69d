// The type A searcher on a simulated reader of each family: the mode it needs, the card state it
// resets, listing with halts and limits, activation and its release.

#include "card/iso14443a/rf_iso14443a.hpp"

#include <gtest/gtest.h>

#include "crypto/std_buf.hpp"
#include "scripted_card.hpp"
#include "support/sim_readers.hpp"

using Orvane::TypeACardInfo;
using Codes = std::vector<std::uint8_t>;

namespace {

// How a family carries the type A steps.
struct Family {
    const char* name;
    std::uint8_t type;
    std::uint8_t request, anticollision, select, halt;
    const char* sak;  // a select reply carrying SAK 08
    Codes deselect;   // what a release sends
};

const Family kFamilies[] = {
    {"VD", kReaderVdHid, 0x41, 0x42, 0x43, 0x45, "08", {0x5C}},
    {"VA", kReaderVaHid, 0x12, 0x13, 0x14, 0x11, "0800", {}},
    {"VC", kReaderVcCh9326, 0x46, 0x47, 0x48, 0x29, "08", {0x6B}},
};

void PrintTo(const Family& f, std::ostream* os) {
    *os << f.name;
}

class TypeAOnReader : public testing::TestWithParam<Family> {
  protected:
    void SetUp() override {
        reader->setType(GetParam().type);
        ASSERT_TRUE(reader->open(false));
        ASSERT_TRUE(reader->setProtocol(Orvane::rf_mode::kIso14443A, false));
        card.mark();
    }

    // Cards answering anticollision in turn; request and select always succeed.
    void cardsInField(std::vector<std::string> uids) {
        const Family& f = GetParam();
        card.always(f.request, ok("0400"));
        std::vector<Answer> answers;
        for (auto& uid : uids)
            answers.push_back(ok(uid));
        card.script(f.anticollision, answers);
        card.always(f.select, ok(f.sak));
    }

    SimReaders sim;
    rfsim::VirtualReader& virtualReader = *sim.add(GetParam().type).reader;
    std::shared_ptr<RfReader> reader = std::make_shared<RfReader>(sim.bus);
    RfIso14443A typeA{reader};
    ScriptedCard card{virtualReader};
};

}  // namespace

TEST_P(TypeAOnReader, ListsCardsHaltingEach) {
    const Family& f = GetParam();
    cardsInField({"01020304", "05060708", "090A0B0C"});
    card.always(f.halt, ok());
    reader->setAuthSector(7);

    std::vector<TypeACardInfo> cards(1);  // appended to
    EXPECT_EQ(typeA.findCards(cards, 0), 3);
    ASSERT_EQ(cards.size(), 4u);
    EXPECT_EQ(cards[3].uid[0], 0x09);
    EXPECT_EQ(cards[3].uidLen, 4);
    EXPECT_EQ(cards[3].atqa, 0x0004);
    EXPECT_EQ(cards[3].sak, 0x08);
    EXPECT_EQ(reader->authSector(), 255);
    const auto a = f.anticollision, s = f.select, h = f.halt;
    EXPECT_EQ(card.commandsSinceMark(), (Codes{f.request, a, s, h, a, s, h, a, s, h, a}));
}

TEST_P(TypeAOnReader, ListingStopsAtTheLimitAndAtAFailedHalt) {
    const Family& f = GetParam();
    cardsInField({"01020304", "05060708", "090A0B0C"});
    card.script(f.halt, {ok()});
    std::vector<TypeACardInfo> cards;
    EXPECT_EQ(typeA.findCards(cards, 3), 2);  // the second halt is refused but its card counts
    card.mark();
    cardsInField({"01020304"});
    card.always(f.halt, ok());
    EXPECT_EQ(typeA.findCards(cards, 1), 1);
    EXPECT_EQ(card.commandsSinceMark(), (Codes{f.request, f.anticollision, f.select, f.halt}));

    // No answer to the request: nothing to list.
    card.always(f.request, {0x01, ""});
    EXPECT_EQ(typeA.findCards(cards, 0), 0);
    EXPECT_EQ(cards.size(), 3u);
}

TEST_P(TypeAOnReader, AReaderThatNeverRunsOutOfCardsIsNotBelieved) {
    const Family& f = GetParam();
    card.always(f.request, ok("0400"));
    card.always(f.anticollision, ok("01020304"));
    card.always(f.select, ok(f.sak));
    card.always(f.halt, ok());
    std::vector<TypeACardInfo> cards;
    EXPECT_EQ(typeA.findCards(cards, 0), RfIso14443A::kMaxCardsPerSearch);
    EXPECT_EQ(typeA.findCards(cards, 1000), RfIso14443A::kMaxCardsPerSearch);
}

TEST_P(TypeAOnReader, SelectAnyWakesTheCardAndRemembersItsLevelOneBytes) {
    const Family& f = GetParam();
    cardsInField({"0A0B0C0D"});
    reader->setAuthSector(3);
    TypeACardInfo info;
    EXPECT_TRUE(typeA.selectAny(info, false));
    EXPECT_EQ(info.uidLen, 4);
    EXPECT_EQ(info.sak, 0x08);
    EXPECT_EQ(typeA.cl1Uid(), (std::array<std::uint8_t, 4>{0x0A, 0x0B, 0x0C, 0x0D}));
    EXPECT_EQ(reader->authSector(), 255);
    EXPECT_FALSE(typeA.iso4Active());
    // The VA wake-up is a field reset before the request.
    const Codes expected = f.type == kReaderVaHid ? Codes{0x2D, f.request, f.anticollision, f.select}
                                                  : Codes{f.request, f.anticollision, f.select};
    EXPECT_EQ(card.commandsSinceMark(), expected);
    EXPECT_EQ(card.sent().front(), f.type == kReaderVdHid      ? "41 1000000000 01"
                                   : f.type == kReaderVcCh9326 ? "46 52"
                                                               : "12");
}

TEST_P(TypeAOnReader, ActivationAndItsRelease) {
    const Family& f = GetParam();
    cardsInField({"0A0B0C0D", "0A0B0C0D"});
    card.always(0x5A, ok("0578807002"));          // VD RATS
    card.always(0x53, ok("0A0B0C0D0578807002"));  // VC activation
    card.always(f.halt, ok());
    for (std::uint8_t c : f.deselect)
        card.always(c, ok());

    TypeACardInfo info;
    Orvane::StdBuf ats;
    if (f.type == kReaderVaHid) {
        // The VA readers cannot activate: nothing is sent.
        EXPECT_FALSE(typeA.selectAny(info, true, &ats));
        EXPECT_FALSE(typeA.selectUid(info.uid.data(), 4, true, &ats));
        EXPECT_TRUE(card.commandsSinceMark().empty());
        EXPECT_TRUE(typeA.deselect());
        EXPECT_TRUE(card.commandsSinceMark().empty());
        return;
    }
    EXPECT_TRUE(typeA.selectAny(info, true, &ats));
    EXPECT_TRUE(typeA.iso4Active());
    EXPECT_EQ(Bytes(ats.data(), ats.data() + ats.size()), hexBytes("0578807002"));

    // Listing releases the activated card first, once.
    card.mark();
    std::vector<TypeACardInfo> cards;
    EXPECT_EQ(typeA.findCards(cards, 1), 1);
    EXPECT_FALSE(typeA.iso4Active());
    Codes expected = f.deselect;
    expected.insert(expected.end(), {f.request, f.anticollision, f.select, f.halt});
    EXPECT_EQ(card.commandsSinceMark(), expected);
}

TEST_P(TypeAOnReader, NothingIsSentInAnotherMode) {
    if (GetParam().type == kReaderVaHid) {
        EXPECT_FALSE(reader->setProtocol(Orvane::rf_mode::kIso15693, true));  // ISO 14443-A only
        return;
    }
    ASSERT_TRUE(reader->setProtocol(Orvane::rf_mode::kIso15693, true));
    card.mark();
    std::vector<TypeACardInfo> cards;
    TypeACardInfo info;
    Orvane::StdBuf response;
    const std::uint8_t uid[] = {1, 2, 3, 4};
    EXPECT_EQ(typeA.findCards(cards, 0), -1);
    EXPECT_FALSE(typeA.selectAny(info, false));
    EXPECT_FALSE(typeA.selectUid(uid, 4, false));
    EXPECT_FALSE(typeA.rawExchange(uid, 4, response));
    EXPECT_FALSE(typeA.deselect());
    EXPECT_TRUE(card.commandsSinceMark().empty());
    EXPECT_EQ(reader->rfMode(), Orvane::rf_mode::kIso15693);
}

TEST_P(TypeAOnReader, SelectUidTakesOnlyWholeUidLengths) {
    const std::uint8_t uid[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    for (int length : {-1, 0, 3, 5, 8, 11}) {
        EXPECT_FALSE(typeA.selectUid(uid, length, false)) << length;
    }
    EXPECT_FALSE(typeA.selectUid(nullptr, 4, false));
    EXPECT_TRUE(card.commandsSinceMark().empty());
}

INSTANTIATE_TEST_SUITE_P(Families, TypeAOnReader, testing::ValuesIn(kFamilies),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TypeAWithoutReader, EveryOperationFailsForAnUnknownType) {
    SimReaders sim;
    auto reader = std::make_shared<RfReader>(sim.bus);
    reader->setType(7);
    RfIso14443A typeA(reader);
    std::vector<TypeACardInfo> cards;
    TypeACardInfo info;
    EXPECT_EQ(typeA.findCards(cards, 0), -1);
    EXPECT_FALSE(typeA.selectAny(info, false));
    EXPECT_FALSE(typeA.deselect());
}
