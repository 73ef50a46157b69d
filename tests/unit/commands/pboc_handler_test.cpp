// The e-purse handler without a card: required fields, the order record's checks (a value that does
// not fit its field is refused, never cut), and the answers that come before any card traffic.

#include <gtest/gtest.h>

#include "commands/order_record_json.hpp"
#include "commands/rf_work.hpp"
#include "support/crypto_support.hpp"
#include "support/fake_channel.hpp"

using nlohmann::json;

namespace {

class PbocHandler : public WithCryptoProviders {
  protected:
    void SetUp() override {
        json reply = json::object();
        ASSERT_EQ(work.workRfReader(100, {{"rfIdx", 0}, {"devType", 4}}, reply), 1);
    }
    std::pair<int, json> run(GCODE code, const std::string& fields) {
        json reply = json::object();
        const int result =
            work.workCosPboc2(code, json::parse(R"({"rfIdx":0,"cpuId":0)" + fields + "}"), reply);
        return {result, reply};
    }

    std::shared_ptr<FakeChannel> channel = std::make_shared<FakeChannel>();
    RfWork work{channel};
};

const std::string kKey = R"("key":{"alg":2,"param":"00112233445566778899AABBCCDDEEFF"})";
const std::string kOrder = R"("number":"112233445566","money":100,"times":1765432100)";
const std::string kRequest =
    R"("REQ":{"type":2,"oldBalance":1000,"newBalance":1100,"seq":6,"keyVer":1,"keyFlag":2,"bcdTime":"20251211053500","tmpAlg":2,"tmpKey":"0123456789ABCDEF","limit":0,"tac":0,"mac":0})";

std::string stepTwo(const std::string& request) {
    return R"(,"orderData":{)" + kOrder + "," + request + "}";
}

}  // namespace

TEST_F(PbocHandler, CommonChecksAndRequiredFields) {
    json reply = json::object();
    EXPECT_EQ(work.workCosPboc2(1006, json{{"rfIdx", 0}}, reply), -1);
    EXPECT_EQ(run(1006, R"(,"cpuId":2,"type":1)").second["err"], 113);
    EXPECT_EQ(run(1011, "").second["err"], 103);
    EXPECT_EQ(run(1098, "").second["err"], 103);
    const std::pair<GCODE, std::string> missing[] = {
        {1000, R"(,"id":0,"oldPin":"1234")"},
        {1000, R"(,"id":0,"oldPin":"1234","newPin":123456)"},
        {1001, R"(,"id":0,"pin":"1234")"},
        {1002, R"(,"id":0,)" + kKey},
        {1003, ""},
        {1003, R"(,"key":"00112233")"},
        {1004, "," + kKey},
        {1005, R"(,"key":{"alg":2})"},
        {1006, ""},
        {1007, R"(,"type":6)"},
        {1007, R"(,"type":6,"seq":-1)"},
        {1008, R"(,"id":1,)" + kKey + R"(,"orderData":{)" + kOrder + "}"},
        {1008, R"(,"type":2,"id":1,"orderData":{)" + kOrder + "}"},
        {1008, R"(,"type":2,"id":1,)" + kKey},
        {1008, R"(,"type":2,"id":1,)" + kKey + R"(,"orderData":{"number":"112233445566","money":100})"},
        {1008,
         R"(,"type":2,"id":1,)" + kKey + R"(,"orderData":{"number":"112233445566","money":-1,"times":0})"},
        {1009, R"(,"orderData":{)" + kOrder + "}"},
        {1009, stepTwo(R"("REQ":{"type":2})")},
        {1009, stepTwo(R"("REQ":[])")},
        {1010, R"(,"sfid":1,"id":1,"data":"00")"},
        {1010, R"(,"sfid":1,"id":1,"mode":0,"data":"00","safe":{"enc":false,"key":{"alg":2,"param":"00"}})"},
    };
    for (const auto& [code, fields] : missing)
        EXPECT_EQ(run(code, fields).first, -1) << code << fields;
}

TEST_F(PbocHandler, AnswersBeforeAnyCardTraffic) {
    struct Case {
        GCODE code;
        std::string fields;
        int err;
        int retval;  // -1: none expected
    };
    const std::string step1 = R"(,"type":2,"id":1,)" + kKey + R"(,"orderData":)";
    std::string longKey = kRequest;
    longKey.replace(longKey.find("0123456789ABCDEF"), 16, std::string(34, 'A'));
    std::string shortTime = kRequest;
    shortTime.replace(shortTime.find("20251211053500"), 14, "202512110535");
    std::string typeOverByte = kRequest;
    typeOverByte.replace(typeOverByte.find(R"("type":2)"), 8, R"("type":258)");
    std::string tmpAlg1 = kRequest;
    tmpAlg1.replace(tmpAlg1.find(R"("tmpAlg":2)"), 10, R"("tmpAlg":1)");
    const Case cases[] = {
        {1000, R"(,"id":0,"oldPin":"12a4","newPin":"1234")", 0, 0x866A},
        {1001, R"(,"id":0,"pin":"1234567890123",)" + kKey, 0, 0x866A},
        {1003, R"(,"key":{"alg":2,"param":"0G"})", 105, -1},
        {1008, step1 + R"({"number":"1122334455","money":100,"times":0})", 105, -1},
        {1008, step1 + R"({"number":"11223344556677","money":100,"times":0})", 105, -1},
        {1008, step1 + R"({"number":"112233445566","money":4294967296,"times":0})", 105, -1},
        {1008, R"(,"type":8,"id":1,)" + kKey + R"(,"orderData":{)" + kOrder + "}", 0, 0x866A},
        {1008,
         R"(,"type":7,"id":1,)" + kKey +
             R"(,"orderData":{"number":"112233445566","money":16777216,"times":0})",
         0, 0x866A},
        {1009, "", 112, -1},
        {1009, R"(,"orderData":"x")", 112, -1},
        {1009, stepTwo(longKey), 105, -1},
        {1009, stepTwo(shortTime), 105, -1},
        {1009, stepTwo(typeOverByte), 105, -1},
        {1009, stepTwo(tmpAlg1), 0, 0x866A},
        {1010, R"(,"sfid":1,"id":1,"mode":0,"data":"0G")", 105, -1},
        {1010, R"(,"sfid":1,"id":1,"mode":0,"data":")" + std::string(600, '0') + "\"", 0, 0x866A},
        {1010, R"(,"sfid":32,"id":1,"mode":0,"data":"00")", 0, 0x866A},
        // A card object with no active card: 0xFFFF.
        {1006, R"(,"type":2)", 0, 0xFFFF},
        {1009, stepTwo(kRequest), 0, 0xFFFF},
    };
    for (const auto& c : cases) {
        const auto [result, reply] = run(c.code, c.fields);
        EXPECT_EQ(result, 1) << c.code << c.fields;
        EXPECT_EQ(reply.value("err", -1), c.err) << c.code << c.fields;
        if (c.retval >= 0)
            EXPECT_EQ(reply.value("retval", -1), c.retval) << c.code << c.fields;
        else
            EXPECT_FALSE(reply.contains("retval")) << c.code << c.fields;
    }
}

TEST_F(PbocHandler, StepOneReturnsTheWholeRecordWhateverTheStatus) {
    const auto [result, reply] =
        run(1008, R"(,"type":8,"id":1,)" + kKey + R"(,"orderData":{)" + kOrder + "}");
    ASSERT_EQ(result, 1);
    EXPECT_EQ(reply["retval"], 0x866A);
    const json& order = reply["orderData"];
    EXPECT_EQ(order["number"], "112233445566");
    EXPECT_EQ(order["money"], 100);
    EXPECT_EQ(order["times"], 1765432100);
    EXPECT_EQ(order["REQ"]["type"], 8);
    EXPECT_FALSE(order.contains("Commit"));
}

TEST(OrderRecordJson, ARecordComesBackAsItWasWritten) {
    const json order = json::parse(std::string("{") + kOrder + "," + kRequest + "}");
    Orvane::OrderRecord record;
    json reply = json::object();
    ASSERT_EQ(order_record_json::read(order, true, record, reply), 0);
    EXPECT_EQ(record.tmpKeyLen, 8);
    record.commitTac = 0xA4A3A2A1;
    json written = order_record_json::write(record, true);
    EXPECT_EQ(written["Commit"]["tac"], 0xA4A3A2A1u);
    EXPECT_EQ(written["Commit"]["mac"], 0);
    written.erase("Commit");
    EXPECT_EQ(written, order);
}
