// APPLICATION BLOCK (84 1E), APPLICATION UNBLOCK (84 18) and CARD BLOCK (84 16): no data but the
// MAC, which secure messaging checked under the DF's secure-messaging key, the application
// maintenance key.

#include "sim/card/cos/purse_commands.hpp"

namespace rfsim::cos {
namespace {

constexpr std::uint8_t kBlockForNow = 0x00, kBlockForGood = 0x01;

// What every one of them asks: a MAC, no data, and a DF to work on (not the MF).
std::uint16_t refusal(const CosState& state, const CosRequest& request) {
    if (!request.smIv) return sw::smObjectsMissing;
    if (!request.apdu.data.empty()) return sw::wrongLength;
    if (state.currentDf == state.mf.get()) return sw::conditionsNotSatisfied;
    return 0;
}

}  // namespace

CosResponse applicationBlock(CosState& state, const CosRequest& request) {
    const CommandApdu& apdu = request.apdu;
    if (apdu.p1 != 0x00 || (apdu.p2 != kBlockForNow && apdu.p2 != kBlockForGood))
        return CosResponse::status(sw::wrongP1P2);
    if (const std::uint16_t refused = refusal(state, request)) return CosResponse::status(refused);
    DedicatedFile& df = *state.currentDf;
    if (df.block == AppBlock::permanent) return CosResponse::status(sw::applicationLocked);
    df.block = apdu.p2 == kBlockForGood ? AppBlock::permanent : AppBlock::temporary;
    return CosResponse::status(sw::ok);
}

CosResponse applicationUnblock(CosState& state, const CosRequest& request) {
    if (request.apdu.p1p2() != 0) return CosResponse::status(sw::wrongP1P2);
    if (const std::uint16_t refused = refusal(state, request)) return CosResponse::status(refused);
    DedicatedFile& df = *state.currentDf;
    if (df.block == AppBlock::permanent) return CosResponse::status(sw::applicationLocked);
    df.block = AppBlock::none;
    return CosResponse::status(sw::ok);
}

CosResponse cardBlock(CosState& state, const CosRequest& request) {
    if (request.apdu.p1p2() != 0) return CosResponse::status(sw::wrongP1P2);
    if (const std::uint16_t refused = refusal(state, request)) return CosResponse::status(refused);
    state.cardBlocked = true;
    return CosResponse::status(sw::ok);
}

}  // namespace rfsim::cos
