#include "sim/card/cos/iso_commands.hpp"

namespace rfsim::cos {

void installIsoCommands(CosCard& card) {
    const auto plain = [&](std::uint8_t ins, auto handler) {
        card.install(CommandClass::interindustry, ins, CosCommand{handler, false});
    };
    const auto withSm = [&](std::uint8_t ins, auto handler) {
        card.install(CommandClass::interindustry, ins, CosCommand{handler, true});
    };
    plain(0xA4, selectFile);
    plain(0x84, getChallenge);
    plain(0x20, verify);
    plain(0x82, externalAuthenticate);
    plain(0x88, internalAuthenticate);
    withSm(0xB0, readBinary);
    withSm(0xD6, updateBinary);
    withSm(0xB2, readRecord);
    withSm(0xDC, updateRecord);
    withSm(0xE2, appendRecord);
}

bool accessGranted(const SecurityState& security, Access access, std::uint8_t right) {
    switch (access) {
        case Access::always:
            return true;
        case Access::externalAuth:
            return security.externalAuth;
        case Access::pin:
            return security.pinVerified;
        case Access::authOrPin:
            return security.externalAuth || security.pinVerified;
        case Access::never:
            return false;
        case Access::level:
            return rightGranted(right, security.level);
    }
    return false;
}

std::variant<ElementaryFile*, std::uint16_t> fileBySfi(CosState& state, std::uint8_t sfi) {
    if (sfi == 0) {
        if (!state.currentEf) return sw::noCurrentEf;
        return state.currentEf;
    }
    if (sfi == 31) return sw::wrongP1P2;
    ElementaryFile* ef = state.currentDf->efBySfi(sfi);
    if (!ef) return sw::fileNotFound;
    // ISO/IEC 7816-4 §7.2.2: an EF referenced by its short identifier becomes the current EF.
    state.currentEf = ef;
    return ef;
}

std::uint16_t checkAccess(const CosState& state, const CosRequest& request, const ElementaryFile& file,
                          bool update) {
    const AccessRules& rules = file.rules;
    if (!accessGranted(state.security, update ? rules.update : rules.read,
                       update ? rules.updateRight : rules.readRight))
        return sw::securityNotSatisfied;
    if (rules.smFor(update) != SmMode::none && !request.smIv) return sw::securityNotSatisfied;
    return sw::ok;
}

}  // namespace rfsim::cos
