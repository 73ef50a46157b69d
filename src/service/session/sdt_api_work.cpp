#include "service/session/sdt_api_work.hpp"

#include "protocol/result_codes.hpp"

SdtApiWork::~SdtApiWork() = default;

int SdtApiWork::work(GCODE, const nlohmann::json&, nlohmann::json& reply) {
    setResult(reply, Result::kUnknownCode);
    return handler_result::kSendNow;
}
