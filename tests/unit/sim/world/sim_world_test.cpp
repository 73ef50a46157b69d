// The /sim routes and scenario files: cables pulled and put back, and the bound on cards per reader.

#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "sim/world/scenario.hpp"
#include "sim/world/sim_routes.hpp"
#include "support/hex_bytes.hpp"

using nlohmann::json;

namespace {

constexpr std::uint16_t kVaVendor = 0x0483;
constexpr std::uint16_t kVaProduct = 0x5751;

struct SimRoutesTest : testing::Test {
    void SetUp() override {
        ASSERT_EQ(rfsim::loadScenario(R"({"readers": [{"type": 4}, {"type": 2}, {"type": 6}]})", world), "");
    }
    rfsim::SimRouteReply call(std::string_view method, std::string_view path, std::string_view body = {}) {
        auto reply = rfsim::handleSimRoute(world, method, path, body);
        EXPECT_TRUE(reply) << path;
        return reply.value_or(rfsim::SimRouteReply{0, {}});
    }
    std::vector<bool> pluggedInOverview() {
        const json overview = json::parse(call("GET", "/sim").body);
        std::vector<bool> plugged;
        for (const auto& reader : overview["readers"])
            plugged.push_back(reader["plugged"].get<bool>());
        return plugged;
    }
    bool listed(const std::string& port) {
        const auto ports = world.bus()->listSerialPorts();
        return std::any_of(ports.begin(), ports.end(), [&](const auto& p) { return p.port == port; });
    }

    rfsim::SimWorld world;
};

std::string placeBody(std::size_t i) {
    const Bytes uid{0x20, 0x11, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)};
    return json{{"kind", "mifare1k"}, {"uid", Orvane::hexEncode(uid)}}.dump();
}

}  // namespace

TEST_F(SimRoutesTest, UnplugAndPlugEachReader) {
    EXPECT_EQ(pluggedInOverview(), (std::vector<bool>{true, true, true}));
    const std::string port = world.find(1)->host->portPath();
    ASSERT_TRUE(listed(port));

    // The HID reader leaves the bus and comes back.
    auto before = world.bus()->openHid(kVaVendor, kVaProduct);
    ASSERT_TRUE(before);
    EXPECT_EQ(call("POST", "/sim/readers/0/unplug").status, 204u);
    EXPECT_FALSE(world.bus()->openHid(kVaVendor, kVaProduct));
    // The serial one leaves the port list; an empty JSON object is as good as no body.
    EXPECT_EQ(call("POST", "/sim/readers/1/unplug", "{}").status, 204u);
    EXPECT_FALSE(listed(port));
    EXPECT_EQ(call("POST", "/sim/readers/1/unplug").status, 204u);  // out already
    EXPECT_EQ(pluggedInOverview(), (std::vector<bool>{false, false, true}));
    EXPECT_EQ(json::parse(call("GET", "/sim/readers/0/cards").body)["plugged"], false);

    EXPECT_EQ(call("POST", "/sim/readers/0/plug").status, 204u);
    EXPECT_EQ(call("POST", "/sim/readers/1/plug").status, 204u);
    EXPECT_EQ(call("POST", "/sim/readers/1/plug").status, 204u);  // in already
    EXPECT_EQ(pluggedInOverview(), (std::vector<bool>{true, true, true}));
    EXPECT_TRUE(listed(port));  // at the same path
    EXPECT_EQ(before->write(Bytes(65)), -1);
    EXPECT_TRUE(world.bus()->openHid(kVaVendor, kVaProduct));
}

TEST_F(SimRoutesTest, UnplugAfterTheNextRequest) {
    auto hid = world.bus()->openHid(kVaVendor, kVaProduct);
    ASSERT_TRUE(hid);
    EXPECT_EQ(call("POST", "/sim/readers/0/unplug", R"({"afterNextRequest": true})").status, 204u);
    EXPECT_EQ(pluggedInOverview()[0], true);  // until a request comes
    Bytes report(65, 0);
    const Bytes identify = hexBytes("FE 02 01 10 3C 0F");
    std::copy(identify.begin(), identify.end(), report.begin() + 1);
    EXPECT_EQ(hid->write(report), 65);
    EXPECT_EQ(pluggedInOverview()[0], false);
    Bytes input(64);
    EXPECT_EQ(hid->readTimeout(input, 10), -1);
    EXPECT_EQ(world.find(0)->reader->state().commands, (std::vector<std::uint8_t>{0x10}));
}

TEST_F(SimRoutesTest, RefusesWhatItCannotDo) {
    struct Case {
        const char* method;
        const char* path;
        const char* body;
        unsigned status;
    };
    const Case cases[] = {
        {"POST", "/sim/readers/9/unplug", "", 404},
        {"POST", "/sim/readers/9/plug", "", 404},
        {"POST", "/sim/readers/-1/plug", "", 404},
        {"POST", "/sim/readers/0/replug", "", 404},
        {"POST", "/sim/readers/0/unplug/now", "", 404},
        {"POST", "/sim/readers/0", "", 404},
        {"POST", "/sim/readers/0/", "", 404},
        {"GET", "/sim/readers/0/unplug", "", 405},
        {"DELETE", "/sim/readers/0/plug", "", 405},
        {"POST", "/sim/readers/0/unplug", "[true]", 400},
        {"POST", "/sim/readers/0/unplug", "{\"afterNextRequest\": 1}", 400},
        {"POST", "/sim/readers/0/unplug", "{not json", 400},
        {"POST", "/sim/readers/0/cards", "{\"kind\": \"mifare2k\"}", 400},
        {"DELETE", "/sim/readers/0/cards/0A0B0C0D", "", 404},
        {"PUT", "/sim/readers/0/cards", "", 405},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.path + " " + c.body);
        const auto reply = call(c.method, c.path, c.body);
        EXPECT_EQ(reply.status, c.status);
        const json body = json::parse(reply.body, nullptr, false);
        ASSERT_TRUE(body.is_object());
        EXPECT_TRUE(body["error"].is_string());
    }
    EXPECT_EQ(pluggedInOverview(), (std::vector<bool>{true, true, true}));
}

TEST_F(SimRoutesTest, AFullReaderRefusesOneCardMore) {
    for (std::size_t i = 0; i < rfsim::VirtualField::kMaxCards; ++i)
        ASSERT_EQ(call("POST", "/sim/readers/0/cards", placeBody(i)).status, 201u) << i;
    const auto refused = call("POST", "/sim/readers/0/cards", placeBody(rfsim::VirtualField::kMaxCards));
    EXPECT_EQ(refused.status, 409u);
    EXPECT_EQ(json::parse(refused.body)["error"], "the reader holds 64 cards already; take one off first");
    // A taken UID on a full reader is still reported as such.
    EXPECT_EQ(json::parse(call("POST", "/sim/readers/0/cards", placeBody(3)).body)["error"],
              "a card with this uid is on the reader already");
    EXPECT_EQ(call("DELETE", "/sim/readers/0/cards/20110003").status, 204u);
    EXPECT_EQ(call("POST", "/sim/readers/0/cards", placeBody(rfsim::VirtualField::kMaxCards)).status, 201u);
    EXPECT_EQ(world.find(0)->field->cards().size(), rfsim::VirtualField::kMaxCards);
    // The other readers have room of their own.
    EXPECT_EQ(call("POST", "/sim/readers/2/cards", placeBody(0)).status, 201u);
}

TEST(SimScenario, StartsReadersUnplugged) {
    rfsim::SimWorld world;
    ASSERT_EQ(
        rfsim::loadScenario(R"({"readers": [{"type": 1, "plugged": false}, {"type": 5, "plugged": false},
                                                  {"type": 3, "plugged": true}]})",
                            world),
        "");
    EXPECT_FALSE(world.find(0)->plugged());
    EXPECT_FALSE(world.find(1)->plugged());
    EXPECT_TRUE(world.find(2)->plugged());
    EXPECT_FALSE(world.bus()->openHid(0x10C4, 0x0210));
    EXPECT_TRUE(world.bus()->listSerialPorts().empty());
    EXPECT_TRUE(world.bus()->openHid(0x1A86, 0xE010));

    EXPECT_TRUE(world.find(0)->plug());
    EXPECT_TRUE(world.find(1)->plug());
    EXPECT_TRUE(world.bus()->openHid(0x10C4, 0x0210));
    ASSERT_EQ(world.bus()->listSerialPorts().size(), 1u);
    EXPECT_EQ(world.bus()->listSerialPorts()[0].port, world.find(1)->host->portPath());
}

TEST(SimScenario, TellsWhatIsWrong) {
    std::string tooMany = R"({"readers": [{"type": 4, "cards": [)";
    for (std::size_t i = 0; i <= rfsim::VirtualField::kMaxCards; ++i)
        tooMany += (i ? "," : "") + placeBody(i);
    tooMany += "]}]}";
    struct Case {
        std::string json;
        std::string error;
    };
    const Case cases[] = {
        {R"({"readers": [{"type": 4, "plugged": "no"}]})", R"(reader 0: "plugged" must be true or false)"},
        {R"({"readers": [{"type": 4}, {"type": 2, "plugged": 0}]})",
         R"(reader 1: "plugged" must be true or false)"},
        {tooMany, "reader 0, card 64: the reader holds 64 cards already; take one off first"},
        {R"({"readers": [{"type": 4, "cards": [{"kind": "mifare1k", "uid": "01020304"},
                                               {"kind": "mifare4k", "uid": "01020304"}]}]})",
         "reader 0, card 1: a card with this uid is on the reader already"},
    };
    for (const Case& c : cases) {
        rfsim::SimWorld world;
        EXPECT_EQ(rfsim::loadScenario(c.json, world), c.error);
    }
}
