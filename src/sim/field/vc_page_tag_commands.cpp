// VC family: the page tag commands, each passed to the tag as one NFC Forum type 2 command (NTAG21x
// command set). The other families have no such commands: their firmware answers them as unknown.
//   0x88 first, last  ->  FAST_READ 3Ah first last
//   0x8A 4 bytes      ->  PWD_AUTH 1Bh password; replies with PACK
//   0x87              ->  GET_VERSION 60h
//   0x89              ->  READ_CNT 39h 02h (the NFC counter)
//   0x8B              ->  READ_SIG 3Ch 00h

#include "sim/field/type_a_commands.hpp"

namespace rfsim {

void installVcPageTag(Firmware& firmware, const std::shared_ptr<TypeAFrontEnd>& frontEnd) {
    const auto install = [&](std::uint8_t command, auto body) {
        installCommand(firmware, command, frontEnd, body);
    };
    install(0x88, [](TypeAFrontEnd& fe, const Request& r) {
        return r.data.size() == 2 ? fe.fastRead(r.data[0], r.data[1]) : badParameter();
    });
    install(0x8A, [](TypeAFrontEnd& fe, const Request& r) {
        return r.data.size() == 4 ? fe.pwdAuth(r.data) : badParameter();
    });
    install(0x87, [](TypeAFrontEnd& fe, const Request& r) {
        return r.data.empty() ? fe.getVersion() : badParameter();
    });
    install(0x89, [](TypeAFrontEnd& fe, const Request& r) {
        return r.data.empty() ? fe.readCounter(0x02) : badParameter();
    });
    install(0x8B, [](TypeAFrontEnd& fe, const Request& r) {
        return r.data.empty() ? fe.readSignature(0x00) : badParameter();
    });
}

}  // namespace rfsim
