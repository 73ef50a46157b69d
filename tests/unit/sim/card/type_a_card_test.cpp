// The ISO/IEC 14443-3 type A state machine of the simulated cards.

#include "sim/card/type_a_card.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "sim/card/iso4_card.hpp"
#include "sim/card/mifare_classic_card.hpp"
#include "support/hex_bytes.hpp"

using rfsim::CardState;

namespace {

// Sends the frames named in `steps` to the card; true when the last one was answered.
bool run(rfsim::TypeACard& card, const std::string& steps) {
    std::istringstream in(steps);
    std::string step;
    bool answered = false;
    const rfsim::LevelBytes other = rfsim::uidLevel(hexBytes("0A0B0C0D"), 0);
    while (in >> step) {
        if (step == "REQA")
            answered = card.request(false).has_value();
        else if (step == "WUPA")
            answered = card.request(true).has_value();
        else if (step == "AC")
            answered = card.anticollision(0).has_value();
        else if (step == "SEL")
            answered = card.select(0, card.levelBytes(0)).has_value();
        else if (step == "SEL-OTHER")
            answered = card.select(0, other).has_value();
        else if (step == "HLTA")
            card.halt(), answered = false;
        else if (step == "RATS")
            answered = card.rats().has_value();
        else if (step == "OFF")
            card.powerOff(), answered = false;
        else
            ADD_FAILURE() << "unknown step " << step;
    }
    return answered;
}

}  // namespace

TEST(TypeACardStates, FollowTheStateDiagram) {
    struct Case {
        std::string steps;
        bool lastAnswered;
        CardState state;
    };
    const Case cases[] = {
        {"REQA", true, CardState::ready},
        {"WUPA", true, CardState::ready},
        {"REQA AC", true, CardState::ready},
        {"REQA SEL", true, CardState::active},
        {"REQA AC SEL", true, CardState::active},
        // Unselected cards leave READY (MF1S50yyX 8.2.3).
        {"REQA SEL-OTHER", false, CardState::idle},
        {"REQA REQA", false, CardState::idle},
        {"REQA SEL HLTA", false, CardState::halt},
        {"REQA SEL HLTA REQA", false, CardState::halt},
        {"REQA SEL HLTA WUPA", true, CardState::ready},
        // An unexpected frame sends an ACTIVE card back where it was woken from.
        {"REQA SEL REQA", false, CardState::idle},
        {"REQA SEL RATS", false, CardState::idle},
        {"REQA SEL HLTA WUPA SEL REQA", false, CardState::halt},
        {"REQA SEL HLTA WUPA SEL-OTHER", false, CardState::halt},
        {"REQA SEL HLTA OFF REQA", true, CardState::ready},
        {"AC", false, CardState::idle},
        {"SEL", false, CardState::idle},
    };
    for (const auto& c : cases) {
        const auto card = rfsim::makeMifare1K(hexBytes("01020304"));
        EXPECT_EQ(run(*card, c.steps), c.lastAnswered) << c.steps;
        EXPECT_EQ(card->state(), c.state) << c.steps;
    }
}

TEST(TypeACardStates, ResolveDoubleAndTripleUidsLevelByLevel) {
    struct Case {
        std::string uid;
        std::vector<std::string> levels;  // UID part and BCC per cascade level
    };
    const Case cases[] = {
        {"01020304", {"01020304 04"}},
        {"04112233445566", {"88041122 BF", "33445566 44"}},
        {"04112233445566778899", {"88041122 BF", "88334455 AA", "66778899 00"}},
    };
    for (const auto& c : cases) {
        const auto card = rfsim::makeMifare1K(hexBytes(c.uid));
        ASSERT_EQ(card->request(false), card->atqa());
        for (std::size_t level = 0; level < c.levels.size(); ++level) {
            const int l = static_cast<int>(level);
            const auto bytes = card->anticollision(l);
            ASSERT_TRUE(bytes) << c.uid << " level " << level;
            EXPECT_EQ(Bytes(bytes->begin(), bytes->end()), hexBytes(c.levels[level])) << c.uid;
            const bool last = level + 1 == c.levels.size();
            EXPECT_EQ(card->select(l, *bytes), last ? card->sak() : rfsim::kSakCascade) << c.uid;
        }
        EXPECT_EQ(card->state(), CardState::active) << c.uid;
    }
}

TEST(TypeACardStates, AFrameForAnotherCascadeLevelIsUnexpected) {
    const auto card = rfsim::makeMifare1K(hexBytes("04112233445566"));
    card->request(false);
    EXPECT_FALSE(card->anticollision(1));
    EXPECT_EQ(card->state(), CardState::idle);
    card->request(false);
    ASSERT_TRUE(card->select(0, card->levelBytes(0)));
    EXPECT_FALSE(card->select(0, card->levelBytes(0)));  // level 1 is done
    EXPECT_EQ(card->state(), CardState::idle);
}

TEST(Iso4CardSession, OpensWithRatsAndEndsInHaltOnDeselect) {
    const auto card = rfsim::makeIso4Card(hexBytes("08A1B2C3"), hexBytes("0575778102"),
                                          [](std::span<const std::uint8_t> apdu) {
                                              Bytes response(apdu.begin(), apdu.end());
                                              response.insert(response.end(), {0x90, 0x00});
                                              return response;
                                          });
    EXPECT_EQ(card->sak(), 0x20);
    EXPECT_FALSE(card->exchangeApdu(hexBytes("00A4")));  // not ACTIVE
    run(*card, "WUPA SEL");
    EXPECT_FALSE(card->exchangeApdu(hexBytes("00A4")));  // no session yet: back to IDLE
    EXPECT_EQ(card->state(), CardState::idle);
    run(*card, "WUPA SEL");
    EXPECT_EQ(card->rats(), hexBytes("0575778102"));
    EXPECT_EQ(card->exchangeApdu(hexBytes("00A4")), hexBytes("00A49000"));
    EXPECT_TRUE(card->deselect());
    EXPECT_EQ(card->state(), CardState::halt);
    EXPECT_FALSE(card->layer4());
}
