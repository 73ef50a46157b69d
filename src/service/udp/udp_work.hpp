#pragma once
// A session's UDP endpoints (codes 700 to 798).

#include <nlohmann/json.hpp>

#include "service/protocol/channel.hpp"
#include "service/protocol/handler.hpp"

class UdpWork {
  public:
    explicit UdpWork(ChannelRef channel) : channel_(std::move(channel)) {}
    ~UdpWork();
    UdpWork(const UdpWork&) = delete;
    UdpWork& operator=(const UdpWork&) = delete;

    int work(GCODE code, const nlohmann::json& request, nlohmann::json& reply);

  private:
    ChannelRef channel_;
};
