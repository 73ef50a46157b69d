// GET BALANCE (5C) and GET TRANSACTION PROVE (5A): what a purse holds, and the proofs of its last
// transaction for a host that lost the completion's answer.

#include "sim/card/cos/purse_commands.hpp"

namespace rfsim::cos {

CosResponse getBalance(CosState& state, const CosRequest& request) {
    const CommandApdu& apdu = request.apdu;
    if (const std::uint16_t refused = applicationRefusal(state)) return CosResponse::status(refused);
    if (apdu.p1 != 0x00) return CosResponse::status(sw::wrongP1P2);
    const auto picked = pursePicked(state, apdu.p2);
    if (const auto* refused = std::get_if<std::uint16_t>(&picked)) return CosResponse::status(*refused);
    if (!apdu.data.empty()) return CosResponse::status(sw::wrongLength);
    if (apdu.p2 == kEdFid && !state.security.pinVerified)
        return CosResponse::status(sw::securityNotSatisfied);
    Bytes out;
    appendBig(out, std::get<PurseEf*>(picked)->balance, 4);
    return CosResponse{std::move(out), sw::ok, false};
}

CosResponse getTransactionProve(CosState& state, const CosRequest& request) {
    const CommandApdu& apdu = request.apdu;
    if (const std::uint16_t refused = applicationRefusal(state)) return CosResponse::status(refused);
    if (apdu.p1 != 0x00) return CosResponse::status(sw::wrongP1P2);
    if (apdu.data.size() != 2) return CosResponse::status(sw::wrongLength);
    const auto counter = static_cast<std::uint16_t>(readBig(apdu.data, 0, 2));
    for (const std::uint16_t fid : {kEdFid, kEpFid}) {
        const PurseEf* purse = purseIn(state, fid);
        if (!purse) continue;
        const TransactionProof& proof = purse->lastProof;
        if (!proof.present || proof.type != apdu.p2 || proof.counter != counter) continue;
        Bytes out(proof.mac.begin(), proof.mac.end());
        out.insert(out.end(), proof.tac.begin(), proof.tac.end());
        return CosResponse{std::move(out), sw::ok, false};
    }
    return CosResponse::status(sw::macUnavailable);
}

}  // namespace rfsim::cos
