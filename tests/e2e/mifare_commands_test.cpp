// Mifare Classic commands 200 to 211 and the type A finder over real WebSocket sessions, against
// virtual cards on one simulated reader of each frame family.

#include <gtest/gtest.h>

#include <chrono>

#include "sim/card/mifare_classic_card.hpp"
#include "sim/field/type_a_commands.hpp"
#include "sim_service.hpp"
#include "support/hex_bytes.hpp"

using nlohmann::json;
using namespace std::chrono_literals;

namespace {

const std::string kFactoryKey = "FFFFFFFFFFFF";

json slot(json fields = json::object()) {
    fields["rfIdx"] = 0;
    return fields;
}

json readRequest(int sector, json changes = json::object()) {
    json request = slot({{"reSelect", true},
                         {"sector", sector},
                         {"pwd", kFactoryKey},
                         {"pos", 0},
                         {"num", 0},
                         {"keyB", false},
                         {"fill", false}});
    request.update(changes);
    return request;
}

json writeRequest(int sector, const std::string& data, json changes = json::object()) {
    json request = readRequest(sector, changes);
    request.erase("fill");
    request["data"] = data;
    return request;
}

std::string repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

struct Family {
    const char* name;
    int type;
};

void PrintTo(const Family& f, std::ostream* os) {
    *os << f.name;
}

class MifareService : public testing::TestWithParam<Family> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(service.ready());
        service.readers.add(static_cast<std::uint8_t>(GetParam().type));
        ASSERT_TRUE(
            rfsim::attachField(service.readers.reader(static_cast<std::uint8_t>(GetParam().type)), field));
        ASSERT_TRUE(client.loggedIn());
        ASSERT_EQ(client.call(100, slot({{"devType", GetParam().type}}))["err"], 0);
        ASSERT_EQ(client.call(105, slot({{"open", true}}), 30s)["retval"], 1);
    }

    json call(int code, json request = slot()) { return client.call(code, std::move(request)); }

    // Waits until the reader has answered `more` frames from now on.
    bool framesAnswered(int more) {
        rfsim::VirtualReader& reader = service.readers.reader(static_cast<std::uint8_t>(GetParam().type));
        const int until = reader.state().framesAnswered + more;
        for (int i = 0; i < 500 && reader.state().framesAnswered < until; ++i)
            std::this_thread::sleep_for(10ms);
        return reader.state().framesAnswered >= until;
    }

    SimService service;
    std::shared_ptr<rfsim::VirtualField> field = std::make_shared<rfsim::VirtualField>();
    SimClient client{service};
};

const Family kFamilies[] = {{"VD", kReaderVdHid}, {"VA", kReaderVaHid}, {"VC", kReaderVcCh9326}};

}  // namespace

TEST_P(MifareService, SelectionCardNumberAndBlocks) {
    auto card = rfsim::makeMifare1K(hexBytes("01020304"));
    field->place(card);

    EXPECT_EQ(call(203)["retval"], false);
    EXPECT_EQ(call(206)["retval"], "0000000000");
    const json any = call(205);
    EXPECT_EQ(any["err"], 0);
    EXPECT_EQ(any["retval"], true);
    EXPECT_EQ(any["uid"], "01020304");
    EXPECT_EQ(any["atqa"], 4);
    EXPECT_EQ(any["sak"], 8);
    EXPECT_EQ(call(206)["retval"], "0067305985");
    EXPECT_EQ(call(201, slot({{"uid", "01020304"}}))["retval"], true);
    const json fiveBytes = call(201, slot({{"uid", "0102030405"}}));
    EXPECT_EQ(fiveBytes["err"], 0);
    EXPECT_EQ(fiveBytes["retval"], false);
    EXPECT_EQ(call(203)["retval"], false);
    EXPECT_EQ(call(201, slot({{"uid", "01 02 03 04"}}))["retval"], true);
    EXPECT_EQ(call(204)["retval"], "01020304");

    // Key A reads back as zeros unless `fill` puts the key used into the trailer image.
    json read = call(207, readRequest(1));
    EXPECT_EQ(read["retval"], 64);
    EXPECT_EQ(read["data"].get<std::string>().substr(96), "000000000000FF078069FFFFFFFFFFFF");
    read = call(207, readRequest(1, {{"fill", true}}));
    EXPECT_EQ(read["data"].get<std::string>().substr(96), "FFFFFFFFFFFFFF078069FFFFFFFFFFFF");
    read = call(207, readRequest(256, {{"num", 1}}));  // sector 0
    EXPECT_EQ(read["data"].get<std::string>().substr(0, 8), "01020304");
    read = call(207, readRequest(40));
    EXPECT_EQ(read["retval"], -1);
    EXPECT_EQ(read["data"], "");

    // Writing a trailer is refused until 200 allows it.
    const std::string image = repeat("11", 48) + "FFFFFFFFFFFFFF078069FFFFFFFFFFFF";
    EXPECT_EQ(call(208, writeRequest(1, image))["retval"], -6);
    EXPECT_EQ(call(200, slot({{"isWrite", true}, {"isCheck", true}}))["err"], 0);
    EXPECT_EQ(call(208, writeRequest(1, image))["retval"], 64);
    EXPECT_EQ(call(208, writeRequest(1, repeat("11", 64)))["retval"], -7);
    EXPECT_EQ(call(208, writeRequest(0, repeat("22", 16), {{"pos", 1}, {"num", 2}}))["retval"], -2);

    // The manufacturer block is read-only: tolerated only when the card may be selected again.
    EXPECT_EQ(call(208, writeRequest(0, repeat("33", 48), {{"num", 3}}))["retval"], 32);
    EXPECT_EQ(call(208, writeRequest(0, repeat("44", 48), {{"num", 3}, {"reSelect", false}}))["retval"], 0);
    read = call(207, readRequest(0, {{"num", 3}}));
    EXPECT_EQ(read["data"].get<std::string>().substr(32), repeat("33", 32));
}

TEST_P(MifareService, TrailersAndAccessBits) {
    field->place(rfsim::makeMifare1K(hexBytes("0A0B0C0D")));
    ASSERT_EQ(call(205)["retval"], true);
    const json trailer = slot({{"sector", 2},
                               {"keyA", kFactoryKey},
                               {"keyB", kFactoryKey},
                               {"ctl", "112233445566FF078069778899AABBCC"}});
    EXPECT_EQ(call(209, trailer)["retval"], -6);
    call(200, slot({{"isWrite", true}, {"isCheck", true}}));
    EXPECT_EQ(call(209, trailer)["retval"], 1);
    EXPECT_EQ(call(209, trailer)["retval"], 2);  // the card already has the new keys
    EXPECT_EQ(call(207, readRequest(2))["retval"], -5);
    // Key B stays readable under these access bits, so it opens nothing; the new Key A does.
    EXPECT_EQ(call(207, readRequest(2, {{"pwd", "778899AABBCC"}, {"keyB", true}}))["retval"], 0);
    EXPECT_EQ(call(207, readRequest(2, {{"pwd", "112233445566"}}))["retval"], 64);

    json bits = call(210, slot({{"power", "FF078069"}}));
    EXPECT_EQ(bits["retval"], true);
    EXPECT_EQ(bits["bitStr"], "000|000|000|001");
    bits = call(210, slot({{"power", "FF078169"}}));
    EXPECT_EQ(bits["retval"], false);
    EXPECT_EQ(bits["bitStr"], "");
    EXPECT_EQ(call(211, slot({{"bitStr", "000|000|000|001"}}))["power"], "FF078069");
    const json shortText = call(211, slot({{"bitStr", "000|000|000|00"}}));
    EXPECT_EQ(shortText["retval"], false);
    EXPECT_EQ(shortText["power"], "00000000");
}

TEST_P(MifareService, ReadsA4KSectorInOneCommand) {
    field->place(rfsim::makeMifare4K(hexBytes("04112233")));
    ASSERT_EQ(call(201, slot({{"uid", "04112233"}}))["retval"], true);
    const json read = call(207, readRequest(32, {{"fill", true}}));
    EXPECT_EQ(read["retval"], 256);
    const std::string data = read["data"];
    ASSERT_EQ(data.size(), 512u);
    EXPECT_EQ(data.substr(480), "FFFFFFFFFFFFFF078069FFFFFFFFFFFF");
}

TEST_P(MifareService, BadInputAndACardThatLeaves) {
    auto card = rfsim::makeMifare1K(hexBytes("01020304"));
    field->place(card);
    ASSERT_EQ(call(205)["retval"], true);
    EXPECT_EQ(call(207, readRequest(1, {{"pwd", "FFFF"}}))["err"], 104);
    EXPECT_EQ(call(207, readRequest(1, {{"pwd", "FFFFFFFFFFFFFF"}}))["err"], 104);
    EXPECT_EQ(call(208, writeRequest(1, "XYZ"))["err"], 105);
    EXPECT_EQ(call(201, slot({{"uid", "0102030"}}))["err"], 105);
    EXPECT_EQ(call(210, slot({{"power", "FF07"}}))["msg"], "数据格式错误!");
    EXPECT_EQ(call(207, readRequest(1, {{"pwd", "A0A1A2A3A4A5"}}))["retval"], -5);
    EXPECT_EQ(call(207, readRequest(1))["retval"], 64);

    field->remove(hexBytes("01020304"));
    EXPECT_EQ(call(207, readRequest(1))["retval"], -4);
    EXPECT_EQ(call(207, readRequest(1, {{"reSelect", false}}))["retval"], -4);
    field->place(card);
    EXPECT_EQ(call(207, readRequest(1))["retval"], 64);

    EXPECT_EQ(call(207, json({{"rfIdx", 6}}))["err"], 109);
    EXPECT_EQ(call(207, json({{"rfIdx", 3}}))["err"], 102);
    // A missing parameter closes the connection without a reply.
    json noFill = readRequest(1);
    noFill.erase("fill");
    client.send(207, noFill);
    EXPECT_TRUE(client.ws().closedByServer());
}

TEST_P(MifareService, FinderReportsCardsAsTheyArrive) {
    ASSERT_EQ(call(113, slot({{"enable", true}, {"limit", 0}}))["err"], 0);
    ASSERT_EQ(call(117, slot({{"ms", 10}, {"evt", true}, {"fixIdle", true}}))["err"], 0);
    ASSERT_TRUE(framesAnswered(12));        // passes over an empty field
    EXPECT_EQ(call(203)["retval"], false);  // takes in whatever the finder sent meanwhile
    EXPECT_EQ(client.pendingCount(), 0u);

    auto card = rfsim::makeMifare1K(hexBytes("01020304"));
    field->place(card);
    const json expected = {{"rf_type", 1}, {"uid", "01020304"}, {"atqa", 4}, {"sak", 8}};
    auto event = client.next();
    ASSERT_TRUE(event);
    EXPECT_EQ((*event)["evt"], 117);
    EXPECT_EQ((*event)["retval"], json::array({expected}));
    ASSERT_TRUE(framesAnswered(12));  // passes with the card lying still
    EXPECT_EQ(call(203)["retval"], false);
    EXPECT_EQ(client.pendingCount(), 0u);  // reported once while it stays

    field->remove(hexBytes("01020304"));
    // Passes with the field empty: a pass holds a handful of frames, so the last of these is one
    // that began after the card had gone.
    ASSERT_TRUE(framesAnswered(12));
    field->place(card);
    event = client.next();
    ASSERT_TRUE(event);
    EXPECT_EQ((*event)["retval"], json::array({expected}));

    // Card commands share the reader with the running finder.
    EXPECT_EQ(call(205)["retval"], true);
    EXPECT_EQ(call(207, readRequest(0))["retval"], 64);
    EXPECT_EQ(call(119)["err"], 0);
}

INSTANTIATE_TEST_SUITE_P(Families, MifareService, testing::ValuesIn(kFamilies),
                         [](const auto& info) { return std::string(info.param.name); });

// A VC reader that reports more UID bytes than any card has: no card is taken from that.
TEST(MifareServiceVc, AnUidLongerThanTenBytesIsAFailedAnticollision) {
    SimService service;
    ASSERT_TRUE(service.ready());
    service.readers.add(kReaderVcCh9326);
    auto field = std::make_shared<rfsim::VirtualField>();
    ASSERT_TRUE(rfsim::attachField(service.readers.reader(kReaderVcCh9326), field));
    field->place(rfsim::makeMifare1K(hexBytes("01020304")));
    service.readers.reader(kReaderVcCh9326).withFirmware([](rfsim::Firmware& firmware) {
        firmware.setCommand(0x47, [](const rfsim::Request&) {
            return std::optional<rfsim::Reply>(rfsim::Reply{0, hexBytes("0102030405060708090A0B")});
        });
    });
    SimClient client(service);
    ASSERT_TRUE(client.loggedIn());
    ASSERT_EQ(client.call(100, slot({{"devType", 3}}))["err"], 0);
    ASSERT_EQ(client.call(105, slot({{"open", true}}))["retval"], 1);
    const json any = client.call(205, slot());
    EXPECT_EQ(any["retval"], false);
    EXPECT_EQ(any["uid"], "");
    EXPECT_EQ(client.call(116, slot())["retval"], json::array());
}
