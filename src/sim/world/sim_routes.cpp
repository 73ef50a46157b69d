#include "sim/world/sim_routes.hpp"

#include <charconv>
#include <nlohmann/json.hpp>

#include "crypto/hex.hpp"
#include "sim/world/card_faults.hpp"
#include "sim/world/card_kinds.hpp"

namespace rfsim {
namespace {

using nlohmann::json;

SimRouteReply reply(unsigned status, const json& body) {
    return {status, body.dump(2)};
}

SimRouteReply error(unsigned status, std::string why) {
    return reply(status, json{{"error", std::move(why)}});
}

json describe(const SimWorld::Reader& reader) {
    json cards = json::array();
    for (const auto& card : reader.field->cards()) {
        json entry = {{"kind", kindOf(*card)}, {"uid", Orvane::hexEncode(card->uid())}};
        if (json faults = cardFaults(*card); !faults.is_null()) entry["faults"] = std::move(faults);
        cards.push_back(std::move(entry));
    }
    json out = {{"id", reader.id},
                {"type", reader.type},
                {"name", reader.name},
                {"plugged", reader.plugged()},
                {"cards", std::move(cards)}};
    if (reader.host) out["port"] = reader.host->portPath();
    if (reader.script) out.update(reader.script->status());
    return out;
}

SimRouteReply overview(const SimWorld& world) {
    json readers = json::array();
    for (const auto& reader : world.readers())
        readers.push_back(describe(*reader));
    json kinds = json::array();
    json descriptions = json::object();
    for (const auto& kind : cardKinds()) {
        kinds.push_back(kind.name);
        descriptions[kind.name] = kind.description;
    }
    return reply(200, {{"readers", std::move(readers)},
                       {"cardKinds", std::move(kinds)},
                       {"cardKindDescriptions", std::move(descriptions)}});
}

SimRouteReply placeCard(SimWorld::Reader& reader, std::string_view body) {
    const json request = json::parse(body, nullptr, false);
    if (request.is_discarded() || !request.is_object()) return error(400, "the body must be a JSON object");
    if (!request.contains("kind") || !request["kind"].is_string())
        return error(400, "the card needs a string \"kind\"");
    std::string uid;
    if (request.contains("uid")) {
        if (!request["uid"].is_string()) return error(400, "\"uid\" must be a string of hex digits");
        uid = request["uid"].get<std::string>();
    }
    MadeCard made = makeCard(request["kind"].get<std::string>(), uid);
    if (!made.card) return error(400, made.error);
    if (request.contains("faults")) {
        if (std::string why = applyCardFaults(*made.card, request["faults"]); !why.empty())
            return error(400, why);
    }
    // A full reader conflicts with the card as a taken UID does: the same request succeeds once a
    // card is taken off.
    if (const Placement placed = reader.field->placeCard(made.card); placed != Placement::placed)
        return error(409, placementError(placed));
    return reply(201, {{"kind", kindOf(*made.card)}, {"uid", Orvane::hexEncode(made.card->uid())}});
}

SimRouteReply removeCard(SimWorld::Reader& reader, std::string_view uidText) {
    const auto uid = Orvane::hexDecode(uidText, 10);
    if (!uid || uid->empty()) return error(400, "the uid in the path is not hex text of at most 10 bytes");
    if (!reader.field->remove(*uid)) return error(404, "no card with this uid on the reader");
    return {204, {}};
}

SimRouteReply unplug(SimWorld::Reader& reader, std::string_view body) {
    bool afterNextRequest = false;
    if (!body.empty()) {
        const json request = json::parse(body, nullptr, false);
        if (request.is_discarded() || !request.is_object())
            return error(400, "the body must be empty or a JSON object");
        if (request.contains("afterNextRequest")) {
            if (!request["afterNextRequest"].is_boolean())
                return error(400, "\"afterNextRequest\" must be true or false");
            afterNextRequest = request["afterNextRequest"].get<bool>();
        }
    }
    if (afterNextRequest) {
        reader.reader->unplugAfterNextRequest();
    } else {
        reader.unplug();
    }
    return {204, {}};
}

SimRouteReply plug(SimWorld::Reader& reader) {
    if (!reader.plug()) return error(500, "the reader's pseudo-terminal could not be set up again");
    return {204, {}};
}

// "/readers/{id}/{what}[/{uid}]" split into its parts.
struct ReaderPath {
    int id = -1;
    std::string_view what;  // "cards", "unplug", "plug"
    std::optional<std::string_view> uid;
};

std::optional<ReaderPath> parseReaderPath(std::string_view rest) {
    constexpr std::string_view kReaders = "/readers/";
    if (!rest.starts_with(kReaders)) return std::nullopt;
    rest.remove_prefix(kReaders.size());
    ReaderPath path;
    const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), path.id);
    if (ec != std::errc{} || end == rest.data()) return std::nullopt;
    rest.remove_prefix(static_cast<std::size_t>(end - rest.data()));
    if (!rest.starts_with('/')) return std::nullopt;
    rest.remove_prefix(1);
    const std::size_t slash = rest.find('/');
    path.what = rest.substr(0, slash);
    if (slash == std::string_view::npos) return path;
    rest.remove_prefix(slash);
    if (path.what != "cards") return rest == "/" ? std::optional(path) : std::nullopt;
    if (rest != "/") path.uid = rest.substr(1);
    return path;
}

}  // namespace

std::optional<SimRouteReply> handleSimRoute(SimWorld& world, std::string_view method, std::string_view path,
                                            std::string_view body) {
    if (path != "/sim" && !path.starts_with("/sim/")) return std::nullopt;
    std::string_view rest = path.substr(4);
    if (rest.empty() || rest == "/") {
        if (method != "GET" && method != "HEAD") return error(405, "use GET on /sim");
        return overview(world);
    }
    const auto parsed = parseReaderPath(rest);
    if (!parsed || (parsed->what != "cards" && parsed->what != "unplug" && parsed->what != "plug"))
        return error(404, "no such simulator route");
    SimWorld::Reader* reader = world.find(parsed->id);
    if (!reader) return error(404, "no reader " + std::to_string(parsed->id));
    if (parsed->what == "unplug") {
        if (method != "POST") return error(405, "use POST on this simulator route");
        return unplug(*reader, body);
    }
    if (parsed->what == "plug") {
        if (method != "POST") return error(405, "use POST on this simulator route");
        return plug(*reader);
    }
    if (method == "GET" && !parsed->uid) return reply(200, describe(*reader));
    if (method == "POST" && !parsed->uid) return placeCard(*reader, body);
    if (method == "DELETE" && parsed->uid) return removeCard(*reader, *parsed->uid);
    if (method == "DELETE") {
        reader->field->clear();
        return SimRouteReply{204, {}};
    }
    return error(405, "method not allowed on this simulator route");
}

}  // namespace rfsim
