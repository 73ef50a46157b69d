#pragma once
// A session's reader and card commands. Each handler serves one command family by code range and
// follows the shared handler contract (see service/protocol/handler.hpp).

#include <nlohmann/json.hpp>

#include "service/protocol/channel.hpp"
#include "service/protocol/handler.hpp"

class RfWork {
  public:
    explicit RfWork(ChannelRef channel) : channel_(std::move(channel)) {}
    ~RfWork();
    RfWork(const RfWork&) = delete;
    RfWork& operator=(const RfWork&) = delete;

    int workRfReader(GCODE code, const nlohmann::json& request, nlohmann::json& reply);       // 100-198
    int workMifareClassic(GCODE code, const nlohmann::json& request, nlohmann::json& reply);  // 200-298
    int workCpuCosTypeA(GCODE code, const nlohmann::json& request, nlohmann::json& reply);    // 300-398
    int workIso15693(GCODE code, const nlohmann::json& request, nlohmann::json& reply);       // 500-598
    int workIcodeSli(GCODE code, const nlohmann::json& request, nlohmann::json& reply);       // 600-698
    int workCos7816(GCODE code, const nlohmann::json& request, nlohmann::json& reply);        // 800-898
    int workCosFm2(GCODE code, const nlohmann::json& request, nlohmann::json& reply);         // 900-998
    int workCosPboc2(GCODE code, const nlohmann::json& request, nlohmann::json& reply);       // 1000-1098
    int workPageTagTypeA(GCODE code, const nlohmann::json& request, nlohmann::json& reply);   // 1100-1198

  private:
    ChannelRef channel_;
};
