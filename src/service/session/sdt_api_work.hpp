#pragma once
// Codes 401 to 404 are reserved for an identity-card reader interface that this service does not
// offer; they are answered as unavailable.

#include <nlohmann/json.hpp>

#include "protocol/channel.hpp"
#include "protocol/handler.hpp"

class SdtApiWork {
  public:
    explicit SdtApiWork(ChannelRef channel) : channel_(std::move(channel)) {}
    ~SdtApiWork();

    int work(GCODE code, const nlohmann::json& request, nlohmann::json& reply);

  private:
    ChannelRef channel_;
};
