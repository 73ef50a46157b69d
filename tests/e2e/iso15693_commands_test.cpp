// ISO 15693 commands 500 to 514 and ICODE SLI commands 600 to 612 over a real WebSocket session:
// the reader is asked for ISO 15693 mode and every tag command answers "not supported" (253);
// parameters are checked as the commands define them.

#include <gtest/gtest.h>

#include <chrono>

#include "sim_service.hpp"

using nlohmann::json;
using namespace std::chrono_literals;

namespace {

json slot(json fields = json::object()) {
    fields["rfIdx"] = 0;
    return fields;
}

class VicinityService : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(service.ready());
        service.readers.add(kReaderVcCh9326);
        ASSERT_TRUE(client.loggedIn());
        ASSERT_EQ(client.call(100, slot({{"devType", kReaderVcCh9326}}))["err"], 0);
        ASSERT_EQ(client.call(105, slot({{"open", true}}), 30s)["retval"], 1);
    }
    json call(int code, json request = slot()) { return client.call(code, std::move(request)); }
    // Sends a request that lacks a parameter: no reply, the connection is closed.
    bool closesTheConnection(int code, json request) {
        SimClient other(service);
        if (!other.loggedIn()) return false;
        other.send(code, std::move(request));
        return other.ws().closedByServer();
    }

    SimService service;
    SimClient client{service};
};

struct Case {
    int code;
    json fields;
    json expected;  // members the reply must have
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.code << " " << c.fields.dump();
}

}  // namespace

TEST_F(VicinityService, EveryIso15693CommandAnswersNotSupported) {
    const std::string uid = "E004010012345678";
    const Case cases[] = {
        {500, {{"mode", 1}, {"uid", uid}, {"dataRate", true}, {"subCarrier", false}}, {{"retval", false}}},
        {500, {{"mode", 0}, {"uid", "01"}, {"dataRate", true}, {"subCarrier", false}}, {{"retval", false}}},
        {501, {{"uid", uid}}, {{"retval", 253}}},
        {502, {{"getState", true}, {"blockAddr", 3}}, {{"retval", 253}, {"data", ""}}},
        {503, {{"blockAddr", 3}, {"data", "01020304"}}, {{"retval", 253}}},
        {504, {{"blockAddr", 3}}, {{"retval", 253}}},
        {505,
         {{"mode", 3}, {"getState", false}, {"firstBlockAddr", 0}, {"blockNum", 4}},
         {{"retval", 253}, {"data", ""}}},
        {505,
         {{"mode", -1}, {"getState", false}, {"firstBlockAddr", 0}, {"blockNum", 4}},
         {{"retval", 2}, {"data", ""}}},
        {506,
         {{"mode", 0}, {"firstBlockAddr", 0}, {"blockNum", 2}, {"data", "0102030405060708"}},
         {{"retval", 253}}},
        {506, {{"mode", -5}, {"firstBlockAddr", 0}, {"blockNum", 2}, {"data", "01020304"}}, {{"retval", 2}}},
        // 10 bytes do not split into 3 blocks: nothing is sent
        {506,
         {{"mode", 1}, {"firstBlockAddr", 0}, {"blockNum", 3}, {"data", "00112233445566778899"}},
         {{"retval", 2}}},
        {506, {{"mode", 1}, {"firstBlockAddr", 0}, {"blockNum", 0}, {"data", "0011"}}, {{"retval", 2}}},
        {507, {{"uid", uid}}, {{"retval", 253}}},
        {508, json::object(), {{"retval", 253}}},
        {509, {{"afi", 7}}, {{"retval", 253}}},
        {510, json::object(), {{"retval", 253}}},
        {511, {{"dsfid", 7}}, {{"retval", 253}}},
        {512, json::object(), {{"retval", 253}}},
        {513,
         json::object(),
         {{"retval", 253},
          {"flags", 0},
          {"uid", "0000000000000000"},
          {"dsfid", 0},
          {"afi", 0},
          {"blockNum", 0},
          {"byteSize", 0},
          {"icRef", 0}}},
        {514, {{"firstBlockAddr", 0}, {"blockNum", 8}}, {{"retval", 253}, {"data", ""}}},
        // data that does not decode or does not fit
        {500, {{"mode", 1}, {"uid", "01"}, {"dataRate", true}, {"subCarrier", false}}, {{"err", 105}}},
        {501, {{"uid", "E0040100123456"}}, {{"err", 105}}},
        {503, {{"blockAddr", 0}, {"data", std::string(66, 'A')}}, {{"err", 105}}},
        {506, {{"mode", 1}, {"firstBlockAddr", 0}, {"blockNum", 1}, {"data", "XY"}}, {{"err", 105}}},
        {515, json::object(), {{"err", 103}}},
        {598, json::object(), {{"err", 103}}},
    };
    for (const Case& c : cases) {
        const json reply = call(c.code, slot(c.fields));
        json expected = c.expected;
        if (!expected.contains("err")) expected["err"] = 0;
        for (const auto& [name, value] : expected.items())
            EXPECT_EQ(reply[name], value) << testing::PrintToString(c) << " " << name;
    }
}

TEST_F(VicinityService, EveryIcodeSliCommandAnswersNotSupported) {
    const Case cases[] = {
        {600, json::object(), {{"retval", 253}}},
        {601, json::object(), {{"retval", 253}}},
        {602, json::object(), {{"retval", 253}}},
        {603, json::object(), {{"retval", 253}, {"data", ""}}},
        {604, {{"type", 1}}, {{"retval", 253}}},
        {605, {{"pwd", "01020304"}, {"id", 4}}, {{"retval", 253}}},
        {606, {{"pwd", "01020304"}, {"id", 4}}, {{"retval", 253}}},
        {607, {{"id", 4}}, {{"retval", 253}}},
        {608, {{"pwd", "01020304"}}, {{"retval", 253}}},
        {609, {{"uid", "E004010012345678"}}, {{"retval", 253}}},
        {610, {{"blockAddr", 1}, {"data", std::string(600, '5')}}, {{"retval", 253}}},
        {611, json::object(), {{"retval", 253}, {"authStartAddr", 255}}},
        {612, {{"authStartAddr", 9}}, {{"retval", 253}}},
        {605, {{"pwd", "0102030405"}, {"id", 4}}, {{"err", 105}}},
        {608, {{"pwd", "010203"}}, {{"err", 105}}},
        {609, {{"uid", "E0040100123456"}}, {{"err", 105}}},
        {613, json::object(), {{"err", 103}}},
    };
    for (const Case& c : cases) {
        const json reply = call(c.code, slot(c.fields));
        json expected = c.expected;
        if (!expected.contains("err")) expected["err"] = 0;
        for (const auto& [name, value] : expected.items())
            EXPECT_EQ(reply[name], value) << testing::PrintToString(c) << " " << name;
    }
    EXPECT_EQ(service.readers.reader(kReaderVcCh9326).state().protocol, rfsim::Protocol::iso15693);
}

TEST_F(VicinityService, SlotsAndMissingParameters) {
    EXPECT_EQ(call(508, json({{"rfIdx", 6}}))["err"], 109);
    EXPECT_EQ(call(600, json({{"rfIdx", 1}}))["err"], 102);
    EXPECT_TRUE(closesTheConnection(605, slot({{"pwd", "01020304"}})));
    EXPECT_TRUE(closesTheConnection(505, slot({{"mode", 1}, {"getState", false}, {"firstBlockAddr", 0}})));
    EXPECT_TRUE(closesTheConnection(
        500, slot({{"mode", -1}, {"uid", ""}, {"dataRate", true}, {"subCarrier", true}})));
    EXPECT_TRUE(closesTheConnection(509, json({{"rfIdx", 6}})));
}
