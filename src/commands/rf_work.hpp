#pragma once
// A session's reader and card commands. Each handler serves one command family by code range and
// follows the shared handler contract (see protocol/handler.hpp).

#include <array>
#include <memory>
#include <nlohmann/json.hpp>

#include "protocol/channel.hpp"
#include "protocol/handler.hpp"

class RfReaderOne;

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

    static constexpr std::size_t kReaderSlots = 6;

  private:
    // The common first steps of the card handlers: the entry in the slot the request's rfIdx names.
    // Null with `result` set when there is none: -1 (no uint rfIdx, nothing written), or 1 with
    // err 109 (index of 6 or more) or 102 (empty slot) written. Callers keep the returned share for
    // the whole command, so a replacing GCODE 100 cannot free the reader under it.
    std::shared_ptr<RfReaderOne> entryFor(const nlohmann::json& request, nlohmann::json& reply, int& result);

    int readerCommand(GCODE code, std::size_t slot, const std::shared_ptr<RfReaderOne>& entry,
                      const nlohmann::json& request, nlohmann::json& reply);
    int createEntry(std::size_t slot, const nlohmann::json& request, nlohmann::json& reply);

    ChannelRef channel_;
    std::array<std::shared_ptr<RfReaderOne>, kReaderSlots> readers_;
};
