// Several cards in one field: superposed answers, the bit-frame anticollision, and cards that
// come and go while a reader talks to the field.

#include "sim/field/virtual_field.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "family_frames.hpp"
#include "sim/card/mifare_classic_card.hpp"
#include "sim/field/type_a_commands.hpp"
#include "sim/firmware/va_firmware.hpp"

using rfsim::CardState;

namespace {

Bytes part(const std::optional<rfsim::LevelBytes>& bytes) {
    return bytes ? Bytes(bytes->begin(), bytes->begin() + 4) : Bytes{};
}

}  // namespace

TEST(Anticollision, TheReaderFollowsTheOnesInAirOrder) {
    struct Case {
        std::string a, b;
        bool aWins;
    };
    const Case cases[] = {
        {"03020304", "01020304", true},  // first difference in bit 1 of byte 0
        {"01020304", "02020304", true},  // bit 0 of byte 0 travels first
        {"80000000", "00000001", true},  // byte 0 before byte 3
        {"01020304", "01020304", false},
    };
    for (const auto& c : cases) {
        const auto a = rfsim::uidLevel(hexBytes(c.a), 0), b = rfsim::uidLevel(hexBytes(c.b), 0);
        EXPECT_EQ(rfsim::winsAnticollision(a, b), c.aWins) << c.a << " vs " << c.b;
    }
}

TEST(VirtualFieldCards, OneCardPerSelectionTheOthersWaitForTheNextRequest) {
    rfsim::VirtualField field;
    const auto c1 = rfsim::makeMifare1K(hexBytes("01020304"));
    const auto c2 = rfsim::makeMifare1K(hexBytes("02020304"));
    const auto c3 = rfsim::makeMifare4K(hexBytes("04112233445566"));  // ATQA 0x0042
    for (const auto& card : {c1, c2, c3})
        ASSERT_TRUE(field.place(card));

    EXPECT_EQ(field.request(false), 0x0046);  // 0x0004 | 0x0042
    // Level 1 of the double UID is 88 04 11 22: the leading 0x88 loses at bit 0 to 0x01 (the ones
    // win), so the first single UID wins; repeating the loop finds the same card.
    EXPECT_EQ(part(field.anticollision(0)), hexBytes("01020304"));
    EXPECT_EQ(part(field.anticollision(0)), hexBytes("01020304"));
    EXPECT_EQ(field.select(0, c1->levelBytes(0)), 0x08);
    EXPECT_EQ(c2->state(), CardState::idle);
    EXPECT_EQ(c3->state(), CardState::idle);
    field.halt();
    EXPECT_FALSE(field.anticollision(0));  // nobody is READY any more

    // The next request reaches the two idle cards; the halted one stays out.
    EXPECT_EQ(field.request(false), 0x0046);
    EXPECT_EQ(part(field.anticollision(0)), hexBytes("02020304"));
    field.select(0, c2->levelBytes(0));
    field.halt();
    EXPECT_EQ(field.request(false), 0x0042);
    EXPECT_EQ(part(field.anticollision(0)), hexBytes("88041122"));
    EXPECT_EQ(field.select(0, c3->levelBytes(0)), rfsim::kSakCascade);
    EXPECT_EQ(part(field.anticollision(1)), hexBytes("33445566"));
    EXPECT_EQ(field.select(1, c3->levelBytes(1)), 0x18);
    EXPECT_EQ(field.activeCard(), c3);
    field.halt();
    EXPECT_FALSE(field.request(false));
    EXPECT_EQ(field.request(true), 0x0046);  // WUPA wakes all three
}

TEST(VirtualFieldCards, ARemovedCardLosesItsStateAndComesBackIdle) {
    rfsim::VirtualField field;
    const auto card = rfsim::makeMifare1K(hexBytes("01020304"));
    ASSERT_TRUE(field.place(card));
    EXPECT_FALSE(field.place(rfsim::makeMifare1K(hexBytes("01020304"))));  // same UID
    field.request(false);
    field.select(0, card->levelBytes(0));
    field.halt();
    EXPECT_EQ(card->state(), CardState::halt);

    EXPECT_TRUE(field.remove(hexBytes("01020304")));
    EXPECT_FALSE(field.remove(hexBytes("01020304")));
    EXPECT_FALSE(field.request(true));
    ASSERT_TRUE(field.place(card));
    EXPECT_EQ(field.request(false), 0x0004);  // IDLE again, not HALT
    field.powerCycle();
    EXPECT_EQ(card->state(), CardState::idle);
}

TEST(VirtualFieldCards, HoldsAtMostKMaxCards) {
    rfsim::VirtualField field;
    auto uidOf = [](std::size_t i) {
        return Bytes{0x20, 0x00, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)};
    };
    for (std::size_t i = 0; i < rfsim::VirtualField::kMaxCards; ++i)
        ASSERT_EQ(field.placeCard(rfsim::makeMifare1K(uidOf(i))), rfsim::Placement::placed) << i;
    const auto extra = rfsim::makeMifare1K(uidOf(rfsim::VirtualField::kMaxCards));
    EXPECT_EQ(field.placeCard(extra), rfsim::Placement::full);
    EXPECT_FALSE(field.place(extra));
    // A taken UID is told apart from a full field.
    EXPECT_EQ(field.placeCard(rfsim::makeMifare1K(uidOf(0))), rfsim::Placement::uidTaken);
    EXPECT_EQ(field.placeCard(nullptr), rfsim::Placement::noCard);
    EXPECT_EQ(field.cards().size(), rfsim::VirtualField::kMaxCards);
    // Room again once a card is taken off.
    ASSERT_TRUE(field.remove(uidOf(5)));
    EXPECT_EQ(field.placeCard(extra), rfsim::Placement::placed);
    EXPECT_EQ(field.request(true), 0x0004);  // every card still answers
}

// A reader thread selects and reads while the test moves the card on and off the field and looks
// at its memory: every answer is a whole answer, success or "no card".
TEST(VirtualFieldCards, CardsMoveWhileAReaderTalksToTheField) {
    using namespace family_frames;
    auto reader = std::make_shared<rfsim::VirtualReader>(std::make_unique<rfsim::VaFirmware>());
    const auto field = std::make_shared<rfsim::VirtualField>();
    ASSERT_TRUE(rfsim::attachField(*reader, field));
    const auto card = rfsim::makeMifare1K(hexBytes("01020304"));

    std::atomic<bool> done{false};
    std::thread host([&] {
        const Bytes frames[] = {va(0x2D),
                                va(0x12),
                                va(0x13),
                                va(0x14),
                                va(0x17, hexBytes("60 04 FFFFFFFFFFFF")),
                                va(0x18, hexBytes("04"))};
        for (int round = 0; round < 300; ++round) {
            for (const Bytes& frame : frames) {
                const Answer answer = vaAnswer(reader->receive(frame, true));
                EXPECT_TRUE(answer.status == 0 || answer.status == rfsim::kStatusNoCard ||
                            answer.status == rfsim::kStatusAuthFailed ||
                            answer.status == rfsim::kStatusCardRefused)
                    << int(answer.status);
            }
        }
        done = true;
    });
    while (!done) {
        field->place(card);
        std::this_thread::yield();
        EXPECT_EQ(card->block(4), rfsim::MifareClassicCard::Block{});
        field->remove(card->uid());
    }
    host.join();
    EXPECT_GE(reader->state().framesAnswered, 1800);
}
