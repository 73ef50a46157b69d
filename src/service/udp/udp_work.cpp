#include "service/udp/udp_work.hpp"

#include "service/protocol/log.hpp"
#include "service/protocol/result_codes.hpp"

UdpWork::~UdpWork() = default;

int UdpWork::work(GCODE code, const nlohmann::json&, nlohmann::json& reply) {
    logWarn("UdpComm gcode %d fail", code);
    setResult(reply, 103);
    return handler_result::kSendNow;
}
