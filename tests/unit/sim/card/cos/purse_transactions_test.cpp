// The PBOC electronic deposit / purse transactions of the simulated card, each computed by the test
// from the JR/T 0025 rules (purse_test_support.hpp): the balance moves by exactly the amount, the
// counter the transaction used goes up by one, and the TAC and MACs are what a host computes. A
// completion with a wrong MAC moves nothing.

#include "purse_test_support.hpp"

using namespace purse_test;

namespace {

constexpr std::uint32_t kEd = defaults::kEdBalance, kEp = defaults::kEpBalance;
constexpr auto kLoad = defaults::kLoadKey, kPurchase = defaults::kPurchaseKey, kUnload = defaults::kUnloadKey,
               kUpdate = defaults::kUpdateKey;

const Transaction kTransactions[] = {
    {"ED load", Flow::load, 0x00, 0x01, 0x01, 1000, kLoad, 0x02, kEd, kEd + 1000, true},
    {"EP load", Flow::load, 0x00, 0x02, 0x02, 500, kLoad, 0x02, kEp, kEp + 500, true},
    {"ED unload", Flow::unload, 0x05, 0x01, 0x03, 2000, kUnload, 0x03, kEd, kEd - 2000, true},
    {"ED purchase", Flow::purchase, 0x01, 0x01, 0x05, 300, kPurchase, 0x01, kEd, kEd - 300, true},
    {"EP purchase", Flow::purchase, 0x01, 0x02, 0x06, 250, kPurchase, 0x01, kEp, kEp - 250, false},
    {"EP purchase of it all", Flow::purchase, 0x01, 0x02, 0x06, kEp, kPurchase, 0x01, kEp, 0, false},
    {"ED cash withdrawal", Flow::purchase, 0x02, 0x01, 0x04, 1500, kPurchase, 0x01, kEd, kEd - 1500, true},
    {"EP compound purchase", Flow::purchase, 0x03, 0x02, 0x09, 100, kPurchase, 0x01, kEp, kEp - 100, false},
    {"ED compound purchase", Flow::purchase, 0x03, 0x01, 0x0A, 100, kPurchase, 0x01, kEd, kEd - 100, true},
    // The ED balance carries the overdraw credit (10000): it moves with the limit.
    {"ED limit raised", Flow::update, 0x04, 0x01, 0x07, 20000, kUpdate, 0x04, kEd, kEd + 10000, true},
    {"ED limit lowered", Flow::update, 0x04, 0x01, 0x07, 4000, kUpdate, 0x04, kEd, kEd - 6000, true},
};

}  // namespace

TEST_F(PurseTransactionTest, EachTransactionMovesExactlyItsAmountAndOnlyOnSuccess) {
    for (const Transaction& t : kTransactions) {
        SCOPED_TRACE(t.name);
        card = defaults::cos();
        selectPurseApp();
        if (t.pin) verifyPin();
        const std::uint16_t other = t.p2 == defaults::kEdId ? defaults::kEpId : defaults::kEdId;
        const Snapshot before = snapshot(t.p2), otherBefore = snapshot(other);

        const Completion spoilt = complete(t, initialize(t), true);
        EXPECT_EQ(hex(send(spoilt.command)), "9302");
        EXPECT_EQ(snapshot(t.p2), before) << "a wrong MAC moved the purse";
        EXPECT_EQ(prove(t.type, spoilt.counter), "9406");

        const Completion c = complete(t, initialize(t));
        EXPECT_EQ(c.counter, spoilt.counter) << "the failed attempt used up a counter value";
        EXPECT_EQ(hex(send(c.command)), hex(cat({c.answer, {0x90, 0x00}})));
        Snapshot expected = before;
        expected.balance = t.balanceAfter;
        if (t.flow == Flow::update) expected.limit = t.amount;
        (t.flow == Flow::purchase ? expected.offline : expected.online) += 1;
        EXPECT_EQ(snapshot(t.p2), expected);
        EXPECT_EQ(snapshot(other), otherBefore);
        EXPECT_EQ(prove(t.type, c.counter), hex(cat({c.proof, {0x90, 0x00}})));
        EXPECT_EQ(hex(send(cat({{0x80, 0x5C, 0x00, t.p2, 0x04}}))),
                  hex(cat({big(t.balanceAfter, 4), {0x90, 0x00}})));
        EXPECT_EQ(hex(send(c.command)), "6985") << "a second completion of one INITIALIZE";
    }
}

TEST_F(PurseTransactionTest, RefusalsLeaveThePursesAlone) {
    selectPurseApp();
    const Snapshot ed = snapshot(defaults::kEdId), ep = snapshot(defaults::kEpId);
    const Step steps[] = {
        {"805000010B01000003E8112233445566 10", "6982", "an ED load before VERIFY"},
        {"805000020B01000003E8112233445566 10", "6982", "an EP load before VERIFY"},
        {"805C000104", "6982", "the ED balance before VERIFY"},
        {"805C000204", "00002710 9000", "the EP balance goes without"},
        {"805001020B01 00002711 112233445566 0F", "9401", "an EP purchase above the balance"},
        {"805001020B03 00000001 112233445566 0F", "9403", "purchase key index 03"},
        {"805002020B01 00000001 112233445566 0F", "6A86", "no cash withdrawal from the EP"},
        {"805006010B01 00000001 112233445566 0F", "6A86", "no transaction 06"},
        {"805001020A01 00000001 1122334455 0F", "6700", "INITIALIZE one byte short"},
        {"805200000B 20240229235959 00000000 04", "6985", "CREDIT FOR LOAD without INITIALIZE"},
        {"805401000F 0000ABCD 20240229235959 00000000 08", "6985", "DEBIT without INITIALIZE"},
        {"805A000602 0007 08", "9406", "no transaction to prove"},
        {"805A000601 07 08", "6700", "a one-byte counter"},
        {"805C000304", "6A86", "no purse 03"},
        {"0020000003 888888", "9000", "VERIFY"},
        {"805005010B01 0000C351 112233445566 10", "9401", "an unload above the ED balance"},
        {"805000020B01 FFFFD8F0 112233445566 10", "6985", "an EP load past FFFFFFFF"},
        {"805004010601 1122334455 13", "6700", "INITIALIZE FOR UPDATE one byte short"},
    };
    run(steps);
    EXPECT_EQ(snapshot(defaults::kEdId), ed);
    EXPECT_EQ(snapshot(defaults::kEpId), ep);
}

TEST_F(PurseTransactionTest, AnInitializeServesOnlyTheCommandRightAfterIt) {
    const Transaction& purchase = kTransactions[4];  // EP purchase, no PIN
    const Transaction& load = kTransactions[1];      // EP load
    selectPurseApp();
    verifyPin();
    const Snapshot ep = snapshot(defaults::kEpId);
    // Another command in between cancels it.
    Completion c = complete(purchase, initialize(purchase));
    EXPECT_EQ(sendHex("805C000204"), "000027109000");
    EXPECT_EQ(hex(send(c.command)), "6985");
    // A completion of the wrong kind uses it up.
    c = complete(load, initialize(load));
    EXPECT_EQ(sendHex("805401000F 0000ABCD 20240229235959 00000000 08"), "6985") << "a DEBIT after a load";
    EXPECT_EQ(hex(send(c.command)), "6985");
    // A malformed completion too.
    c = complete(load, initialize(load));
    EXPECT_EQ(sendHex("805200000A 20240229235959 000000 04"), "6700");
    EXPECT_EQ(hex(send(c.command)), "6985");
    EXPECT_EQ(snapshot(defaults::kEpId), ep);
}

TEST_F(PurseTransactionTest, EdgesOfBalancesAndCounters) {
    selectPurseApp();
    verifyPin();
    // An EP purchase with its offline counter at FFFF: 9402.
    purse(defaults::kEpId).offlineCounter = 0xFFFF;
    EXPECT_EQ(sendHex("805001020B01 00000001 112233445566 0F"), "9402");
    // Lowering the limit below what is left of the overdraw credit: 9401 after MAC2, nothing moves.
    purse(defaults::kEdId).balance = 3000;
    const Transaction lower{"ED limit to 0",      Flow::update, 0x04, 0x01, 0x07, 0,
                            defaults::kUpdateKey, 0x04,         3000, 0,    true};
    const Snapshot ed = snapshot(defaults::kEdId);
    EXPECT_EQ(hex(send(complete(lower, initialize(lower)).command)), "9401");
    EXPECT_EQ(snapshot(defaults::kEdId), ed);
}

TEST_F(PurseTransactionTest, TransactionProveKeepsTheLastTransactionOfEachPurse) {
    const Transaction& purchase = kTransactions[4];  // EP purchase of 250
    Transaction second = purchase;
    second.balanceBefore = purchase.balanceAfter;
    second.balanceAfter = purchase.balanceAfter - 250;
    selectPurseApp();
    const Completion first = complete(purchase, initialize(purchase));
    ASSERT_EQ(hex(send(first.command)), hex(cat({first.answer, {0x90, 0x00}})));
    const Completion next = complete(second, initialize(second));
    ASSERT_EQ(hex(send(next.command)), hex(cat({next.answer, {0x90, 0x00}})));
    EXPECT_EQ(next.counter, first.counter + 1);
    EXPECT_EQ(prove(0x06, next.counter), hex(cat({next.proof, {0x90, 0x00}})));
    EXPECT_EQ(prove(0x06, first.counter), "9406") << "only the last one is kept";
    EXPECT_EQ(prove(0x05, next.counter), "9406") << "another type";
}

TEST_F(PurseTransactionTest, CompoundPurchaseWritesItsCacheOnlyWhenItSucceeds) {
    const Transaction& capp = kTransactions[7];  // EP compound purchase
    selectPurseApp();
    EXPECT_EQ(sendHex("80DC01BC10 11111111111111111111111111111111"), "6985") << "no compound purchase";

    // A failed DEBIT drops what was cached.
    Completion c = complete(capp, initialize(capp), true);
    EXPECT_EQ(sendHex("80DC01BC10 11111111111111111111111111111111"), "9000");
    EXPECT_EQ(hex(send(c.command)), "9302");
    const auto& records = static_cast<rfsim::cos::RecordEf*>(app().child(defaults::kCappId))->records;
    EXPECT_EQ(hex(records[0]), std::string(32, '0'));

    c = complete(capp, initialize(capp));
    const Step cache[] = {
        {"80DC01BC11 2222222222222222222222222222222222", "6700", "17 bytes for a 16-byte record"},
        {"80DC04BC10 22222222222222222222222222222222", "6A83", "no record 4"},
        {"80DC01B410 22222222222222222222222222222222", "6A82", "no SFI 16"},
        {"80DC01BC10 22222222222222222222222222222222", "9000", "record 1, plain"},
    };
    run(cache);
    // Record 2 with a MAC under the application maintenance key; the challenge does not end the session.
    const Bytes record2(16, 0x33);
    EXPECT_EQ(hex(send(withMac(kMaintenanceKey, hexBytes("80DC02BC"), record2))), "9000");
    EXPECT_EQ(hex(send(c.command)), hex(cat({c.answer, {0x90, 0x00}})));
    EXPECT_EQ(hex(records[0]), std::string(32, '2'));
    EXPECT_EQ(hex(records[1]), std::string(32, '3'));
    EXPECT_EQ(hex(records[2]), std::string(32, '0'));
    EXPECT_EQ(purse(defaults::kEpId).balance, capp.balanceAfter);
}

TEST_F(PurseTransactionTest, CutOrStretchedCommandsGetAStatusAndMoveNothing) {
    // Each command after the INITIALIZE that makes it meaningful, cut at every length and stretched
    // by a byte; the MACs are zeros, so nothing may move.
    const std::pair<const char*, const char*> commands[] = {
        {"805000020B01000003E8112233445566 10", "805200000B 20240229235959 00000000 04"},
        {"805005010B01000003E8112233445566 10", "805403000B 20240229235959 00000000 04"},
        {"805001020B0100000001112233445566 0F", "805401000F 0000ABCD 20240229235959 00000000 08"},
        {"805004010701112233445566 13", "805800000E 004E20 20240229235959 00000000 04"},
        {"805003020B0100000001112233445566 0F", "80DC01BC10 22222222222222222222222222222222"},
        {"", "805E010007 888888FF123456"},
        {"", "805E000007 123456 00000000"},
        {"", "805A000602 0007 08"},
        {"", "805C000204"},
    };
    const Snapshot ed = snapshot(defaults::kEdId), ep = snapshot(defaults::kEpId);
    for (const auto& [initialize, command] : commands) {
        const Bytes full = hexBytes(command);
        for (std::size_t length = 0; length <= full.size() + 1; ++length) {
            card = defaults::cos();
            selectPurseApp();
            verifyPin();
            if (*initialize) send(hexBytes(initialize));
            Bytes apdu(full.begin(), full.begin() + std::min(length, full.size()));
            if (length > full.size()) apdu.push_back(0x00);
            EXPECT_GE(send(apdu).size(), 2u) << hex(apdu);
            EXPECT_EQ(snapshot(defaults::kEdId), ed) << hex(apdu);
            EXPECT_EQ(snapshot(defaults::kEpId), ep) << hex(apdu);
        }
    }
}
