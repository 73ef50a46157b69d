// READ RECORD, UPDATE RECORD and APPEND RECORD (ISO/IEC 7816-4 §7.3.3, §7.3.5, §7.3.7) on linear
// EFs with fixed-size records. P2 b8-b4 is a short EF identifier (0: the current EF), b3-b1 the
// reference mode; this card takes 100 (record number P1) for read and update, and 000 with P1 00
// for APPEND.

#include "sim/card/cos/iso_commands.hpp"

namespace rfsim::cos {
namespace {

constexpr std::uint8_t kModeRecordNumber = 0x04;

// The record EF of P2's short identifier, or the status word that refuses the command.
std::variant<RecordEf*, std::uint16_t> recordFile(CosState& state, std::uint8_t p2, std::uint8_t mode) {
    if ((p2 & 0x07) != mode) return sw::wrongP1P2;
    const auto found = fileBySfi(state, static_cast<std::uint8_t>(p2 >> 3));
    if (const auto* refused = std::get_if<std::uint16_t>(&found)) return *refused;
    ElementaryFile* ef = std::get<ElementaryFile*>(found);
    if (ef->kind() != FileKind::linearFixed) return sw::incompatibleFile;
    return static_cast<RecordEf*>(ef);
}

// Record P1 of the file, or null when there is none (6A83): records are numbered from 1.
Bytes* recordAt(RecordEf& file, std::uint8_t number) {
    if (number == 0 || number > file.records.size()) return nullptr;
    return &file.records[number - 1];
}

}  // namespace

CosResponse readRecord(CosState& state, const CosRequest& request) {
    const CommandApdu& apdu = request.apdu;
    if (!apdu.ne || !apdu.data.empty()) return CosResponse::status(sw::wrongLength);
    const auto found = recordFile(state, apdu.p2, kModeRecordNumber);
    if (const auto* refused = std::get_if<std::uint16_t>(&found)) return CosResponse::status(*refused);
    RecordEf& file = *std::get<RecordEf*>(found);
    if (const auto refused = checkAccess(state, request, file, false); refused != sw::ok)
        return CosResponse::status(refused);
    const Bytes* record = recordAt(file, apdu.p1);
    if (!record) return CosResponse::status(sw::recordNotFound);
    const bool all = *apdu.ne == 256;
    const std::size_t n = all ? record->size() : std::min(*apdu.ne, record->size());
    const bool encipher = file.rules.smFor(false) == SmMode::encipher && request.smIv;
    CosResponse response{Bytes(record->begin(), record->begin() + static_cast<std::ptrdiff_t>(n)), sw::ok,
                         encipher};
    if (!all && *apdu.ne > record->size()) response.sw = sw::endBeforeLe;
    return response;
}

CosResponse updateRecord(CosState& state, const CosRequest& request) {
    const CommandApdu& apdu = request.apdu;
    if (apdu.data.empty()) return CosResponse::status(sw::wrongLength);
    const auto found = recordFile(state, apdu.p2, kModeRecordNumber);
    if (const auto* refused = std::get_if<std::uint16_t>(&found)) return CosResponse::status(*refused);
    RecordEf& file = *std::get<RecordEf*>(found);
    if (const auto refused = checkAccess(state, request, file, true); refused != sw::ok)
        return CosResponse::status(refused);
    const auto data = commandData(state, request, file);
    if (!data) return CosResponse::status(sw::wrongData);
    Bytes* record = recordAt(file, apdu.p1);
    if (!record) return CosResponse::status(sw::recordNotFound);
    // A fixed-size record is written whole.
    if (data->size() != file.recordLength) return CosResponse::status(sw::wrongLength);
    *record = *data;
    return CosResponse::status(sw::ok);
}

CosResponse appendRecord(CosState& state, const CosRequest& request) {
    const CommandApdu& apdu = request.apdu;
    if (apdu.data.empty()) return CosResponse::status(sw::wrongLength);
    if (apdu.p1 != 0x00) return CosResponse::status(sw::wrongP1P2);
    const auto found = recordFile(state, apdu.p2, 0x00);
    if (const auto* refused = std::get_if<std::uint16_t>(&found)) return CosResponse::status(*refused);
    RecordEf& file = *std::get<RecordEf*>(found);
    if (const auto refused = checkAccess(state, request, file, true); refused != sw::ok)
        return CosResponse::status(refused);
    const auto data = commandData(state, request, file);
    if (!data) return CosResponse::status(sw::wrongData);
    if (data->size() != file.recordLength) return CosResponse::status(sw::wrongLength);
    if (file.records.size() >= file.maxRecords) return CosResponse::status(sw::noRoom);
    file.records.push_back(*data);
    return CosResponse::status(sw::ok);
}

}  // namespace rfsim::cos
