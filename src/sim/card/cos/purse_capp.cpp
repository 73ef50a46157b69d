// UPDATE CAPP DATA CACHE (80 DC): a compound purchase's record update, held in the session until
// its DEBIT succeeds (then written) or the session ends (then dropped).

#include <algorithm>

#include "sim/card/cos/iso_commands.hpp"
#include "sim/card/cos/purse_commands.hpp"

namespace rfsim::cos {
namespace {

constexpr std::uint8_t kModeRecordNumber = 0x04;

}  // namespace

CosResponse updateCappDataCache(CosState& state, const CosRequest& request) {
    const CommandApdu& apdu = request.apdu;
    if (const std::uint16_t refused = applicationRefusal(state)) return CosResponse::status(refused);
    if (!state.purse || !state.purse->compound()) return CosResponse::status(sw::conditionsNotSatisfied);
    const std::uint8_t mode = apdu.p2 & 0x07;
    const auto sfi = static_cast<std::uint8_t>(apdu.p2 >> 3);
    if ((mode != 0x00 && mode != kModeRecordNumber) || sfi == 0 || sfi == 31)
        return CosResponse::status(sw::wrongP1P2);
    if (apdu.data.empty()) return CosResponse::status(sw::wrongLength);
    ElementaryFile* ef = state.currentDf->efBySfi(sfi);
    if (!ef) return CosResponse::status(sw::fileNotFound);
    if (ef->kind() != FileKind::linearFixed) return CosResponse::status(sw::incompatibleFile);
    auto& file = static_cast<RecordEf&>(*ef);
    if (const auto refused = checkAccess(state, request, file, true); refused != sw::ok)
        return CosResponse::status(refused);
    auto data = commandData(state, request, file);
    if (!data) return CosResponse::status(sw::wrongData);
    if (apdu.p1 == 0 || apdu.p1 > file.records.size()) return CosResponse::status(sw::recordNotFound);
    if (data->size() != file.recordLength) return CosResponse::status(sw::wrongLength);
    auto& cache = state.purse->cache;
    std::erase_if(cache, [&](const CappRecord& r) { return r.sfi == sfi && r.number == apdu.p1; });
    cache.push_back(CappRecord{sfi, apdu.p1, std::move(*data)});
    return CosResponse::status(sw::ok);
}

}  // namespace rfsim::cos
