#include "commands/iso15693_commands.hpp"

#include <array>
#include <optional>
#include <vector>

#include "card/iso15693/block_strategies.hpp"
#include "card/iso15693/rf_iso15693.hpp"
#include "commands/entry/rf_reader_one.hpp"
#include "commands/rf_work.hpp"
#include "crypto/bind_buf.hpp"
#include "crypto/hex.hpp"
#include "crypto/std_buf.hpp"
#include "protocol/answer.hpp"
#include "protocol/log.hpp"
#include "protocol/request_fields.hpp"

using nlohmann::json;
namespace hr = handler_result;

namespace iso15693_commands {

namespace {

using Uid = Orvane::IIso15693Reader::Uid;

enum class Kind { uint, integer, boolean, string };
struct Param {
    const char* name;
    Kind kind;
};

// The parameters of each code; codes without any are absent.
std::vector<Param> parametersOf(GCODE code) {
    switch (code) {
        case 500:
            return {{"mode", Kind::uint},
                    {"uid", Kind::string},
                    {"dataRate", Kind::boolean},
                    {"subCarrier", Kind::boolean}};
        case 501:
        case 507:
            return {{"uid", Kind::string}};
        case 502:
            return {{"getState", Kind::boolean}, {"blockAddr", Kind::uint}};
        case 503:
            return {{"blockAddr", Kind::uint}, {"data", Kind::string}};
        case 504:
            return {{"blockAddr", Kind::uint}};
        case 505:
            return {{"mode", Kind::integer},
                    {"getState", Kind::boolean},
                    {"firstBlockAddr", Kind::uint},
                    {"blockNum", Kind::uint}};
        case 506:
            return {{"mode", Kind::integer},
                    {"firstBlockAddr", Kind::uint},
                    {"blockNum", Kind::uint},
                    {"data", Kind::string}};
        case 509:
            return {{"afi", Kind::uint}};
        case 511:
            return {{"dsfid", Kind::uint}};
        case 514:
            return {{"firstBlockAddr", Kind::uint}, {"blockNum", Kind::uint}};
        default:
            return {};
    }
}

bool present(const json& request, const Param& p) {
    switch (p.kind) {
        case Kind::uint:
            return uintField(request, p.name).has_value();
        case Kind::integer:
            return intField(request, p.name).has_value();
        case Kind::boolean:
            return boolField(request, p.name).has_value();
        case Kind::string:
            return stringField(request, p.name) != nullptr;
    }
    return false;
}

// Parameters are known present (hasParameters) when these run.
std::uint8_t byteOf(const json& request, const char* name) {
    return lowByte(*uintField(request, name));
}
bool flagOf(const json& request, const char* name) {
    return *boolField(request, name);
}

std::optional<Uid> uidOf(const json& request) {
    const auto bytes = Orvane::hexDecode(*stringField(request, "uid"), 8);
    if (!bytes || bytes->size() != 8) return std::nullopt;
    Uid uid{};
    std::copy(bytes->begin(), bytes->end(), uid.begin());
    return uid;
}

std::string hexOf(const Orvane::IBuffer& buffer) {
    return Orvane::hexEncode(std::span(buffer.data(), buffer.size()));
}

int status(json& reply, std::uint8_t value) {
    reply["retval"] = value;
    return answer(reply);
}

int setMode(const json& request, json& reply, Orvane::IIso15693Reader& tags) {
    const std::uint8_t mode = byteOf(request, "mode");
    const auto uid = uidOf(request);
    // Only the addressed mode needs the UID; the others run on zeros.
    if (!uid && mode == 1) return answer(reply, Result::kBadData);
    reply["retval"] =
        tags.setMode(mode, uid.value_or(Uid{}), flagOf(request, "dataRate"), flagOf(request, "subCarrier"));
    return answer(reply);
}

int withUid(const json& request, json& reply, std::uint8_t (Orvane::IIso15693Reader::*op)(const Uid&),
            Orvane::IIso15693Reader& tags) {
    const auto uid = uidOf(request);
    if (!uid) return answer(reply, Result::kBadData);
    return status(reply, (tags.*op)(*uid));
}

int readOne(const json& request, json& reply, Orvane::IIso15693Reader& tags) {
    std::array<std::uint8_t, 32> block{};
    Orvane::BindBuf buffer(block.data(), block.size());
    reply["retval"] = tags.readSingleBlock(flagOf(request, "getState"), byteOf(request, "blockAddr"), buffer);
    reply["data"] = hexOf(buffer);
    return answer(reply);
}

int writeOne(const json& request, json& reply, Orvane::IIso15693Reader& tags) {
    const auto data = Orvane::hexDecode(*stringField(request, "data"), 32);
    if (!data || data->empty()) return answer(reply, Result::kBadData);
    return status(reply, tags.writeSingleBlock(byteOf(request, "blockAddr"), data->data(),
                                               static_cast<std::uint8_t>(data->size())));
}

int readMany(const json& request, json& reply, Orvane::IIso15693Reader& tags) {
    Orvane::StdBuf buffer;
    reply["retval"] =
        Orvane::readBlocks(tags, *intField(request, "mode"), flagOf(request, "getState"),
                           byteOf(request, "firstBlockAddr"), byteOf(request, "blockNum"), buffer);
    reply["data"] = hexOf(buffer);
    return answer(reply);
}

int writeMany(const json& request, json& reply, Orvane::IIso15693Reader& tags) {
    const auto data = Orvane::hexDecode(*stringField(request, "data"));
    if (!data) return answer(reply, Result::kBadData);
    return status(reply, Orvane::writeBlocks(tags, *intField(request, "mode"),
                                             byteOf(request, "firstBlockAddr"), byteOf(request, "blockNum"),
                                             data->data(), static_cast<std::uint32_t>(data->size())));
}

int systemInfo(json& reply, Orvane::IIso15693Reader& tags) {
    Orvane::Iso15693SystemInfo info{};
    reply["retval"] = tags.getSystemInfo(info);
    reply["flags"] = info.flags;
    reply["uid"] = Orvane::hexEncode(info.uid);
    reply["dsfid"] = info.dsfid;
    reply["afi"] = info.afi;
    reply["blockNum"] = info.blockNum;
    reply["byteSize"] = info.byteSize;
    reply["icRef"] = info.icRef;
    return answer(reply);
}

int blockSecurity(const json& request, json& reply, Orvane::IIso15693Reader& tags) {
    std::array<std::uint8_t, 256> states{};
    Orvane::BindBuf buffer(states.data(), states.size());
    reply["retval"] =
        tags.getMultipleBlockSecurity(byteOf(request, "firstBlockAddr"), byteOf(request, "blockNum"), buffer);
    reply["data"] = hexOf(buffer);
    return answer(reply);
}

}  // namespace

bool serves(GCODE code) {
    return code >= 500 && code <= 514;
}

bool hasParameters(GCODE code, const json& request) {
    for (const Param& p : parametersOf(code))
        if (!present(request, p)) return false;
    return true;
}

EntryNeeds needsOf(GCODE code) {
    return serves(code) ? EntryNeeds{.exchange = true} : EntryNeeds{};
}

int run(GCODE code, const json& request, json& reply, Orvane::IIso15693Reader& tags) {
    using R = Orvane::IIso15693Reader;
    switch (code) {
        case 500:
            return setMode(request, reply, tags);
        case 501:
            return withUid(request, reply, &R::stayQuiet, tags);
        case 502:
            return readOne(request, reply, tags);
        case 503:
            return writeOne(request, reply, tags);
        case 504:
            return status(reply, tags.lockBlock(byteOf(request, "blockAddr")));
        case 505:
            return readMany(request, reply, tags);
        case 506:
            return writeMany(request, reply, tags);
        case 507:
            return withUid(request, reply, &R::select, tags);
        case 508:
            return status(reply, tags.resetToReady());
        case 509:
            return status(reply, tags.writeAfi(byteOf(request, "afi")));
        case 510:
            return status(reply, tags.lockAfi());
        case 511:
            return status(reply, tags.writeDsfid(byteOf(request, "dsfid")));
        case 512:
            return status(reply, tags.lockDsfid());
        case 513:
            return systemInfo(reply, tags);
        case 514:
            return blockSecurity(request, reply, tags);
        default:
            logWarn("Iso15693 gcode %d fail", code);
            return answer(reply, Result::kUnknownCode);
    }
}

}  // namespace iso15693_commands

int RfWork::workIso15693(GCODE code, const json& request, json& reply) {
    if (!iso15693_commands::hasParameters(code, request)) return hr::kMalformed;
    return onEntry(request, reply, iso15693_commands::needsOf(code), [&](EntryCommand& command) {
        const std::shared_ptr<RfIso15693> tags = command.entry().iso15693();
        return iso15693_commands::run(code, request, reply, *tags);
    });
}
