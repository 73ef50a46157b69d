// SELECT (ISO/IEC 7816-4 §7.1.1): P1 00 by file identifier (MF, DF or EF), 02 an EF under the
// current DF, 04 by DF name; P2 00 answers the FCI of a DF, 0C nothing. An EF is selected without
// response data.

#include "sim/card/cos/fci.hpp"
#include "sim/card/cos/iso_commands.hpp"

namespace rfsim::cos {
namespace {

constexpr std::uint16_t kMfId = 0x3F00;

CosFile* byIdentifier(const CosState& state, std::uint16_t fid, bool efOnly) {
    DedicatedFile* df = state.currentDf;
    if (efOnly) {
        CosFile* file = df->child(fid);
        return file && file->kind() != FileKind::dedicated ? file : nullptr;
    }
    if (fid == kMfId) return state.mf.get();
    if (fid == df->fid()) return df;
    if (CosFile* file = df->child(fid)) return file;
    // A DF beside the current one, as most cards let a host step across without going back to MF.
    if (DedicatedFile* parent = df->parent()) {
        CosFile* sibling = parent->child(fid);
        if (sibling && sibling->kind() == FileKind::dedicated) return sibling;
    }
    return nullptr;
}

}  // namespace

CosResponse selectFile(CosState& state, const CosRequest& request) {
    const CommandApdu& apdu = request.apdu;
    if (apdu.p2 != 0x00 && apdu.p2 != 0x0C) return CosResponse::status(sw::wrongP1P2);
    CosFile* file = nullptr;
    switch (apdu.p1) {
        case 0x00:
        case 0x02:
            // P1 00 without data selects the MF (§7.1.1 table 39).
            if (apdu.data.empty() && apdu.p1 == 0x00) {
                file = state.mf.get();
                break;
            }
            if (apdu.data.size() != 2) return CosResponse::status(sw::wrongLength);
            file = byIdentifier(state, static_cast<std::uint16_t>(apdu.data[0] << 8 | apdu.data[1]),
                                apdu.p1 == 0x02);
            break;
        case 0x04:
            if (apdu.data.empty() || apdu.data.size() > 16) return CosResponse::status(sw::wrongLength);
            file = state.mf->findByName(apdu.data);
            break;
        default:
            return CosResponse::status(sw::wrongP1P2);
    }
    if (!file) return CosResponse::status(sw::fileNotFound);
    if (file->kind() != FileKind::dedicated) {
        state.currentEf = static_cast<ElementaryFile*>(file);
        return CosResponse::status(sw::ok);
    }
    auto* df = static_cast<DedicatedFile*>(file);
    // PBOC application blocking: a DF blocked for good cannot be selected (6A81); one blocked for
    // now is selected with the warning 6283 (ISO/IEC 7816-4 table 5, "selected file invalidated").
    if (df->block == AppBlock::permanent) return CosResponse::status(sw::functionNotSupported);
    state.enterDf(df);
    const std::uint16_t status = df->block == AppBlock::temporary ? sw::fileInvalidated : sw::ok;
    if (apdu.p2 == 0x0C) return CosResponse::status(status);
    return CosResponse{buildFci(*df), status, false};
}

}  // namespace rfsim::cos
