#include "sim/field/type_a_commands.hpp"

#include "sim/firmware/va_firmware.hpp"
#include "sim/firmware/vc_firmware.hpp"
#include "sim/firmware/vd_firmware.hpp"

namespace rfsim {

bool attachField(Firmware& firmware, std::shared_ptr<VirtualField> field) {
    auto frontEnd = std::make_shared<TypeAFrontEnd>(firmware, std::move(field));
    if (dynamic_cast<VaFirmware*>(&firmware)) {
        installVaTypeA(firmware, std::move(frontEnd));
    } else if (dynamic_cast<VcFirmware*>(&firmware)) {
        installVcTypeA(firmware, std::move(frontEnd));
    } else if (dynamic_cast<VdFirmware*>(&firmware)) {
        installVdTypeA(firmware, std::move(frontEnd));
    } else {
        return false;
    }
    return true;
}

bool attachField(VirtualReader& reader, std::shared_ptr<VirtualField> field) {
    bool attached = false;
    reader.withFirmware([&](Firmware& firmware) { attached = attachField(firmware, std::move(field)); });
    return attached;
}

Reply mifareAuthenticate(TypeAFrontEnd& frontEnd, const Request& r) {
    if (r.data.size() != 8 || (r.data[0] != 0x60 && r.data[0] != 0x61)) return badParameter();
    return frontEnd.authenticate(r.data[1], r.data[0] == 0x61, r.data.subspan(2));
}

Reply mifareRead(TypeAFrontEnd& frontEnd, const Request& r) {
    return r.data.size() == 1 ? frontEnd.readBlock(r.data[0]) : badParameter();
}

Reply mifareWrite(TypeAFrontEnd& frontEnd, const Request& r) {
    return r.data.size() == 17 ? frontEnd.writeBlock(r.data[0], r.data.subspan(1)) : badParameter();
}

}  // namespace rfsim
