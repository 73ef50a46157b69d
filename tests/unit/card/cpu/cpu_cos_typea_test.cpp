// The type A CPU card's life: activation by UID or by whoever answers, what it keeps and forgets,
// raw APDUs, and GET CHALLENGE.

#include "card/cpu/cpu_cos_typea.hpp"

#include <gtest/gtest.h>

#include "fake_typea_reader.hpp"

namespace {

const Bytes kUid = hexBytes("A1B2C3D4");

class CpuCosTypeATest : public testing::Test {
  protected:
    Bytes uid() const { return Bytes(card.uid().begin(), card.uid().end()); }
    Bytes ats() const { return Bytes(card.ats().begin(), card.ats().end()); }

    std::shared_ptr<FakeTypeAReader> reader = std::make_shared<FakeTypeAReader>();
    Orvane::CpuCosTypeA card{reader};
};

}  // namespace

TEST_F(CpuCosTypeATest, ActivationKeepsUidAndAts) {
    EXPECT_TRUE(card.activate(kUid.data(), 4));
    EXPECT_TRUE(card.isActive());
    EXPECT_EQ(reader->selectedUid, kUid);
    EXPECT_EQ(uid(), kUid);
    EXPECT_EQ(ats(), reader->ats);
    EXPECT_EQ(reader->deselects, 0);

    Orvane::TypeACardInfo info;
    reader->ats = hexBytes("05 72 80 40 02");
    EXPECT_TRUE(card.activateAny(info));
    EXPECT_EQ(reader->deselects, 1);  // the active card is let go first
    EXPECT_EQ(info.uidLen, 7);
    EXPECT_EQ(uid(), hexBytes("04A1B2C3D4E5F6"));
    EXPECT_EQ(ats(), hexBytes("05 72 80 40 02"));

    card.deactivate();
    EXPECT_FALSE(card.isActive());
    EXPECT_TRUE(uid().empty());
    EXPECT_TRUE(ats().empty());
    EXPECT_EQ(reader->deselects, 2);
}

TEST_F(CpuCosTypeATest, FailedActivationLeavesNoCard) {
    ASSERT_TRUE(card.activate(kUid.data(), 4));
    reader->selectSucceeds = false;
    EXPECT_FALSE(card.activate(kUid.data(), 4));
    EXPECT_EQ(reader->deselects, 1);
    EXPECT_FALSE(card.isActive());
    EXPECT_TRUE(uid().empty());
    EXPECT_TRUE(ats().empty());

    // A UID longer than a card can have never reaches the reader.
    reader->selectSucceeds = true;
    const Bytes tooLong(11, 0x11);
    const int calls = reader->selectCalls;
    EXPECT_FALSE(card.activate(tooLong.data(), 11));
    EXPECT_FALSE(card.activate(nullptr, 4));
    EXPECT_EQ(reader->selectCalls, calls);
}

TEST_F(CpuCosTypeATest, AnAtsLongerThanTheStoreIsNotKept) {
    reader->ats = Bytes(40, 0x11);
    EXPECT_TRUE(card.activate(kUid.data(), 4));
    EXPECT_TRUE(ats().empty());
}

TEST_F(CpuCosTypeATest, RawApduPassesBytesUnchangedOnlyToAnActiveCard) {
    const Bytes apdu = hexBytes("00A40400 07 A0000003330101 00");
    std::vector<std::uint8_t> response{1, 2, 3};
    EXPECT_FALSE(card.rawApdu(apdu, response));
    EXPECT_TRUE(response.empty());
    EXPECT_TRUE(reader->sent.empty());

    ASSERT_TRUE(card.activate(kUid.data(), 4));
    reader->reply("6F10 8407 A0000003330101 9000");
    EXPECT_TRUE(card.rawApdu(apdu, response));
    EXPECT_EQ(reader->sent.back(), apdu);
    EXPECT_EQ(response, hexBytes("6F10 8407 A0000003330101 9000"));

    reader->fail();
    EXPECT_FALSE(card.rawApdu(apdu, response));
    EXPECT_TRUE(response.empty());
    EXPECT_TRUE(card.isActive());  // an exchange failure does not end the activation
}

TEST_F(CpuCosTypeATest, GetChallengeTakesRandomBytesOnlyOfTheLengthAsked) {
    struct Case {
        bool shortForm;
        std::optional<std::string> reply;
        std::uint16_t sw;
        const char* out;
        const char* sent;
    };
    const Case cases[] = {
        {false, "1122334455667788 9000", 0x0090, "1122334455667788", "0084000008"},
        {true, "11223344 9000", 0x0090, "1122334400000000", "0084000004"},
        {false, "11223344 9000", 0x0090, "0000000000000000", "0084000008"},
        {true, "1122334455667788 9000", 0x0090, "0000000000000000", "0084000004"},
        {false, "6A81", 0x816A, "0000000000000000", "0084000008"},
        {false, "90", 0x0000, "0000000000000000", "0084000008"},
        {false, std::nullopt, 0xFFFF, "0000000000000000", "0084000008"},
    };
    ASSERT_TRUE(card.activate(kUid.data(), 4));
    for (const auto& c : cases) {
        reader->sent.clear();
        if (c.reply) {
            reader->reply(*c.reply);
        } else {
            reader->fail();
        }
        std::array<std::uint8_t, 8> out;
        out.fill(0xEE);
        EXPECT_EQ(card.getChallenge(out, c.shortForm), c.sw) << c.reply.value_or("failure");
        EXPECT_EQ(Bytes(out.begin(), out.end()), hexBytes(c.out)) << c.reply.value_or("failure");
        ASSERT_EQ(reader->sent.size(), 1u);
        EXPECT_EQ(reader->sent[0], hexBytes(c.sent));
    }

    card.deactivate();
    reader->sent.clear();
    std::array<std::uint8_t, 8> out{};
    EXPECT_EQ(card.getChallenge(out, false), 0xFFFF);
    EXPECT_TRUE(reader->sent.empty());
}
