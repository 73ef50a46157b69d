#include "commands/page_tag_commands.hpp"

#include <algorithm>
#include <optional>
#include <vector>

#include "card/mifare/mifare_layout.hpp"
#include "card/page_tag/page_tag_config.hpp"
#include "commands/entry/rf_reader_one.hpp"
#include "commands/rf_work.hpp"
#include "crypto/hex.hpp"
#include "crypto/std_buf.hpp"
#include "protocol/answer.hpp"
#include "protocol/log.hpp"
#include "protocol/request_fields.hpp"

using nlohmann::json;
namespace hr = handler_result;

namespace page_tag_commands {

namespace {

using Orvane::PageTagTypeA;

std::string uidText(const Orvane::TypeACardInfo& info) {
    const auto length =
        static_cast<std::size_t>(std::clamp(info.uidLen, 0, static_cast<int>(info.uid.size())));
    return Orvane::hexEncode(std::span(info.uid.data(), length));
}

// The bytes a transfer obtained, as reply text: none unless the result is positive.
std::string transferred(const Orvane::IBuffer& buffer, int result) {
    const std::uint32_t length = std::min<std::uint32_t>(result > 0 ? result : 0, buffer.size());
    return Orvane::hexEncode(std::span(buffer.data(), length));
}

int selectUid(const json& request, json& reply, PageTagTypeA& tag) {
    const std::string* text = stringField(request, "uid");
    if (text == nullptr) return hr::kMalformed;
    const auto uid = Orvane::hexDecode(*text, 10);
    if (!uid || uid->empty()) return answer(reply, Result::kBadData);
    reply["retval"] = tag.selectUid(uid->data(), static_cast<int>(uid->size()));
    return answer(reply);
}

int selectAny(json& reply, PageTagTypeA& tag) {
    Orvane::TypeACardInfo info;
    reply["retval"] = tag.selectAny(info);
    reply["uid"] = uidText(info);
    reply["atqa"] = info.atqa;
    reply["sak"] = info.sak;
    return answer(reply);
}

// 1106 and 1108: read or fastRead of `num` pages from `page`.
int readPages(const json& request, json& reply, PageTagTypeA& tag, bool fast) {
    const auto reSelect = boolField(request, "reSelect");
    const auto page = uintField(request, "page");
    const auto num = uintField(request, "num");
    if (!reSelect || !page || !num) return hr::kMalformed;
    Orvane::StdBuf buffer;
    if (!buffer.reserve(Orvane::kPageSize * lowByte(*num) + Orvane::kPageSize))
        return answer(reply, Result::kOutOfMemory);
    const int result = fast ? tag.fastRead(*reSelect, lowByte(*page), lowByte(*num), buffer)
                            : tag.read(*reSelect, lowByte(*page), lowByte(*num), buffer);
    reply["data"] = transferred(buffer, result);
    reply["retval"] = result;
    return answer(reply);
}

int writePages(const json& request, json& reply, PageTagTypeA& tag) {
    const auto reSelect = boolField(request, "reSelect");
    const auto page = uintField(request, "page");
    const auto num = uintField(request, "num");
    const std::string* text = stringField(request, "data");
    if (!reSelect || !page || !num || text == nullptr) return hr::kMalformed;
    const auto data = Orvane::hexDecode(*text);
    if (!data) return answer(reply, Result::kBadData);
    reply["retval"] = tag.write(*reSelect, lowByte(*page), lowByte(*num), data->data(),
                                static_cast<int>(std::min<std::size_t>(data->size(), INT32_MAX)));
    return answer(reply);
}

int pwdAuth(const json& request, json& reply, PageTagTypeA& tag) {
    const std::string* text = stringField(request, "pwd");
    if (text == nullptr) return hr::kMalformed;
    const auto pwd = Orvane::hexDecode(*text, 4);
    if (!pwd || pwd->size() != 4) return answer(reply, Result::kBadData);
    std::uint16_t pack = 0xFFFF;  // stays so when no PACK came back
    reply["retval"] = tag.pwdAuth(pwd->data(), pack);
    reply["pack"] = pack;
    return answer(reply);
}

int version(json& reply, PageTagTypeA& tag) {
    Orvane::PageTagVersion v{};
    reply["retval"] = tag.getVersion(v);
    reply["data"] = Orvane::hexEncode(v);
    const char* names[] = {"fixed", "vendor", "type", "subType", "major", "minor", "size", "protocol"};
    for (std::size_t i = 0; i < v.size(); ++i)
        reply[names[i]] = v[i];
    return answer(reply);
}

int counter(json& reply, PageTagTypeA& tag) {
    std::uint32_t count = 0;
    reply["retval"] = tag.readCounter(count);
    reply["cnt"] = static_cast<std::int64_t>(count);
    return answer(reply);
}

int signature(json& reply, PageTagTypeA& tag) {
    Orvane::StdBuf buffer;
    reply["retval"] = tag.readSignature(buffer);
    reply["data"] = Orvane::hexEncode(std::span(buffer.data(), buffer.size()));
    return answer(reply);
}

int readConfig(const json& request, json& reply, PageTagTypeA& tag) {
    const auto page = uintField(request, "page");
    if (!page) return hr::kMalformed;
    Orvane::StdBuf buffer;
    const int result = tag.fastRead(true, lowByte(*page), 2, buffer);
    Orvane::PageTagConfigImage image{};
    std::copy_n(buffer.data(), std::min<std::uint32_t>(buffer.size(), image.size()), image.begin());
    const Orvane::PageTagConfig c = Orvane::decodeConfig(image);
    reply["retval"] = result == static_cast<int>(image.size());
    reply["cfg"] = {{"mirrorConf", int{c.mirrorConf}},
                    {"mirrorByte", int{c.mirrorByte}},
                    {"strgModOn", c.strgModOn},
                    {"mirrorPage", c.mirrorPage},
                    {"auth0", c.auth0},
                    {"safeRead", c.safeRead},
                    {"lock", c.lock},
                    {"nfcCntOn", c.nfcCntOn},
                    {"cntPwdOn", c.cntPwdOn},
                    {"authlim", int{c.authlim}}};
    return answer(reply);
}

// The ten members of `cfg`, each an unsigned integer used through its low bits.
std::optional<Orvane::PageTagConfig> configOf(const json* cfg) {
    if (cfg == nullptr || !cfg->is_object()) return std::nullopt;
    const char* names[] = {"mirrorConf", "mirrorByte", "strgModOn", "mirrorPage", "auth0",
                           "safeRead",   "lock",       "nfcCntOn",  "cntPwdOn",   "authlim"};
    std::uint8_t v[std::size(names)] = {};
    for (std::size_t i = 0; i < std::size(names); ++i) {
        const auto value = uintField(*cfg, names[i]);
        if (!value) return std::nullopt;
        v[i] = lowByte(*value);
    }
    return Orvane::PageTagConfig{.mirrorConf = v[0],
                                 .mirrorByte = v[1],
                                 .strgModOn = (v[2] & 1) != 0,
                                 .mirrorPage = v[3],
                                 .auth0 = v[4],
                                 .safeRead = (v[5] & 1) != 0,
                                 .lock = (v[6] & 1) != 0,
                                 .nfcCntOn = (v[7] & 1) != 0,
                                 .cntPwdOn = (v[8] & 1) != 0,
                                 .authlim = v[9]};
}

int writeConfig(const json& request, json& reply, PageTagTypeA& tag) {
    const auto page = uintField(request, "page");
    const auto config = configOf(field(request, "cfg"));
    if (!page || !config) return hr::kMalformed;
    const Orvane::PageTagConfigImage image = Orvane::encodeConfig(*config);
    reply["retval"] = tag.write(true, lowByte(*page), 2, image.data(), static_cast<int>(image.size())) ==
                      static_cast<int>(image.size());
    return answer(reply);
}

}  // namespace

EntryNeeds needsOf(GCODE code) {
    switch (code) {
        case 1100:
        case 1101:
        case 1104:
        case 1106:
        case 1107:
        case 1108:
        case 1109:
        case 1110:
        case 1111:
        case 1112:
        case 1113:
        case 1114:
            return {.stopsFinder = false, .exchange = true, .card = EntryNeeds::Card::held};
        case 1102:
        case 1103:
        case 1105:
            return {.stopsFinder = false, .exchange = true, .card = EntryNeeds::Card::untouched};
        default:
            return {};
    }
}

bool keepsTag(const json& reply, const PageTagTypeA& tag) {
    const json* result = field(reply, "retval");
    const bool lost =
        result != nullptr && result->is_number_integer() && result->get<int>() == PageTagTypeA::kTagLost;
    return tag.isSelected() && !lost;
}

int run(GCODE code, const json& request, json& reply, PageTagTypeA& tag) {
    switch (code) {
        case 1100:
            return selectUid(request, reply, tag);
        case 1101:
            tag.halt();
            return answer(reply);
        case 1102:
            reply["retval"] = tag.isSelected();
            return answer(reply);
        case 1103:
            reply["retval"] = Orvane::hexEncode(tag.uid());
            return answer(reply);
        case 1104:
            return selectAny(reply, tag);
        case 1105:
            reply["retval"] = Orvane::mifare::cardNumber(tag.uid());
            return answer(reply);
        case 1106:
            return readPages(request, reply, tag, false);
        case 1107:
            return writePages(request, reply, tag);
        case 1108:
            return readPages(request, reply, tag, true);
        case 1109:
            return pwdAuth(request, reply, tag);
        case 1110:
            return version(reply, tag);
        case 1111:
            return counter(reply, tag);
        case 1112:
            return signature(reply, tag);
        case 1113:
            return readConfig(request, reply, tag);
        case 1114:
            return writeConfig(request, reply, tag);
        default:
            logWarn("PageTagTypeA gcode %d fail", code);
            return answer(reply, Result::kUnknownCode);
    }
}

}  // namespace page_tag_commands

// The handler: the common start, then the command on the entry's tag object. A tag the command
// leaves selected stays held, so a finder pass never comes between this command and the next (a
// pass would halt the tag and with it end a password authentication).
int RfWork::workPageTagTypeA(GCODE code, const json& request, json& reply) {
    const EntryNeeds needs = page_tag_commands::needsOf(code);
    return onEntry(request, reply, needs, [&](EntryCommand& command) {
        const std::shared_ptr<Orvane::PageTagTypeA> tag = command.entry().pageTagTypeA();
        const int result = page_tag_commands::run(code, request, reply, *tag);
        if (needs.card == EntryNeeds::Card::held && page_tag_commands::keepsTag(reply, *tag))
            command.keepTypeACard(tag->uid());
        return result;
    });
}
