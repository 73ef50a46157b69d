#include "sim/card/cos/cos_card.hpp"

#include "sim/card/cos/status_words.hpp"

namespace rfsim::cos {

void CosCard::install(CommandClass cls, std::uint8_t ins, CosCommand command) {
    commands_[{cls, ins}] = std::move(command);
}

Bytes CosCard::process(std::span<const std::uint8_t> apdu) {
    if (received_.size() >= kReceivedKept) received_.erase(received_.begin());
    received_.emplace_back(apdu.begin(), apdu.end());
    return toBytes(run(apdu));
}

CosResponse CosCard::run(std::span<const std::uint8_t> bytes) {
    if (gate_)
        if (const std::uint16_t refused = gate_(state_, bytes); refused != 0)
            return CosResponse::status(refused);
    const auto apdu = parseCommand(bytes);
    if (!apdu) return CosResponse::status(sw::wrongLength);
    // ISO/IEC 7816-4 §5.1.1: CLA 0X interindustry, 8X proprietary with the same coding of b1-b4;
    // b1-b2 a logical channel, b3-b4 secure messaging. FF is invalid.
    const std::uint8_t cla = apdu->cla;
    if ((cla & 0x70) != 0 || cla == 0xFF) return CosResponse::status(sw::claUnsupported);
    const CommandClass cls = cla & 0x80 ? CommandClass::proprietary : CommandClass::interindustry;
    const auto found = commands_.find({cls, apdu->ins});
    if (found == commands_.end()) return CosResponse::status(sw::insUnsupported);
    if ((cla & 0x03) != 0) return CosResponse::status(sw::channelUnsupported);
    const std::uint8_t smBits = cla & 0x0C;
    if (smBits == 0) return found->second.handler(state_, CosRequest{*apdu, std::nullopt, {}, 0});
    // Only b3 (proprietary secure messaging) is spoken here, and only by the commands that take it.
    if (smBits != 0x04 || !found->second.secureMessaging) return CosResponse::status(sw::smUnsupported);
    auto unwrapped = unwrapCommand(state_, *apdu, found->second.smKey);
    if (const auto* refused = std::get_if<std::uint16_t>(&unwrapped)) return CosResponse::status(*refused);
    const auto& request = std::get<CosRequest>(unwrapped);
    return wrapResponse(state_, request, found->second.handler(state_, request));
}

}  // namespace rfsim::cos
