// Commands 200 to 211 on an in-memory card: parameters, formats and reply fields.

#include "commands/mifare_commands.hpp"

#include <gtest/gtest.h>

#include "card/mifare/fake_mifare_card.hpp"

using nlohmann::json;

namespace {

class MifareCommandsTest : public testing::Test {
  protected:
    std::shared_ptr<FakeMifareCard> card = std::make_shared<FakeMifareCard>();
    Orvane::MifareClassic mifare{card};

    // The reply of a command that must be answered.
    json run(int code, json request = json::object()) {
        json reply = json::object();
        EXPECT_EQ(mifare_commands::run(code, request, reply, mifare), 1) << request.dump();
        return reply;
    }
};

json readRequest(json changes = json::object()) {
    json request = {{"reSelect", true}, {"sector", 1},   {"pwd", "FFFFFFFFFFFF"}, {"pos", 0},
                    {"num", 0},         {"keyB", false}, {"fill", false}};
    request.update(changes);
    return request;
}

}  // namespace

TEST_F(MifareCommandsTest, MissingOrMistypedParametersAreMalformed) {
    const std::pair<int, json> cases[] = {
        {200, {{"isWrite", true}}},
        {200, {{"isWrite", "true"}, {"isCheck", true}}},
        {201, {{"uid", 1020304}}},
        {201, json::object()},
        {207, readRequest({{"fill", nullptr}})},
        {207, readRequest({{"sector", -1}})},
        {207, readRequest({{"sector", 1.5}})},
        {207, readRequest({{"pos", "0"}})},
        {207, readRequest({{"keyB", 0}})},
        {208, readRequest()},  // no data
        {209, {{"sector", 1}, {"keyA", "FFFFFFFFFFFF"}, {"keyB", "FFFFFFFFFFFF"}}},
        {210, {{"power", 4}}},
        {211, {{"bitStr", nullptr}}},
        {207, json::array()},
    };
    for (const auto& [code, request] : cases) {
        json reply = json::object();
        EXPECT_EQ(mifare_commands::run(code, request, reply, mifare), -1) << code << " " << request.dump();
        EXPECT_TRUE(reply.empty()) << reply.dump();
    }
    EXPECT_TRUE(card->calls.empty());
}

TEST_F(MifareCommandsTest, KeysAndByteStringsThatDoNotDecode) {
    json data = readRequest({{"data", std::string(32, '0')}});
    const std::pair<int, json> cases104[] = {
        {207, readRequest({{"pwd", "FFFF"}})},
        {207, readRequest({{"pwd", "FFFFFFFFFFFFFF"}})},
        {207, readRequest({{"pwd", "FFFFFFFFFFFG"}})},
        {208, readRequest({{"pwd", ""}, {"data", "zz"}})},  // the key is looked at first
        {209, {{"sector", 1}, {"keyA", "FFFFFFFFFF"}, {"keyB", "FFFFFFFFFFFF"}, {"ctl", "00"}}},
        {209, {{"sector", 1}, {"keyA", "FFFFFFFFFFFF"}, {"keyB", "FF"}, {"ctl", "00"}}},
    };
    for (const auto& [code, request] : cases104)
        EXPECT_EQ(run(code, request)["err"], 104) << request.dump();

    const std::pair<int, json> cases105[] = {
        {201, {{"uid", ""}}},
        {201, {{"uid", "0102030405060708090A0B"}}},
        {201, {{"uid", "01020"}}},
        {208, readRequest({{"data", ""}})},
        {208, readRequest({{"data", std::string(514, '0')}})},
        {209,
         {{"sector", 1}, {"keyA", "FFFFFFFFFFFF"}, {"keyB", "FFFFFFFFFFFF"}, {"ctl", std::string(30, '0')}}},
        {210, {{"power", "FF0780"}}},
        {210, {{"power", "FF07806900"}}},
    };
    for (const auto& [code, request] : cases105) {
        const json reply = run(code, request);
        EXPECT_EQ(reply["err"], 105) << request.dump();
        EXPECT_EQ(reply["msg"], "数据格式错误!");
        EXPECT_FALSE(reply.contains("retval"));
    }
    EXPECT_TRUE(card->calls.empty());
}

TEST_F(MifareCommandsTest, SelectionAndCardNumber) {
    EXPECT_EQ(run(206)["retval"], "0000000000");
    EXPECT_EQ(run(204)["retval"], "");
    EXPECT_EQ(run(203)["retval"], false);

    const json any = run(205);
    EXPECT_EQ(
        any,
        json({{"err", 0}, {"msg", "完成"}, {"retval", true}, {"uid", "01020304"}, {"atqa", 0}, {"sak", 0}}));
    EXPECT_EQ(run(203)["retval"], true);
    EXPECT_EQ(run(204)["retval"], "01020304");
    EXPECT_EQ(run(206)["retval"], "0067305985");

    // A 5-byte UID decodes but cannot be selected.
    const json five = run(201, {{"uid", "0102030405"}});
    EXPECT_EQ(five["err"], 0);
    EXPECT_EQ(five["retval"], false);
    EXPECT_EQ(run(203)["retval"], false);

    EXPECT_EQ(run(201, {{"uid", "0x01 02-03,04"}})["retval"], true);
    EXPECT_EQ(run(202), json({{"err", 0}, {"msg", "完成"}}));
    EXPECT_EQ(run(203)["retval"], false);

    card->cardUid = {0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    EXPECT_EQ(run(201, {{"uid", "04112233445566"}})["retval"], true);
    EXPECT_EQ(run(206)["retval"], "1716864051");
}

TEST_F(MifareCommandsTest, ReadAndWriteBlocks) {
    run(205);
    json reply = run(207, readRequest({{"fill", true}}));
    EXPECT_EQ(reply["retval"], 64);
    const std::string data = reply["data"];
    EXPECT_EQ(data.size(), 128u);
    EXPECT_EQ(data.substr(0, 32), "04040404040404040404040404040404");
    EXPECT_EQ(data.substr(96, 12), "FFFFFFFFFFFF");  // the key filled into the trailer

    reply = run(207, readRequest({{"sector", 40}}));
    EXPECT_EQ(reply["retval"], -1);
    EXPECT_EQ(reply["data"], "");
    reply = run(207, readRequest({{"sector", 256}, {"num", 1}}));  // sector 0
    EXPECT_EQ(reply["data"], std::string(32, '0'));
    reply = run(207, readRequest({{"sector", 32}}));
    EXPECT_EQ(reply["retval"], 256);
    EXPECT_EQ(reply["data"].get<std::string>().size(), 512u);

    json write = readRequest({{"data", std::string(128, 'A')}});
    write.erase("fill");
    EXPECT_EQ(run(208, write)["retval"], -6);
    EXPECT_EQ(run(200, {{"isWrite", true}, {"isCheck", true}})["err"], 0);
    EXPECT_EQ(run(208, write)["retval"], -7);
    EXPECT_EQ(run(200, {{"isWrite", true}, {"isCheck", false}})["err"], 0);
    EXPECT_EQ(run(208, write)["retval"], 64);

    write["sector"] = 0;
    write["num"] = 2;
    write["pos"] = 1;
    write["data"] = std::string(32, 'B');
    EXPECT_EQ(run(208, write)["retval"], -2);
}

TEST_F(MifareCommandsTest, TrailerAndAccessBits) {
    run(205);
    const json trailer = {{"sector", 2},
                          {"keyA", "FFFFFFFFFFFF"},
                          {"keyB", "FFFFFFFFFFFF"},
                          {"ctl", "112233445566FF078069778899AABBCC"}};
    EXPECT_EQ(run(209, trailer)["retval"], -6);
    run(200, {{"isWrite", true}, {"isCheck", true}});
    EXPECT_EQ(run(209, trailer)["retval"], 1);
    EXPECT_EQ(run(209, trailer)["retval"], 2);

    EXPECT_EQ(run(210, {{"power", "FF078069"}}),
              json({{"err", 0}, {"msg", "完成"}, {"retval", true}, {"bitStr", "000|000|000|001"}}));
    EXPECT_EQ(run(210, {{"power", "FF078169"}}),
              json({{"err", 0}, {"msg", "完成"}, {"retval", false}, {"bitStr", ""}}));
    EXPECT_EQ(run(211, {{"bitStr", "000|000|000|001"}}),
              json({{"err", 0}, {"msg", "完成"}, {"retval", true}, {"power", "FF078069"}}));
    EXPECT_EQ(run(211, {{"bitStr", "000|000|000|00"}}),
              json({{"err", 0}, {"msg", "完成"}, {"retval", false}, {"power", "00000000"}}));
}

TEST_F(MifareCommandsTest, UnknownCodes) {
    for (int code : {212, 250, 298})
        EXPECT_EQ(run(code), json({{"err", 103}, {"msg", "命令码不可用!"}}));
}
