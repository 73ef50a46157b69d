// Placing CPU cards through the /sim routes and scenario files, with their fault switches.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "sim/card/cpu_card.hpp"
#include "sim/world/scenario.hpp"
#include "sim/world/sim_routes.hpp"
#include "support/hex_bytes.hpp"

using nlohmann::json;

namespace {

rfsim::CpuCard* cpuCardOn(rfsim::SimWorld& world, int reader) {
    const auto cards = world.find(reader)->field->cards();
    if (cards.size() != 1) return nullptr;
    return dynamic_cast<rfsim::CpuCard*>(cards.front().get());
}

}  // namespace

TEST(CpuCardWorld, SimRoutesPlaceACpuCardWithItsFaults) {
    rfsim::SimWorld world;
    ASSERT_EQ(rfsim::loadScenario(R"({"readers": [{"type": 3}]})", world), "");
    const int id = world.readers().front()->id;
    const std::string cards = "/sim/readers/" + std::to_string(id) + "/cards";
    const auto placed = rfsim::handleSimRoute(world, "POST", cards,
                                              R"({"kind": "cpu", "uid": "04A1B2C3D4E5F6",
                                                  "faults": {"badResponseMac": true}})");
    ASSERT_TRUE(placed);
    EXPECT_EQ(placed->status, 201u) << placed->body;
    rfsim::CpuCard* card = cpuCardOn(world, id);
    ASSERT_TRUE(card);
    EXPECT_TRUE(card->faults().badResponseMac);

    const json overview = json::parse(rfsim::handleSimRoute(world, "GET", "/sim", "")->body);
    EXPECT_EQ(overview["readers"][0]["cards"][0],
              json({{"kind", "cpu"}, {"uid", "04A1B2C3D4E5F6"}, {"faults", {{"badResponseMac", true}}}}));
    EXPECT_TRUE(overview["cardKindDescriptions"]["cpu"].is_string());

    struct Case {
        const char* body;
        unsigned status;
    };
    const Case refused[] = {
        {R"({"kind": "cpu", "uid": "01020304"})", 400},
        {R"({"kind": "cpu", "faults": {"badResponseMac": 1}})", 400},
        {R"({"kind": "cpu", "faults": {"noSuchFault": true}})", 400},
        {R"({"kind": "cpu", "faults": []})", 400},
        {R"({"kind": "mifare1k", "faults": {"badResponseMac": true}})", 400},
    };
    for (const auto& c : refused) {
        const auto reply = rfsim::handleSimRoute(world, "POST", cards, c.body);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, c.status) << c.body;
    }
    EXPECT_EQ(world.find(id)->field->cards().size(), 1u);
}

TEST(CpuCardWorld, ScenarioPlacesACpuCard) {
    rfsim::SimWorld world;
    ASSERT_EQ(rfsim::loadScenario(R"({"readers": [{"type": 1, "cards": [{"kind": "cpu"}]},
                                                  {"type": 5, "cards": [{"kind": "cpu", "uid": "04010203040506",
                                                   "faults": {"badResponseMac": true}}]}]})",
                                  world),
              "");
    const auto& readers = world.readers();
    ASSERT_EQ(readers.size(), 2u);
    rfsim::CpuCard* first = cpuCardOn(world, readers[0]->id);
    rfsim::CpuCard* second = cpuCardOn(world, readers[1]->id);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->uid().size(), 7u);
    EXPECT_FALSE(first->faults().badResponseMac);
    EXPECT_TRUE(second->faults().badResponseMac);
    EXPECT_EQ(rfsim::loadScenario(
                  R"({"readers": [{"type": 1, "cards": [{"kind": "cpu", "faults": {"x": true}}]}]})", world),
              "reader 0, card 0: unknown fault \"x\"");
}
