// The e-purse commands (1000-1010) over a real WebSocket session against the simulated card's
// PBOC application: each kind of two-step transaction goes through with the card's TAC (or MAC)
// equal to the one step one precomputed and the balance moved by the amount exactly; proofs, PINs,
// blocking, the commands as the card received them, and what is refused.

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>

#include "cpu_card_session.hpp"

using nlohmann::json;
using namespace std::chrono_literals;
using cpu_session::cpu;
using cpu_session::desKey;
using cpu_session::kOk;

namespace {

// The default card's purse application and its keys.
const std::string kPurseAid = "A00000000386980701";
const std::string kPurchaseKey = "808182838485868788898A8B8C8D8E8F";  // index 01
const std::string kLoadKey = "909192939495969798999A9B9C9D9E9F";      // index 01
const std::string kUnloadKey = "A0A1A2A3A4A5A6A7A8A9AAABACADAEAF";    // index 01
const std::string kUpdateKey = "B0B1B2B3B4B5B6B7B8B9BABBBCBDBEBF";    // index 01
const std::string kTacKey = "C0C1C2C3C4C5C6C70F1E2D3C4B5A6978";
const std::string kMaintenanceKey = "707172737475767778797A7B7C7D7E7F";
const std::string kTerminal = "112233445566";
constexpr int kEd = 1, kEp = 2;
constexpr int kInsufficient = 0x0194;  // 94 01
constexpr int kMac1Mismatch = 0x8869;  // 69 88
constexpr int kBadParam = 0x866A;      // 6A 86

json order(std::uint32_t money, std::uint32_t times = 0) {
    return {{"number", kTerminal}, {"money", money}, {"times", times}};
}

class PurseService : public cpu_session::CpuCardSession {
  protected:
    void SetUp() override {
        CpuCardSession::SetUp();
        ASSERT_EQ(status(801, cpu({{"fid", 0}, {"aid", kPurseAid}})), kOk);
        // The deposit's commands need the application PIN.
        ASSERT_EQ(status(803, cpu({{"id", 0}, {"pin", "888888"}})), kOk);
    }

    std::int64_t balance(int purse) {
        const json reply = call(1006, cpu({{"type", purse}}));
        EXPECT_EQ(reply.value("retval", -1), kOk) << reply.dump();
        return reply.value("money", -1LL);
    }

    json stepOne(int type, const std::string& key, std::uint32_t money, bool withTac = true,
                 std::uint32_t times = 0) {
        json request =
            cpu({{"type", type}, {"id", 1}, {"key", desKey(key)}, {"orderData", order(money, times)}});
        if (withTac) request["keyTac"] = desKey(kTacKey);
        return call(1008, std::move(request));
    }

    json stepTwo(const json& first) { return call(1009, cpu({{"orderData", first["orderData"]}})); }
};

}  // namespace

TEST_F(PurseService, EveryTransactionMovesTheBalanceByTheAmountAndTheCardsTacIsTheOneForeseen) {
    struct Case {
        const char* name;
        int type;
        int purse;
        const std::string& key;
        std::uint32_t money;
        std::int64_t moved;  // of the balance
        bool macNotTac;      // an unload answers a MAC
    };
    const Case cases[] = {
        {"LoadEd", 1, kEd, kLoadKey, 1500, 1500, false},
        {"LoadEp", 2, kEp, kLoadKey, 1000, 1000, false},
        {"Unload", 3, kEd, kUnloadKey, 2000, -2000, true},
        {"CashWithdrawal", 4, kEd, kPurchaseKey, 700, -700, false},
        {"PurchaseEd", 5, kEd, kPurchaseKey, 250, -250, false},
        {"PurchaseEp", 6, kEp, kPurchaseKey, 300, -300, false},
        {"LimitUpdate", 7, kEd, kUpdateKey, 20000, 10000, false},  // limit 10000 -> 20000
        {"CompoundPurchaseEp", 9, kEp, kPurchaseKey, 120, -120, false},
        {"CompoundPurchaseEd", 10, kEd, kPurchaseKey, 80, -80, false},
    };
    for (const auto& c : cases) {
        const std::int64_t before = balance(c.purse);
        const json first = stepOne(c.type, c.key, c.money);
        ASSERT_EQ(first.value("err", -1), 0) << c.name << first.dump();
        ASSERT_EQ(first.value("retval", -1), kOk) << c.name << first.dump();
        const json& req = first["orderData"]["REQ"];
        EXPECT_EQ(req["oldBalance"], before) << c.name;
        EXPECT_EQ(req["newBalance"], before + c.moved) << c.name;
        const json second = stepTwo(first);
        ASSERT_EQ(second.value("retval", -1), kOk) << c.name << second.dump();
        const json& commit = second["orderData"]["Commit"];
        if (c.macNotTac) {
            EXPECT_EQ(commit["mac"], req["mac"]) << c.name;
            EXPECT_NE(req["mac"], 0) << c.name;
        } else {
            EXPECT_EQ(commit["tac"], req["tac"]) << c.name;
            EXPECT_NE(req["tac"], 0) << c.name;
        }
        if (c.type >= 4 && c.type != 7) {
            EXPECT_EQ(commit["mac"], req["mac"]) << c.name << ": MAC2 of the amount";
        }
        EXPECT_EQ(balance(c.purse), before + c.moved) << c.name;
    }
}

TEST_F(PurseService, AProofOfTheLastTransactionAndTheSameDateAndTimeInStepTwo) {
    const auto start = static_cast<std::uint32_t>(std::time(nullptr));
    const json first = stepOne(6, kPurchaseKey, 300, true, 0);
    ASSERT_EQ(first.value("retval", -1), kOk) << first.dump();
    const json& data = first["orderData"];
    const std::uint32_t times = data["times"];
    EXPECT_GE(times, start) << "times 0 is now";
    EXPECT_LE(times, start + 5);
    // bcdTime is the local time of the times returned.
    const std::time_t t = times;
    std::tm local{};
    localtime_r(&t, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &local);
    EXPECT_EQ(data["REQ"]["bcdTime"], text);

    forget();
    const json second = stepTwo(first);
    ASSERT_EQ(second.value("retval", -1), kOk) << second.dump();
    // DEBIT: 80 54 01 00 0F, the terminal transaction number (4), then the date and time of step one.
    const std::string debit = lastReceived();
    EXPECT_EQ(debit.substr(0, 10), "805401000F");
    EXPECT_EQ(debit.substr(18, 14), text);

    // The card keeps the proof under the counter the transaction used.
    const int used = data["REQ"]["seq"].get<int>() - 1;
    const json proof = call(1007, cpu({{"type", 6}, {"seq", used}}));
    EXPECT_EQ(proof.value("retval", -1), kOk) << proof.dump();
    EXPECT_EQ(proof["tac"], second["orderData"]["Commit"]["tac"]);
    EXPECT_EQ(proof["mac"], second["orderData"]["Commit"]["mac"]);
    char prove[32];
    std::snprintf(prove, sizeof prove, "805A000602%04X08", used);
    EXPECT_EQ(lastReceived(), prove);
}

TEST_F(PurseService, CommandsAsTheCardReceivedThem) {
    forget();
    EXPECT_EQ(balance(kEp), 10000);
    EXPECT_EQ(lastReceived(), "805C000204");
    forget();
    const json first = stepOne(2, kLoadKey, 100);
    EXPECT_EQ(received().front(), hexBytes("80500002 0B 01 00000064 112233445566 10"));
    EXPECT_EQ(first.value("retval", -1), kOk);

    // CHANGE PIN: a six-digit old PIN and a four-digit new one, then back.
    EXPECT_EQ(status(1000, cpu({{"id", 0}, {"oldPin", "888888"}, {"newPin", "1234"}})), kOk);
    EXPECT_EQ(lastReceived(), "805E010006888888FF1234");
    EXPECT_EQ(status(1000, cpu({{"id", 0}, {"oldPin", "1234"}, {"newPin", "888888"}})), kOk);

    // APPLICATION BLOCK for now: purse commands are refused until APPLICATION UNBLOCK.
    forget();
    EXPECT_EQ(status(1004, cpu({{"key", desKey(kMaintenanceKey)}, {"die", false}})), kOk);
    const auto sent = received();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(Orvane::hexEncode(sent[0]), "0084000008");
    EXPECT_EQ(Orvane::hexEncode(sent[1]).substr(0, 10), "841E000004");
    EXPECT_EQ(sent[1].size(), 9u);
    EXPECT_NE(call(1006, cpu({{"type", kEp}}))["retval"], kOk);
    EXPECT_EQ(status(1003, cpu({{"key", desKey(kMaintenanceKey)}})), kOk);
    EXPECT_EQ(balance(kEp), 10000);
}

TEST_F(PurseService, WhatIsRefusedAndWhatTheCardRefuses) {
    // The wrong master key: the card's MAC1 does not match, and nothing moves.
    const json wrong = stepOne(2, kPurchaseKey, 100);
    EXPECT_EQ(wrong.value("retval", -1), kMac1Mismatch);
    EXPECT_EQ(balance(kEp), 10000);

    // More than the balance: the card refuses the purchase at once.
    const json tooMuch = stepOne(6, kPurchaseKey, 10001);
    EXPECT_EQ(tooMuch.value("retval", -1), kInsufficient);
    EXPECT_EQ(balance(kEp), 10000);

    // Refused here, before any card traffic.
    forget();
    EXPECT_EQ(stepOne(8, kLoadKey, 100).value("retval", -1), kBadParam);
    json first = stepOne(2, kLoadKey, 100);
    forget();
    first["orderData"]["REQ"]["tmpAlg"] = 1;
    EXPECT_EQ(stepTwo(first).value("retval", -1), kBadParam);
    EXPECT_EQ(status(1010, cpu({{"sfid", 0x17}, {"id", 1}, {"mode", 4}, {"data", std::string(600, '0')}})),
              kBadParam);
    EXPECT_TRUE(received().empty());

    // A step two with a record whose MAC the card does not accept changes nothing (9302).
    json changed = stepOne(2, kLoadKey, 100);
    changed["orderData"]["money"] = 100000;
    EXPECT_EQ(stepTwo(changed).value("retval", -1), 0x0293);
    EXPECT_EQ(balance(kEp), 10000);
}

TEST_F(PurseService, ALoadWithTheKeysHeldByTheClient) {
    json request = cpu({{"type", 2}, {"id", 1}, {"key", desKey(kLoadKey, true)}, {"orderData", order(500)}});
    int asked = 0;
    const json first = callWithProvider(1008, request, kLoadKey, &asked);
    ASSERT_EQ(first.value("retval", -1), kOk) << first.dump();
    EXPECT_EQ(asked, 1) << "the session key";
    const json second = stepTwo(first);
    EXPECT_EQ(second.value("retval", -1), kOk);
    EXPECT_EQ(balance(kEp), 10500);

    // The TAC key too: it is asked for the expected TAC.
    request["keyTac"] = desKey(kTacKey, true);
    request["key"] = desKey(kLoadKey);
    asked = 0;
    const json withTac = callWithProvider(1008, request, kTacKey, &asked);
    ASSERT_EQ(withTac.value("retval", -1), kOk) << withTac.dump();
    EXPECT_EQ(asked, 1);
    const json done = stepTwo(withTac);
    EXPECT_EQ(done["orderData"]["Commit"]["tac"], withTac["orderData"]["REQ"]["tac"]);
}

TEST_F(PurseService, ACompoundPurchaseWritesTheRecordItCached) {
    const std::string record = "C0C1C2C3C4C5C6C7C8C9CACBCCCDCECF";
    const json first = stepOne(9, kPurchaseKey, 50);
    ASSERT_EQ(first.value("retval", -1), kOk) << first.dump();
    forget();
    EXPECT_EQ(status(1010, cpu({{"sfid", 0x17}, {"id", 1}, {"mode", 4}, {"data", record}})), kOk);
    EXPECT_EQ(lastReceived(), "80DC01BC10" + record);
    const json second = stepTwo(first);
    ASSERT_EQ(second.value("retval", -1), kOk) << second.dump();
    const json read = call(809, cpu({{"sfid", 0x17}, {"id", 1}, {"mode", 4}, {"size", 16}}));
    EXPECT_EQ(read.value("data", ""), record);
    EXPECT_EQ(balance(kEp), 10000 - 50);

    // The cache under secure messaging: a MAC under the maintenance key.
    const json next = stepOne(9, kPurchaseKey, 25);
    ASSERT_EQ(next.value("retval", -1), kOk) << next.dump();
    const json safe = {{"enc", false}, {"mac", true}, {"key", desKey(kMaintenanceKey)}};
    const std::string nextRecord = "D0D1D2D3D4D5D6D7D8D9DADBDCDDDEDF";
    forget();
    EXPECT_EQ(
        status(1010, cpu({{"sfid", 0x17}, {"id", 2}, {"mode", 4}, {"data", nextRecord}, {"safe", safe}})),
        kOk);
    EXPECT_EQ(lastReceived().substr(0, 10), "84DC02BC14");
    ASSERT_EQ(stepTwo(next).value("retval", -1), kOk);
    EXPECT_EQ(call(809, cpu({{"sfid", 0x17}, {"id", 2}, {"mode", 4}, {"size", 16}})).value("data", ""),
              nextRecord);
}
