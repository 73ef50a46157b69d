#include "commands/rf_work.hpp"

#include "commands/entry/rf_reader_one.hpp"
#include "protocol/log.hpp"
#include "protocol/result_codes.hpp"

RfWork::~RfWork() = default;

namespace {

// A family whose commands are not served yet: every code is unknown to it.
int unavailable(const char* family, GCODE code, nlohmann::json& reply) {
    logWarn("%s gcode %d fail", family, code);
    setResult(reply, 103);
    return handler_result::kSendNow;
}

}  // namespace

int RfWork::workCpuCosTypeA(GCODE code, const nlohmann::json&, nlohmann::json& reply) {
    return unavailable("CpuCosTypeA", code, reply);
}
int RfWork::workIso15693(GCODE code, const nlohmann::json&, nlohmann::json& reply) {
    return unavailable("Iso15693", code, reply);
}
int RfWork::workIcodeSli(GCODE code, const nlohmann::json&, nlohmann::json& reply) {
    return unavailable("IcodeSli", code, reply);
}
int RfWork::workCos7816(GCODE code, const nlohmann::json&, nlohmann::json& reply) {
    return unavailable("Cos7816", code, reply);
}
int RfWork::workCosFm2(GCODE code, const nlohmann::json&, nlohmann::json& reply) {
    return unavailable("CosFm2", code, reply);
}
int RfWork::workCosPboc2(GCODE code, const nlohmann::json&, nlohmann::json& reply) {
    return unavailable("CosPboc2", code, reply);
}
int RfWork::workPageTagTypeA(GCODE code, const nlohmann::json&, nlohmann::json& reply) {
    return unavailable("PageTagTypeA", code, reply);
}
