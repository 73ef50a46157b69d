// The FM COS handler without a card: common checks, required fields (the five of "attr"), and the
// answers that come before any card traffic.

#include <gtest/gtest.h>

#include "commands/rf_work.hpp"
#include "support/fake_channel.hpp"

using nlohmann::json;

namespace {

class FmCosHandler : public testing::Test {
  protected:
    void SetUp() override {
        json reply = json::object();
        ASSERT_EQ(work.workRfReader(100, {{"rfIdx", 0}, {"devType", 4}}, reply), 1);
    }
    std::pair<int, json> run(GCODE code, const std::string& fields) {
        json reply = json::object();
        const int result =
            work.workCosFm2(code, json::parse(R"({"rfIdx":0,"cpuId":0)" + fields + "}"), reply);
        return {result, reply};
    }

    std::shared_ptr<FakeChannel> channel = std::make_shared<FakeChannel>();
    RfWork work{channel};
};

const std::string kKeyFields = R"(,"oldType":1,"id":1,"type":58,"use":240,"ren":239,"pow":1,"err":51)";

}  // namespace

TEST_F(FmCosHandler, CommonChecksAndRequiredFields) {
    json reply = json::object();
    EXPECT_EQ(work.workCosFm2(900, json{{"rfIdx", 0}}, reply), -1);
    EXPECT_EQ(run(900, R"(,"cpuId":3)").second["err"], 113);
    EXPECT_EQ(run(905, "").second["err"], 103);
    const std::string missing[][2] = {
        {"901", R"(,"fid":1,"size":1,"create":0,"erase":0,"sfi":0)"},
        {"902", R"(,"type":40,"fid":1,"size":16,"read":240)"},
        {"902",
         R"(,"type":40,"fid":1,"size":16,"read":240,"write":240,"attr":{"macr":false,"macw":true,"enc":false,"idr":0})"},
        {"902",
         R"(,"type":40,"fid":1,"size":16,"read":240,"write":240,"attr":{"macr":false,"macw":1,"enc":false,"idr":0,"idw":1})"},
        {"902", R"(,"type":40,"fid":1,"size":16,"read":240,"write":240,"attr":true)"},
        {"903", R"(,"type":2,"use":240)"},
        {"904", kKeyFields + R"(,"key":{"alg":1,"param":"123456"})"},
        {"904", kKeyFields + R"(,"attr":{"enc":false},"key":{"alg":1,"param":"123456"})"},
        {"904", kKeyFields + R"(,"attr":{"enc":false,"mac":false})"},
        {"904", kKeyFields + R"(,"attr":{"enc":false,"mac":false},"key":{"param":"123456"})"},
    };
    for (const auto& m : missing)
        EXPECT_EQ(run(std::stoi(m[0]), m[1]).first, -1) << m[0] << m[1];
}

TEST_F(FmCosHandler, AnswersBeforeAnyCardTraffic) {
    struct Case {
        GCODE code;
        std::string fields;
        int err;
        int retval;  // -1: none expected
    };
    const std::string attr = R"(,"attr":{"enc":false,"mac":false})";
    const Case cases[] = {
        {901, R"(,"aid":"F0F","fid":1,"size":1,"create":0,"erase":0,"sfi":0)", 105, -1},
        {901, R"(,"aid":"F0F1F2F3F4F5F6F7F8F9FAFBFCFDFEFF00","fid":1,"size":1,"create":0,"erase":0,"sfi":0)",
         0, 0x866A},
        {903, R"(,"type":2,"use":240,"sfi":32)", 0, 0x866A},
        {904, kKeyFields + attr + R"(,"key":{"alg":1,"param":"12345678901234"})", 0, 0x866A},
        {904, kKeyFields + attr + R"(,"key":{"alg":1,"param":"12a4"})", 105, -1},
        {904, kKeyFields + attr + R"(,"key":{"alg":2,"param":"0x123"})", 105, -1},
        {904, kKeyFields + attr + R"(,"key":{"alg":5,"param":"0123456789abcdefg"})", 112, -1},
        {904, kKeyFields + attr + R"(,"key":{"alg":5,"param":"0123"})", 0, 0x866A},
        {904,
         kKeyFields + attr +
             R"(,"key":{"alg":1,"param":"123456"},"safe":{"enc":false,"mac":true,"key":{"alg":2,"param":"1"}})",
         105, -1},
        // A card object with no active card: 0xFFFF.
        {900, "", 0, 0xFFFF},
        {904, kKeyFields + attr + R"(,"key":{"alg":1,"param":"123456"})", 0, 0xFFFF},
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
