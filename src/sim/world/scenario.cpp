#include "sim/world/scenario.hpp"

#include <nlohmann/json.hpp>

#include "sim/world/card_faults.hpp"
#include "sim/world/card_kinds.hpp"
#include "sim/world/scenario_scripts.hpp"

namespace rfsim {
namespace {

using nlohmann::json;

std::string placeCards(const json& cards, SimWorld::Reader& reader, const std::string& where) {
    if (!cards.is_array()) return where + ": \"cards\" must be an array";
    for (std::size_t i = 0; i < cards.size(); ++i) {
        const json& card = cards[i];
        const std::string at = where + ", card " + std::to_string(i);
        if (!card.is_object() || !card.contains("kind") || !card["kind"].is_string())
            return at + ": needs a string \"kind\"";
        std::string uid;
        if (card.contains("uid")) {
            if (!card["uid"].is_string()) return at + ": \"uid\" must be a string";
            uid = card["uid"].get<std::string>();
        }
        MadeCard made = makeCard(card["kind"].get<std::string>(), uid);
        if (!made.card) return at + ": " + made.error;
        if (card.contains("faults")) {
            if (std::string error = applyCardFaults(*made.card, card["faults"]); !error.empty())
                return at + ": " + error;
        }
        if (const Placement placed = reader.field->placeCard(made.card); placed != Placement::placed)
            return at + ": " + placementError(placed);
    }
    return {};
}

}  // namespace

std::string_view defaultScenario() {
    return R"({
  "readers": [
    { "type": 1, "cards": [ { "kind": "mifare1k-7", "uid": "04A1B2C3D4E580" } ] },
    { "type": 2, "cards": [ { "kind": "mifare1k", "uid": "2B7E1516" } ] },
    { "type": 3, "cards": [ { "kind": "mifare4k", "uid": "3C4D5E6F" } ] },
    { "type": 4, "cards": [ { "kind": "mifare1k", "uid": "01020304" } ] },
    { "type": 5, "cards": [ { "kind": "mifare4k", "uid": "5A6B7C8D" } ] },
    { "type": 6, "cards": [ { "kind": "mifare1k", "uid": "6E7F8091" } ] }
  ]
})";
}

std::string loadScenario(std::string_view text, SimWorld& world) {
    const json doc = json::parse(text, nullptr, false);
    if (doc.is_discarded()) return "the scenario is not JSON";
    if (!doc.is_object() || !doc.contains("readers") || !doc["readers"].is_array())
        return "the scenario needs a \"readers\" array";
    const json& readers = doc["readers"];
    for (std::size_t i = 0; i < readers.size(); ++i) {
        const json& entry = readers[i];
        const std::string where = "reader " + std::to_string(i);
        if (!entry.is_object() || !entry.contains("type") || !entry["type"].is_number_integer())
            return where + ": needs an integer \"type\"";
        const int type = entry["type"].get<int>();
        if (type < 1 || type > 6) return where + ": \"type\" must be 1 to 6";
        std::string name;
        if (entry.contains("name")) {
            if (!entry["name"].is_string()) return where + ": \"name\" must be a string";
            name = entry["name"].get<std::string>();
        }
        bool plugged = true;
        if (entry.contains("plugged")) {
            if (!entry["plugged"].is_boolean()) return where + ": \"plugged\" must be true or false";
            plugged = entry["plugged"].get<bool>();
        }
        SimWorld::Reader* reader = nullptr;
        if (namesScript(entry)) {
            if (std::string error = addScriptedReader(entry, type, name, where, world, reader);
                !error.empty())
                return error;
        } else {
            reader = world.add(type, nullptr, {}, name);
        }
        if (!reader) return where + ": the reader could not be set up (no pseudo-terminal?)";
        if (!plugged) reader->unplug();
        if (entry.contains("cards")) {
            if (std::string error = placeCards(entry["cards"], *reader, where); !error.empty()) return error;
        }
    }
    return {};
}

}  // namespace rfsim
