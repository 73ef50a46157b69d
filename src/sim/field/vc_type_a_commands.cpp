// VC family: the firmware resolves the whole cascade itself (0x47 returns the complete UID) and
// handles ISO 14443-4 activation and the APDU exchange.

#include "sim/field/type_a_commands.hpp"

namespace rfsim {
namespace {

// Request codes: 0x26 REQA, 0x52 WUPA, as on the air.
std::optional<bool> wakeUpOf(const Request& r) {
    if (r.data.size() != 1 || (r.data[0] != 0x26 && r.data[0] != 0x52)) return std::nullopt;
    return r.data[0] == 0x52;
}

}  // namespace

void installVcTypeA(Firmware& firmware, std::shared_ptr<TypeAFrontEnd> frontEnd) {
    const auto install = [&](std::uint8_t command, auto body) {
        installCommand(firmware, command, frontEnd, body);
    };
    install(0x46, [](TypeAFrontEnd& fe, const Request& r) {
        const auto wakeUp = wakeUpOf(r);
        return wakeUp ? fe.request(*wakeUp) : badParameter();
    });
    // Data 04: anticollision (the only mode this firmware offers).
    install(0x47, [](TypeAFrontEnd& fe, const Request& r) {
        return r.data.size() == 1 && r.data[0] == 0x04 ? fe.findUid() : badParameter();
    });
    install(0x48, [](TypeAFrontEnd& fe, const Request& r) { return fe.selectUid(r.data); });
    install(0x29,
            [](TypeAFrontEnd& fe, const Request& r) { return r.data.empty() ? fe.halt() : badParameter(); });
    install(0x53, [](TypeAFrontEnd& fe, const Request& r) {
        const auto wakeUp = wakeUpOf(r);
        return wakeUp ? fe.activate(*wakeUp) : badParameter();
    });
    install(0x6B, [](TypeAFrontEnd& fe, const Request& r) {
        return r.data.empty() ? fe.deselect() : badParameter();
    });
    install(0x54, [](TypeAFrontEnd& fe, const Request& r) {
        return r.data.empty() ? badParameter() : fe.exchange(r.data);
    });
    install(0x4A, mifareAuthenticate);
    install(0x4B, mifareRead);
    install(0x4C, mifareWrite);
    installVcPageTag(firmware, frontEnd);
}

}  // namespace rfsim
