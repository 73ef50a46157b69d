// VD family: the host runs the cascade level by level (0x42/0x43 for level 1, 0x46/0x47 with the
// select code 95 or 97 for levels 2 and 3). The parameter block names the command group in P0:
// 10 ISO 14443-3, 14 ISO 14443-4, 13 Mifare (with the block number in P4).

#include "sim/field/type_a_commands.hpp"

namespace rfsim {
namespace {

constexpr std::uint8_t kGroupLayer3 = 0x10;
constexpr std::uint8_t kGroupMifare = 0x13;
constexpr std::uint8_t kGroupLayer4 = 0x14;

bool paramsAre(const Request& r, std::uint8_t group, bool blockInP4 = false) {
    return r.params.size() == 5 && r.params[0] == group && r.params[1] == 0 && r.params[2] == 0 &&
           r.params[3] == 0 && (blockInP4 || r.params[4] == 0);
}

// Select codes of cascade levels 2 and 3.
std::optional<int> levelOf(std::uint8_t selectCode) {
    if (selectCode == 0x95) return 1;
    if (selectCode == 0x97) return 2;
    return std::nullopt;
}

}  // namespace

void installVdTypeA(Firmware& firmware, std::shared_ptr<TypeAFrontEnd> frontEnd) {
    const auto install = [&](std::uint8_t command, auto body) {
        installCommand(firmware, command, frontEnd, body);
    };
    // Data 00 REQA, 01 WUPA.
    install(0x41, [](TypeAFrontEnd& fe, const Request& r) {
        if (!paramsAre(r, kGroupLayer3) || r.data.size() != 1 || r.data[0] > 1) return badParameter();
        return fe.request(r.data[0] == 1);
    });
    install(0x42, [](TypeAFrontEnd& fe, const Request& r) {
        if (!paramsAre(r, kGroupLayer3) || r.data.size() != 1 || r.data[0] != 0) return badParameter();
        return fe.anticollision(0);
    });
    install(0x43, [](TypeAFrontEnd& fe, const Request& r) {
        if (!paramsAre(r, kGroupLayer3) || r.data.size() != 4) return badParameter();
        return fe.select(0, r.data);
    });
    install(0x46, [](TypeAFrontEnd& fe, const Request& r) {
        if (!paramsAre(r, kGroupLayer3) || r.data.size() != 2 || r.data[1] != 0) return badParameter();
        const auto level = levelOf(r.data[0]);
        return level ? fe.anticollision(*level) : badParameter();
    });
    install(0x47, [](TypeAFrontEnd& fe, const Request& r) {
        if (!paramsAre(r, kGroupLayer3) || r.data.size() != 5) return badParameter();
        const auto level = levelOf(r.data[0]);
        return level ? fe.select(*level, r.data.subspan(1)) : badParameter();
    });
    install(0x45, [](TypeAFrontEnd& fe, const Request& r) {
        return paramsAre(r, kGroupLayer3) && r.data.empty() ? fe.halt() : badParameter();
    });
    install(0x5A, [](TypeAFrontEnd& fe, const Request& r) {
        return paramsAre(r, kGroupLayer4) && r.data.empty() ? fe.rats() : badParameter();
    });
    // Data 00 00 00 n and the n APDU bytes; the reply is 00 00, the response length (big-endian)
    // and the response.
    install(0x5B, [](TypeAFrontEnd& fe, const Request& r) {
        if (!paramsAre(r, kGroupLayer4) || r.data.size() < 5 || r.data[0] != 0 || r.data[1] != 0 ||
            r.data[2] != 0 || r.data.size() != 4u + r.data[3])
            return badParameter();
        Reply reply = fe.exchange(r.data.subspan(4));
        if (reply.status != 0) return reply;
        const std::size_t length = reply.data.size();
        const std::uint8_t head[] = {0x00, 0x00, static_cast<std::uint8_t>(length >> 8),
                                     static_cast<std::uint8_t>(length & 0xFF)};
        reply.data.insert(reply.data.begin(), std::begin(head), std::end(head));
        return reply;
    });
    install(0x5C, [](TypeAFrontEnd& fe, const Request& r) {
        return paramsAre(r, kGroupLayer4) && r.data.empty() ? fe.deselect() : badParameter();
    });
    // Data: 00 Key A or 01 Key B, then the 6 key bytes.
    install(0x5F, [](TypeAFrontEnd& fe, const Request& r) {
        if (!paramsAre(r, kGroupMifare, true) || r.data.size() != 7 || r.data[0] > 1) return badParameter();
        return fe.authenticate(r.params[4], r.data[0] == 1, r.data.subspan(1));
    });
    install(0x61, [](TypeAFrontEnd& fe, const Request& r) {
        return paramsAre(r, kGroupMifare, true) && r.data.empty() ? fe.readBlock(r.params[4])
                                                                  : badParameter();
    });
    install(0x60, [](TypeAFrontEnd& fe, const Request& r) {
        return paramsAre(r, kGroupMifare, true) && r.data.size() == 16 ? fe.writeBlock(r.params[4], r.data)
                                                                       : badParameter();
    });
}

}  // namespace rfsim
