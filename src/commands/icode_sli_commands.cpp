#include "commands/icode_sli_commands.hpp"

#include <algorithm>
#include <optional>

#include "card/icode/rf_icode_sli.hpp"
#include "commands/entry/rf_reader_one.hpp"
#include "commands/rf_work.hpp"
#include "crypto/hex.hpp"
#include "crypto/std_buf.hpp"
#include "protocol/answer.hpp"
#include "protocol/log.hpp"
#include "protocol/request_fields.hpp"

using nlohmann::json;
namespace hr = handler_result;

namespace icode_sli_commands {

namespace {

using Password = Orvane::IIcodeSliReader::Password;
using Uid = Orvane::IIso15693Reader::Uid;

// Exactly N bytes of hex in the string field `name` (known present).
template <std::size_t N>
std::optional<std::array<std::uint8_t, N>> exactBytes(const json& request, const char* name) {
    const auto bytes = Orvane::hexDecode(*stringField(request, name), N);
    if (!bytes || bytes->size() != N) return std::nullopt;
    std::array<std::uint8_t, N> out{};
    std::copy(bytes->begin(), bytes->end(), out.begin());
    return out;
}

std::uint8_t byteOf(const json& request, const char* name) {
    return lowByte(*uintField(request, name));
}

int status(json& reply, std::uint8_t value) {
    reply["retval"] = value;
    return answer(reply);
}

int easAlarm(json& reply, Orvane::IIcodeSliReader& tags) {
    Orvane::StdBuf buffer;
    reply["retval"] = tags.easAlarm(buffer);
    reply["data"] = Orvane::hexEncode(std::span(buffer.data(), buffer.size()));
    return answer(reply);
}

// 605 and 606: a password and its identifier.
int passwordWithId(const json& request, json& reply, Orvane::IIcodeSliReader& tags, bool write) {
    const auto pwd = exactBytes<4>(request, "pwd");
    if (!pwd) return answer(reply, Result::kBadData);
    const std::uint8_t id = byteOf(request, "id");
    return status(reply, write ? tags.writePassword(*pwd, id) : tags.setPassword(*pwd, id));
}

int password(const json& request, json& reply, Orvane::IIcodeSliReader& tags) {
    const auto pwd = exactBytes<4>(request, "pwd");
    if (!pwd) return answer(reply, Result::kBadData);
    return status(reply, tags.passwordCommand(*pwd));
}

int uid(const json& request, json& reply, Orvane::IIcodeSliReader& tags) {
    const auto value = exactBytes<8>(request, "uid");
    if (!value) return answer(reply, Result::kBadData);
    return status(reply, tags.uidCommand(*value));
}

int writeBlockData(const json& request, json& reply, Orvane::IIcodeSliReader& tags) {
    const auto data = Orvane::hexDecode(*stringField(request, "data"));
    if (!data) return answer(reply, Result::kBadData);
    // The command's length byte carries the low 8 bits of the length: never more than there is.
    return status(reply, tags.writeBlockData(byteOf(request, "blockAddr"), data->data(),
                                             static_cast<std::uint8_t>(data->size() & 0xFF)));
}

int authStart(json& reply, Orvane::IIcodeSliReader& tags) {
    std::uint8_t address = 0xFF;  // stays so when the tag does not answer one
    reply["retval"] = tags.getAuthStartAddr(address);
    reply["authStartAddr"] = address;
    return answer(reply);
}

}  // namespace

bool serves(GCODE code) {
    return code >= 600 && code <= 612;
}

bool hasParameters(GCODE code, const json& request) {
    switch (code) {
        case 604:
            return uintField(request, "type").has_value();
        case 605:
        case 606:
            return stringField(request, "pwd") != nullptr && uintField(request, "id").has_value();
        case 607:
            return uintField(request, "id").has_value();
        case 608:
            return stringField(request, "pwd") != nullptr;
        case 609:
            return stringField(request, "uid") != nullptr;
        case 610:
            return uintField(request, "blockAddr").has_value() && stringField(request, "data") != nullptr;
        case 612:
            return uintField(request, "authStartAddr").has_value();
        default:
            return true;
    }
}

EntryNeeds needsOf(GCODE code) {
    return serves(code) ? EntryNeeds{.exchange = true} : EntryNeeds{};
}

int run(GCODE code, const json& request, json& reply, Orvane::IIcodeSliReader& tags) {
    switch (code) {
        case 600:
            return status(reply, tags.setEas());
        case 601:
            return status(reply, tags.resetEas());
        case 602:
            return status(reply, tags.lockEas());
        case 603:
            return easAlarm(reply, tags);
        case 604:
            return status(reply, tags.passwordProtect(byteOf(request, "type")));
        case 605:
            return passwordWithId(request, reply, tags, false);
        case 606:
            return passwordWithId(request, reply, tags, true);
        case 607:
            return status(reply, tags.lockPassword(byteOf(request, "id")));
        case 608:
            return password(request, reply, tags);
        case 609:
            return uid(request, reply, tags);
        case 610:
            return writeBlockData(request, reply, tags);
        case 611:
            return authStart(reply, tags);
        case 612:
            return status(reply, tags.setAuthStartAddr(byteOf(request, "authStartAddr")));
        default:
            logWarn("IcodeSli gcode %d fail", code);
            return answer(reply, Result::kUnknownCode);
    }
}

}  // namespace icode_sli_commands

int RfWork::workIcodeSli(GCODE code, const json& request, json& reply) {
    if (!icode_sli_commands::hasParameters(code, request)) return hr::kMalformed;
    return onEntry(request, reply, icode_sli_commands::needsOf(code), [&](EntryCommand& command) {
        const std::shared_ptr<RfIcodeSli> tags = command.entry().icodeSli();
        return icode_sli_commands::run(code, request, reply, *tags);
    });
}
