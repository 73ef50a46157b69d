// Reader type 7 over the WebSocket against real pcscd with vsmartcard's vpcd driver: detection and
// opening, the edge-triggered finder, Mifare Classic and page tags on a virtual contactless reader,
// CPU-card and COS commands on vicc's ISO 7816 card, and /devices.

#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>

#include "http_client.hpp"
#include "pcsc_stack.hpp"
#include "service_session.hpp"

using nlohmann::json;
using namespace std::chrono_literals;

namespace {

constexpr int kPcscType = 7;
const std::string kDefaultKey = "FFFFFFFFFFFF";

// Creates slot 0 for `devType`, names the reader when asked, opens it: the open's retval.
int openSlot(ServiceSession& session, int devType, const std::string& name = "") {
    if (session.call(100, {{"devType", devType}})["err"] != 0) return -9;
    if (!name.empty()) session.call(103, {{"devType", kPcscType}, {"addr", name}});
    return session.call(105, {{"open", true}})["retval"].get<int>();
}

json readBlocks(ServiceSession& session, int sector, const std::string& key) {
    return session.call(207, {{"reSelect", true},
                              {"sector", sector},
                              {"pwd", key},
                              {"pos", 0},
                              {"num", 0},
                              {"keyB", false},
                              {"fill", false}});
}

}  // namespace

class PcscReaderTest : public ::testing::Test {
  protected:
    // A logged-in session with slot 0 opened on the first vpcd reader.
    bool openSession() {
        session_ = std::make_unique<ServiceSession>();
        return session_->ready() && openSlot(*session_, kPcscType) == 1;
    }

    PcscStack stack;
    std::unique_ptr<ServiceSession> session_;
};

TEST_F(PcscReaderTest, DetectionFindsThePcscReaderAfterTheSixFrameTypesAndAddrNamesIt) {
    SKIP_WITHOUT_PCSC(stack);
    ServiceSession session;
    ASSERT_TRUE(session.ready());

    EXPECT_EQ(openSlot(session, 0), 1);
    EXPECT_EQ(session.call(101)["retval"], kPcscType);
    EXPECT_EQ(session.call(108)["ver"], PcscStack::kFirstSlot);
    // PC/SC has no beeper, LED or field commands.
    EXPECT_EQ(session.call(111, {{"ms", 50}})["retval"], false);
    EXPECT_EQ(session.call(107, {{"Y", 1}, {"G", 1}})["retval"], false);
    EXPECT_EQ(session.call(112)["retval"], false);

    // addr picks the reader by a part of its name; a name no reader has opens nothing.
    EXPECT_EQ(openSlot(session, kPcscType, "PCD 00 01"), 1);
    EXPECT_EQ(session.call(108)["ver"], "Virtual PCD 00 01");
    EXPECT_EQ(openSlot(session, kPcscType, "no such reader"), 0);
    const std::string log = session.logAfterStop();
    EXPECT_NE(log.find("reader probe: type 7 on pcscd: not present (no reader named like \"no such reader\""),
              std::string::npos)
        << "LOG:" << log;
}

TEST_F(PcscReaderTest, EachPcscReaderIsItsOwnDeviceForTheInUseRule) {
    SKIP_WITHOUT_PCSC(stack);
    ServiceSession session;
    ASSERT_TRUE(session.ready());
    ASSERT_EQ(session.call(100, {{"rfIdx", 0}, {"devType", kPcscType}})["err"], 0);
    ASSERT_EQ(session.call(100, {{"rfIdx", 1}, {"devType", kPcscType}})["err"], 0);
    session.call(103, {{"rfIdx", 0}, {"devType", kPcscType}, {"addr", "00 00"}});
    session.call(103, {{"rfIdx", 1}, {"devType", kPcscType}, {"addr", "00 01"}});
    EXPECT_EQ(session.call(105, {{"rfIdx", 0}, {"open", true}})["retval"], 1);
    EXPECT_EQ(session.call(105, {{"rfIdx", 1}, {"open", true}})["retval"], 1);
    // A third slot on a reader slot 0 drives is refused.
    ASSERT_EQ(session.call(100, {{"rfIdx", 2}, {"devType", kPcscType}})["err"], 0);
    session.call(103, {{"rfIdx", 2}, {"devType", kPcscType}, {"addr", "00 00"}});
    EXPECT_EQ(session.call(105, {{"rfIdx", 2}, {"open", true}})["retval"], -1);
}

TEST_F(PcscReaderTest, FinderReportsEachInsertionOnceWithoutPolling) {
    SKIP_WITHOUT_PCSC(stack);
    ServiceSession session;
    ASSERT_TRUE(session.ready());
    ASSERT_EQ(openSlot(session, kPcscType), 1);
    ASSERT_EQ(session.call(113, {{"enable", true}, {"limit", 0}})["err"], 0);
    ASSERT_EQ(session.call(117, {{"ms", 50}, {"evt", true}})["err"], 0);
    EXPECT_EQ(session.eventsWithin(800ms), 0u) << "an event with no card on the reader";

    {
        const auto card = stack.startTag("mifare1k", "A1B2C3D4");
        const auto found = session.event(5s);
        ASSERT_TRUE(found);
        EXPECT_EQ((*found)["retval"], json::parse(R"([{"rf_type":1,"uid":"A1B2C3D4","atqa":4,"sak":8}])"));
        // The card stays: no second event, whatever the interval asked for.
        EXPECT_EQ(session.eventsWithin(1500ms), 0u);
    }  // taken off the reader
    ASSERT_TRUE(PcscStack::waitForCard(PcscStack::kFirstSlot, false));
    EXPECT_EQ(session.eventsWithin(500ms), 0u) << "a removal is no card arrival";

    {
        const auto card = stack.startTag("ntag215", "04112233445566");
        const auto found = session.event(5s);
        ASSERT_TRUE(found);
        EXPECT_EQ((*found)["retval"],
                  json::parse(R"([{"rf_type":1,"uid":"04112233445566","atqa":68,"sak":0}])"));
        EXPECT_EQ(session.eventsWithin(1s), 0u);
    }

    // 119 ends the blocking wait at once (SCardCancel), not at its next timeout.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(session.call(119)["err"], 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 900ms);
}

TEST_F(PcscReaderTest, MifareClassicThroughTheStorageCardCommands) {
    SKIP_WITHOUT_PCSC(stack);
    const auto card = stack.startTag("mifare1k", "A1B2C3D4");
    ASSERT_TRUE(openSession());
    ServiceSession& session = *session_;

    const json selected = session.call(205);
    EXPECT_EQ(selected["retval"], true);
    EXPECT_EQ(selected["uid"], "A1B2C3D4");
    EXPECT_EQ(selected["sak"], 8);

    const json fresh = readBlocks(session, 1, kDefaultKey);
    EXPECT_EQ(fresh["retval"], 64);
    // The card reads its Key A back as zeros; Key B of the transport configuration is readable.
    EXPECT_EQ(fresh["data"].get<std::string>().substr(96), "000000000000FF078069FFFFFFFFFFFF");

    const std::string data = "00112233445566778899AABBCCDDEEFF";
    EXPECT_EQ(session.call(208, {{"reSelect", true},
                                 {"sector", 1},
                                 {"pwd", kDefaultKey},
                                 {"data", data},
                                 {"pos", 1},
                                 {"num", 1},
                                 {"keyB", false}})["retval"],
              16);
    const json back = session.call(207, {{"reSelect", true},
                                         {"sector", 1},
                                         {"pwd", kDefaultKey},
                                         {"pos", 1},
                                         {"num", 1},
                                         {"keyB", false},
                                         {"fill", false}});
    EXPECT_EQ(back["retval"], 16);
    EXPECT_EQ(back["data"], data);

    // A wrong key: the card refuses the authentication (63 00) and the read says -5.
    EXPECT_EQ(readBlocks(session, 2, "A0A1A2A3A4A5")["retval"], -5);
    // Key B is readable in the transport configuration, so it authenticates nothing (MF1S50 §8.7.3).
    EXPECT_EQ(session.call(207, {{"reSelect", true},
                                 {"sector", 2},
                                 {"pwd", kDefaultKey},
                                 {"pos", 0},
                                 {"num", 1},
                                 {"keyB", true},
                                 {"fill", false}})["retval"],
              -5);
    // And the card goes on with the right key after it.
    EXPECT_EQ(readBlocks(session, 2, kDefaultKey)["retval"], 64);
    // Writing the trailer stays off until 200 allows it, as on every reader.
    EXPECT_EQ(session.call(208, {{"reSelect", true},
                                 {"sector", 1},
                                 {"pwd", kDefaultKey},
                                 {"data", data},
                                 {"pos", 3},
                                 {"num", 1},
                                 {"keyB", false}})["retval"],
              -6);
}

TEST_F(PcscReaderTest, ACardTakenOffBetweenCommandsFailsTheNextAndIsFoundAgainWhenPutBack) {
    SKIP_WITHOUT_PCSC(stack);
    auto card = stack.startTag("mifare1k", "A1B2C3D4");
    ASSERT_TRUE(openSession());
    ServiceSession& session = *session_;
    ASSERT_EQ(session.call(205)["retval"], true);
    ASSERT_EQ(readBlocks(session, 1, kDefaultKey)["retval"], 64);

    card.reset();
    ASSERT_TRUE(PcscStack::waitForCard(PcscStack::kFirstSlot, false));
    // The read finds the card gone (nothing read); the next one's reselection finds no card (-4).
    const json oneBlock = {{"reSelect", true}, {"sector", 1},   {"pwd", kDefaultKey}, {"pos", 0},
                           {"num", 1},         {"keyB", false}, {"fill", false}};
    EXPECT_LE(session.call(207, oneBlock)["retval"].get<int>(), 0);
    EXPECT_EQ(session.call(207, oneBlock)["retval"], -4);
    EXPECT_EQ(session.call(205)["retval"], false);

    card = stack.startTag("mifare1k", "0A0B0C0D");
    const json again = session.call(205);
    EXPECT_EQ(again["retval"], true);
    EXPECT_EQ(again["uid"], "0A0B0C0D");
    EXPECT_EQ(readBlocks(session, 1, kDefaultKey)["retval"], 64);
}

TEST_F(PcscReaderTest, PageTagReadAndWriteAndTheCommandsPcscLacks) {
    SKIP_WITHOUT_PCSC(stack);
    const auto card = stack.startTag("ntag215", "04A1B29FC3D4E5");
    ASSERT_TRUE(openSession());
    ServiceSession& session = *session_;

    const json selected = session.call(1104);
    EXPECT_EQ(selected["retval"], true);
    EXPECT_EQ(selected["uid"], "04A1B29FC3D4E5");

    const json head = session.call(1106, {{"reSelect", true}, {"page", 0}, {"num", 4}});
    EXPECT_EQ(head["retval"], 16);
    // UID 04 A1 B2 9F C3 D4 E5: BCC0 = 88 ^ 04 ^ A1 ^ B2 = 9F, BCC1 = 9F ^ C3 ^ D4 ^ E5 = 6D.
    EXPECT_EQ(head["data"], "04A1B29F9FC3D4E56D480000E1103E00");

    EXPECT_EQ(
        session.call(1107,
                     {{"reSelect", true}, {"page", 4}, {"num", 2}, {"data", "0102030405060708"}})["retval"],
        8);
    const json back = session.call(1106, {{"reSelect", true}, {"page", 4}, {"num", 2}});
    EXPECT_EQ(back["retval"], 8);
    EXPECT_EQ(back["data"], "0102030405060708");
    // The UID pages are read-only: the tag's NAK makes the write fail.
    EXPECT_EQ(
        session.call(1107, {{"reSelect", true}, {"page", 0}, {"num", 1}, {"data", "00000000"}})["retval"], 0);

    // FAST_READ, PWD_AUTH, GET_VERSION, READ_CNT, READ_SIG have no PC/SC command.
    for (const json& request : {json{{"code", 1108}, {"reSelect", true}, {"page", 4}, {"num", 2}},
                                json{{"code", 1109}, {"pwd", "FFFFFFFF"}}, json{{"code", 1110}},
                                json{{"code", 1111}}, json{{"code", 1112}}}) {
        json fields = request;
        fields.erase("code");
        const json reply = session.call(request["code"].get<int>(), fields);
        EXPECT_EQ(reply["err"], 0) << reply;
        EXPECT_TRUE(reply["retval"] == false ||
                    (reply["retval"].is_number() && reply["retval"].get<int>() <= 0))
            << reply;
    }
}

TEST_F(PcscReaderTest, CpuAndCosCommandsReachViccsIsoCard) {
    SKIP_WITHOUT_PCSC(stack);
    const auto card = stack.startVicc();
    ASSERT_TRUE(openSession());
    ServiceSession& session = *session_;

    const json active = session.call(304);
    EXPECT_EQ(active["retval"], 1) << active;
    EXPECT_EQ(session.call(302)["retval"], 1);
    // vicc's ATR: 3B 95 13 81 01 80 73 FF 01 00 0B, historical bytes 80 73 FF 01 00.
    EXPECT_EQ(session.call(308)["retval"],
              "0A78000000807"
              "3FF0100");

    // SELECT of the MF through the raw APDU path (P2 0C: no FCI; Debian 12's vicc fails on
    // building one): the card's own answer, status word included.
    const json raw = session.call(310, {{"apdu", "00A4000C023F00"}});
    EXPECT_EQ(raw["retval"], 1) << raw;
    EXPECT_EQ(raw["data"], "9000");

    const json challenge = session.call(800, {{"cpuId", 0}, {"is32", false}});
    EXPECT_EQ(challenge["retval"], 0x0090) << challenge;
    EXPECT_EQ(challenge["data"].get<std::string>().size(), 16u);
    // An application the card does not hold, and a file its MF does not hold: the card's own
    // "file not found" (6A 82) comes back, not a transport failure.
    EXPECT_EQ(session.call(801, {{"cpuId", 0}, {"fid", 0}, {"aid", "A0000000031010"}})["retval"], 0x826A);
    const json read = session.call(808, {{"cpuId", 0}, {"sfid", 1}, {"pos", 0}, {"size", 4}});
    EXPECT_EQ(read["retval"], 0x826A) << read;

    EXPECT_EQ(session.call(301)["err"], 0);
    EXPECT_EQ(session.call(302)["retval"], 0);
}

TEST_F(PcscReaderTest, DevicesListsPcscdWithItsReadersAndSaysWhenItIsNotRunning) {
    SKIP_WITHOUT_PCSC(stack);
    auto card = stack.startTag("mifare1k");
    ServiceSession session;
    ASSERT_TRUE(session.ready());

    auto res = httpRequest(session.port(), "GET", "/devices");
    ASSERT_TRUE(res);
    json pcsc = json::parse(res->body)["pcsc"];
    EXPECT_EQ(pcsc["running"], true) << pcsc;
    EXPECT_EQ(pcsc["state"], "running");
    EXPECT_EQ(pcsc["readers"], json::parse(R"([{"type":7,"name":"Virtual PCD 00 00","card":true},)"
                                           R"({"type":7,"name":"Virtual PCD 00 01","card":false}])"));

    // Open and reading, then pcscd goes away under the open reader.
    ASSERT_EQ(openSlot(session, kPcscType), 1);
    ASSERT_EQ(session.call(205)["retval"], true);
    ASSERT_EQ(readBlocks(session, 1, kDefaultKey)["retval"], 64);
    if (!stack.ownsDaemon()) GTEST_SKIP() << "pcscd was started by someone else: not stopping it";
    stack.stopDaemon();

    res = httpRequest(session.port(), "GET", "/devices");
    ASSERT_TRUE(res);
    pcsc = json::parse(res->body)["pcsc"];
    EXPECT_EQ(pcsc["running"], false);
    EXPECT_EQ(pcsc["state"], "pcscd not running");
    EXPECT_EQ(pcsc["readers"], json::array());

    // The open reader fails its commands at once and opening it again says why.
    EXPECT_LT(readBlocks(session, 1, kDefaultKey)["retval"].get<int>(), 0);
    EXPECT_EQ(session.call(105, {{"open", true}})["retval"], 0);

    // pcscd back (the virtual card went with the old one's vpcd): the same slot opens again and
    // reaches the card.
    ASSERT_TRUE(stack.startDaemon());
    card = stack.startTag("mifare1k");
    ASSERT_TRUE(PcscStack::waitForCard(PcscStack::kFirstSlot, true));
    EXPECT_EQ(session.call(105, {{"open", true}})["retval"], 1);
    EXPECT_EQ(session.call(205)["retval"], true);
    EXPECT_EQ(readBlocks(session, 1, kDefaultKey)["retval"], 64);
    const std::string log = session.logAfterStop();
    EXPECT_NE(log.find("reader probe: type 7 on pcscd: not present (SCARD_E_NO_SERVICE (pcscd not running))"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("PC/SC reader Virtual PCD 00 00: "), std::string::npos) << log;
    EXPECT_NE(log.find("(reader lost until it is opened again)"), std::string::npos) << log;
}
