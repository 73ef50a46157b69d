// VA family: a firmware that knows single-size UIDs only. It has no wake-up command (the host
// resets the field so halted cards power up IDLE) and no cascade beyond level 1.

#include "sim/field/type_a_commands.hpp"

namespace rfsim {

void installVaTypeA(Firmware& firmware, std::shared_ptr<TypeAFrontEnd> frontEnd) {
    const auto install = [&](std::uint8_t command, auto body) {
        installCommand(firmware, command, frontEnd, body);
    };
    install(0x12, [](TypeAFrontEnd& fe, const Request& r) {
        return r.data.empty() ? fe.request(false) : badParameter();
    });
    install(0x13, [](TypeAFrontEnd& fe, const Request& r) {
        return r.data.empty() ? fe.anticollision(0) : badParameter();
    });
    // The reply is the SAK and a second byte this firmware always sends as 00.
    install(0x14, [](TypeAFrontEnd& fe, const Request& r) {
        if (!r.data.empty()) return badParameter();
        Reply reply = fe.selectFound();
        if (reply.status == 0) reply.data.push_back(0x00);
        return reply;
    });
    install(0x11,
            [](TypeAFrontEnd& fe, const Request& r) { return r.data.empty() ? fe.halt() : badParameter(); });
    install(0x17, mifareAuthenticate);
    install(0x18, mifareRead);
    install(0x19, mifareWrite);
}

}  // namespace rfsim
