// What every purse command checks first: the application's block state and its purse files.

#include "sim/card/cos/purse_commands.hpp"

namespace rfsim::cos {

std::uint16_t applicationRefusal(const CosState& state) {
    switch (state.currentDf->block) {
        case AppBlock::none:
            return 0;
        case AppBlock::temporary:
            return sw::functionNotSupported;
        case AppBlock::permanent:
            return sw::applicationLocked;
    }
    return sw::functionNotSupported;
}

PurseEf* purseIn(const CosState& state, std::uint16_t fid) {
    CosFile* file = state.currentDf->child(fid);
    return file && file->kind() == FileKind::purse ? static_cast<PurseEf*>(file) : nullptr;
}

std::variant<PurseEf*, std::uint16_t> pursePicked(const CosState& state, std::uint8_t p2) {
    if (p2 != kEdFid && p2 != kEpFid) return sw::wrongP1P2;
    PurseEf* purse = purseIn(state, p2);
    if (!purse) return sw::fileNotFound;
    return purse;
}

bool needsPin(std::uint8_t type) {
    // Everything on the ED, and loads of either purse; EP purchases (06, 09) go without.
    return type != 0x06 && type != 0x09;
}

void keepProof(PurseEf& purse, std::uint8_t type, std::uint16_t counter, const Mac4& mac, const Mac4& tac) {
    purse.lastProof = TransactionProof{true, type, counter, mac, tac};
}

}  // namespace rfsim::cos
