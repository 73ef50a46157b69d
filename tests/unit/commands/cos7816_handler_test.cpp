// The COS 7816 handler without a card: the common checks (slot, card kind), which fields are
// required, and the answers that come before any card traffic (hex that does not decode, bounds).
// A type A card object with no active card answers 0xFFFF to anything sent, the type B one 0.

#include <gtest/gtest.h>

#include "commands/rf_work.hpp"
#include "support/fake_channel.hpp"

using nlohmann::json;

namespace {

class Cos7816Handler : public testing::Test {
  protected:
    void SetUp() override {
        json reply = json::object();
        ASSERT_EQ(work.workRfReader(100, {{"rfIdx", 0}, {"devType", 4}}, reply), 1);
    }
    // The handler's result, and the reply it left.
    std::pair<int, json> run(GCODE code, const std::string& request) {
        json reply = json::object();
        const int result = work.workCos7816(code, json::parse(request), reply);
        return {result, reply};
    }

    std::shared_ptr<FakeChannel> channel = std::make_shared<FakeChannel>();
    RfWork work{channel};
};

}  // namespace

TEST_F(Cos7816Handler, CommonChecks) {
    struct Case {
        const char* request;
        int result;
        int err;  // -1: nothing written
    };
    const Case cases[] = {
        {R"({"rfIdx":0})", -1, -1},
        {R"({"cpuId":0})", -1, -1},
        {R"({"rfIdx":0,"cpuId":-1,"is32":true})", -1, -1},
        {R"({"rfIdx":0,"cpuId":"0","is32":true})", -1, -1},
        {R"({"rfIdx":6,"cpuId":0,"is32":true})", 1, 109},
        {R"({"rfIdx":1,"cpuId":0,"is32":true})", 1, 102},
        {R"({"rfIdx":1,"cpuId":7,"is32":true})", 1, 102},
        {R"({"rfIdx":0,"cpuId":2,"is32":true})", 1, 113},
        {R"({"rfIdx":0,"cpuId":0})", -1, -1},
        {R"({"rfIdx":0,"cpuId":0,"is32":1})", -1, -1},
        {R"({"rfIdx":0,"cpuId":0,"is32":true})", 1, 0},
    };
    for (const auto& c : cases) {
        const auto [result, reply] = run(800, c.request);
        EXPECT_EQ(result, c.result) << c.request;
        if (c.err < 0)
            EXPECT_TRUE(reply.empty()) << c.request;
        else
            EXPECT_EQ(reply.value("err", -1), c.err) << c.request;
    }
    EXPECT_EQ(run(810, R"({"rfIdx":0,"cpuId":0})").second["err"], 103);
    EXPECT_EQ(run(898, R"({"rfIdx":0,"cpuId":1})").second["err"], 103);
}

TEST_F(Cos7816Handler, RequiredFields) {
    const char* missing[][2] = {
        {"801", R"({"aid":"A000"})"},
        {"801", R"({"fid":0,"aid":12})"},
        {"801", R"({"fid":0,"name":false})"},
        {"802", R"({"id":1})"},
        {"802", R"({"id":1,"key":{"alg":2}})"},
        {"802", R"({"key":{"alg":2,"param":"0011223344556677"}})"},
        {"803", R"({"id":0,"pin":123456})"},
        {"804", R"({"id":0,"type":0})"},
        {"805", R"({"sfid":1,"data":"00"})"},
        {"805", R"({"sfid":1,"pos":0,"data":"00","safe":{"enc":false,"key":{"alg":2,"param":""}}})"},
        {"806", R"({"sfid":1,"id":1,"data":"00"})"},
        {"807", R"({"data":"00"})"},
        {"808", R"({"sfid":1,"pos":0})"},
        {"809", R"({"sfid":1,"id":1,"size":4})"},
        {"809", R"({"sfid":1,"id":1,"mode":4,"size":-4})"},
    };
    for (const auto& m : missing) {
        json request = json::parse(m[1]);
        request["rfIdx"] = 0;
        request["cpuId"] = 0;
        const auto [result, reply] = run(std::stoi(m[0]), request.dump());
        EXPECT_EQ(result, -1) << m[0] << " " << m[1];
    }
}

TEST_F(Cos7816Handler, AnswersBeforeAnyCardTraffic) {
    struct Case {
        GCODE code;
        std::string fields;
        int err;
        int retval;  // -1: none expected
    };
    const std::string data300(600, 'A');
    const Case cases[] = {
        {801, R"("fid":0,"aid":"A00")", 105, -1},
        {801, R"("fid":0,"aid":"A0000000030000000000000000000000FF")", 0, 0x866A},
        {803, R"("id":0,"pin":"12a456")", 0, 0x866A},
        {803, R"("id":0,"pin":"1234567890123")", 0, 0x866A},
        {804, R"("id":0,"type":0,"data":"GG")", 105, -1},
        {805, R"("sfid":0,"pos":0,"data":")" + data300 + "\"", 0, 0x866A},
        {805, R"("sfid":1,"pos":256,"data":"00")", 0, 0x866A},
        {805, R"("sfid":0,"pos":32768,"data":"00")", 0, 0x866A},
        // Fields are bounded whole: 0x10123 is not offset 0x0123, nor sfid 0x103 SFI 3.
        {805, R"("sfid":0,"pos":65827,"data":"00")", 0, 0x866A},
        {808, R"("sfid":259,"pos":0,"size":4)", 0, 0x866A},
        {805, R"("sfid":32,"pos":0,"data":"00")", 0, 0x866A},
        {805, R"("sfid":1,"pos":0,"data":"0")", 105, -1},
        {806, R"("sfid":32,"id":1,"mode":4,"data":"00")", 0, 0x866A},
        {807, R"("sfid":259,"data":"00")", 0, 0x866A},
        {808, R"("sfid":1,"pos":0,"size":253)", 0, 0x866A},
        {809, R"("sfid":1,"id":1,"mode":4,"size":300)", 0, 0x866A},
        {805, R"("sfid":1,"pos":0,"data":"00","safe":{"enc":false,"mac":true,"key":{"alg":2,"param":"123"}})",
         105, -1},
        {808,
         R"("sfid":1,"pos":0,"size":4,"safe":{"enc":false,"mac":true,"key":{"alg":9,"param":"01234567890123456"}})",
         112, -1},
        {802, R"("id":1,"key":{"alg":2,"param":"0x1"})", 105, -1},
        // With no active card the card object sends nothing and answers 0xFFFF.
        {808, R"("sfid":1,"pos":0,"size":4)", 0, 0xFFFF},
        {801, R"("fid":16128)", 0, 0xFFFF},
    };
    for (const auto& c : cases) {
        const std::string request = R"({"rfIdx":0,"cpuId":0,)" + c.fields + "}";
        const auto [result, reply] = run(c.code, request);
        EXPECT_EQ(result, 1) << c.code << " " << c.fields;
        EXPECT_EQ(reply.value("err", -1), c.err) << c.code << " " << c.fields;
        if (c.retval >= 0)
            EXPECT_EQ(reply.value("retval", -1), c.retval) << c.code << " " << c.fields;
        else
            EXPECT_FALSE(reply.contains("retval")) << c.code << " " << c.fields;
    }
}

TEST_F(Cos7816Handler, TheTypeBCardAnswersZero) {
    const auto [result, reply] = run(800, R"({"rfIdx":0,"cpuId":1,"is32":false})");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(reply["retval"], 0);
    EXPECT_EQ(reply["data"], "0000000000000000");
    EXPECT_EQ(run(807, R"({"rfIdx":0,"cpuId":1,"sfid":5,"data":"0102"})").second["retval"], 0);
    EXPECT_EQ(run(800, R"({"rfIdx":0,"cpuId":0,"is32":true})").second["data"], "00000000");
}
