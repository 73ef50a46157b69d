// READ BINARY and UPDATE BINARY (ISO/IEC 7816-4 §7.2.3, §7.2.5). P1 b8 set: P1 b5-b1 is a short EF
// identifier and P2 the offset (b7-b6 must be 0); P1 b8 clear: P1 b7-b1 and P2 are a 15-bit offset
// into the current EF.

#include "sim/card/cos/iso_commands.hpp"

namespace rfsim::cos {
namespace {

struct Target {
    TransparentEf* file = nullptr;
    std::size_t offset = 0;
    std::uint16_t sw = sw::ok;
};

Target target(CosState& state, const CommandApdu& apdu) {
    std::uint8_t sfi = 0;
    std::size_t offset = 0;
    if (apdu.p1 & 0x80) {
        if (apdu.p1 & 0x60) return {nullptr, 0, sw::wrongP1P2};
        sfi = apdu.p1 & 0x1F;
        if (sfi == 0) return {nullptr, 0, sw::wrongP1P2};
        offset = apdu.p2;
    } else {
        offset = apdu.p1p2();
    }
    const auto found = fileBySfi(state, sfi);
    if (const auto* refused = std::get_if<std::uint16_t>(&found)) return {nullptr, 0, *refused};
    ElementaryFile* ef = std::get<ElementaryFile*>(found);
    if (ef->kind() != FileKind::transparent) return {nullptr, 0, sw::incompatibleFile};
    return {static_cast<TransparentEf*>(ef), offset, sw::ok};
}

}  // namespace

CosResponse readBinary(CosState& state, const CosRequest& request) {
    const CommandApdu& apdu = request.apdu;
    if (!apdu.ne || !apdu.data.empty()) return CosResponse::status(sw::wrongLength);
    const Target t = target(state, apdu);
    if (t.sw != sw::ok) return CosResponse::status(t.sw);
    if (const auto refused = checkAccess(state, request, *t.file, false); refused != sw::ok)
        return CosResponse::status(refused);
    const Bytes& content = t.file->content;
    if (t.offset >= content.size()) return CosResponse::status(sw::offsetOutside);
    const bool encipher = t.file->rules.smFor(false) == SmMode::encipher && request.smIv;
    // Le 00 asks for everything up to 256 bytes (§5.1); an enciphered answer carries one length
    // byte, so it holds at most 255.
    const bool all = *apdu.ne == 256;
    const std::size_t wanted = encipher && all ? 255 : *apdu.ne;
    const std::size_t available = content.size() - t.offset;
    const std::size_t n = std::min(wanted, available);
    const auto first = content.begin() + static_cast<std::ptrdiff_t>(t.offset);
    CosResponse response{Bytes(first, first + static_cast<std::ptrdiff_t>(n)), sw::ok, encipher};
    if (n < wanted && !all) response.sw = sw::endBeforeLe;
    return response;
}

CosResponse updateBinary(CosState& state, const CosRequest& request) {
    const CommandApdu& apdu = request.apdu;
    if (apdu.data.empty()) return CosResponse::status(sw::wrongLength);
    const Target t = target(state, apdu);
    if (t.sw != sw::ok) return CosResponse::status(t.sw);
    if (const auto refused = checkAccess(state, request, *t.file, true); refused != sw::ok)
        return CosResponse::status(refused);
    const auto data = commandData(state, request, *t.file);
    if (!data || data->empty()) return CosResponse::status(sw::wrongData);
    Bytes& content = t.file->content;
    if (t.offset > content.size()) return CosResponse::status(sw::offsetOutside);
    // 6A84, "not enough memory space in the file": the data would run past its end.
    if (data->size() > content.size() - t.offset) return CosResponse::status(sw::noRoom);
    std::copy(data->begin(), data->end(), content.begin() + static_cast<std::ptrdiff_t>(t.offset));
    return CosResponse::status(sw::ok);
}

}  // namespace rfsim::cos
