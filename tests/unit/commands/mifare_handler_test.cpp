// The Mifare Classic handler's slot checks and its dispatch to the slot's card object.

#include <gtest/gtest.h>

#include "commands/rf_work.hpp"
#include "support/fake_channel.hpp"

using nlohmann::json;

TEST(MifareHandler, SlotChecksThenTheSlotsCardObject) {
    auto channel = std::make_shared<FakeChannel>();
    RfWork work{channel};
    const auto run = [&](GCODE code, const char* request, int result, int err) {
        json reply = json::object();
        EXPECT_EQ(work.workMifareClassic(code, json::parse(request), reply), result)
            << code << " " << request;
        if (err < 0) {
            EXPECT_TRUE(reply.empty()) << request;
        } else {
            EXPECT_EQ(reply.value("err", -1), err) << code << " " << request;
        }
        return reply;
    };
    for (const char* request : {"[]", "{}", R"({"rfIdx":-1})", R"({"rfIdx":1.5})", R"({"rfIdx":"0"})"})
        run(203, request, -1, -1);
    run(203, R"({"rfIdx":6})", 1, 109);
    run(210, R"({"rfIdx":0,"power":"FF078069"})", 1, 102);

    // A slot with a reader that was never opened: commands that need no card still work.
    json reply = json::object();
    ASSERT_EQ(work.workRfReader(100, {{"rfIdx", 0}, {"devType", 4}}, reply), 1);
    EXPECT_EQ(run(210, R"({"rfIdx":0,"power":"FF078069"})", 1, 0)["bitStr"], "000|000|000|001");
    EXPECT_EQ(run(203, R"({"rfIdx":0})", 1, 0)["retval"], false);
    EXPECT_EQ(run(205, R"({"rfIdx":0})", 1, 0)["retval"], false);
    EXPECT_EQ(
        run(207,
            R"({"rfIdx":0,"reSelect":true,"sector":1,"pwd":"FFFFFFFFFFFF","pos":0,"num":0,"keyB":false,"fill":false})",
            1, 0)["retval"],
        -3);
    run(207, R"({"rfIdx":0,"reSelect":true,"sector":1,"pwd":"FFFFFFFFFFFF","pos":0,"num":0,"keyB":false})",
        -1, -1);
    run(212, R"({"rfIdx":0})", 1, 103);
    run(298, R"({"rfIdx":5})", 1, 102);
}
