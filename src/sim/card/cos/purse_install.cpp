// The purse commands on the card, and the gate that ends a purse session on any command that does
// not belong to it (and refuses everything once the card is blocked).

#include "sim/card/cos/purse_commands.hpp"

namespace rfsim::cos {
namespace {

constexpr std::uint8_t kGetChallenge = 0x84, kCreditForLoad = 0x52, kDebit = 0x54, kUpdateLimit = 0x58,
                       kUpdateCappCache = 0xDC;

// The completing commands continue every session; a compound purchase also lets through its cache
// updates and the challenges their MACs need.
bool continuesSession(const PurseSession& session, std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 2) return false;
    const bool proprietary = (bytes[0] & 0xF0) == 0x80;
    const bool interindustry = (bytes[0] & 0xF0) == 0x00;
    const std::uint8_t ins = bytes[1];
    if (proprietary && (ins == kCreditForLoad || ins == kDebit || ins == kUpdateLimit)) return true;
    if (!session.compound()) return false;
    return (proprietary && ins == kUpdateCappCache) || (interindustry && ins == kGetChallenge);
}

std::uint16_t purseGate(CosState& state, std::span<const std::uint8_t> bytes) {
    if (state.cardBlocked) return sw::functionNotSupported;
    if (state.purse && !continuesSession(*state.purse, bytes)) state.purse.reset();
    return 0;
}

const CosKey* pinUnblockKey(CosState& state, const CommandApdu&) {
    return state.currentDf->keys.first(KeyUsage::pinUnblock);
}

}  // namespace

void installPurseCommands(CosCard& card) {
    const auto plain = [&](std::uint8_t ins, auto handler) {
        card.install(CommandClass::proprietary, ins, CosCommand{handler, false});
    };
    const auto withMac = [&](std::uint8_t ins, auto handler) {
        card.install(CommandClass::proprietary, ins, CosCommand{handler, true});
    };
    plain(0x50, initializeTransaction);
    plain(kCreditForLoad, creditForLoad);
    plain(kDebit, debit);
    plain(kUpdateLimit, updateOverdrawLimit);
    plain(0x5C, getBalance);
    plain(0x5A, getTransactionProve);
    plain(0x5E, changeOrReloadPin);
    withMac(kUpdateCappCache, updateCappDataCache);
    withMac(0x1E, applicationBlock);
    withMac(0x18, applicationUnblock);
    withMac(0x16, cardBlock);
    card.install(CommandClass::proprietary, 0x24, CosCommand{pinUnblock, true, pinUnblockKey});
    card.setGate(purseGate);
}

}  // namespace rfsim::cos
