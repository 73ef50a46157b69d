#pragma once
// A session's UDP endpoints (codes 700 to 798): six slots, each opened on a worker loop, that send
// datagrams given as hex and relay every datagram they receive to the client as an event, with
// optional AES-128-CBC protection of the payloads.

#include <array>
#include <memory>
#include <nlohmann/json.hpp>

#include "protocol/channel.hpp"
#include "protocol/handler.hpp"
#include "service/udp/next_loop.hpp"

class UdpEndpoint;

class UdpWork {
  public:
    static constexpr unsigned kSlots = 6;

    UdpWork(ChannelRef channel, NextLoop nextLoop);
    virtual ~UdpWork();  // closes every endpoint
    UdpWork(const UdpWork&) = delete;
    UdpWork& operator=(const UdpWork&) = delete;

    int work(GCODE code, const nlohmann::json& request, nlohmann::json& reply);

    // The slot's open endpoint, or nullptr.
    std::shared_ptr<UdpEndpoint> endpoint(unsigned slot) const;

  private:
    int open(unsigned slot, const nlohmann::json& request, nlohmann::json& reply);
    int close(unsigned slot, nlohmann::json& reply);
    int send(unsigned slot, const nlohmann::json& request, nlohmann::json& reply);
    int setKey(unsigned slot, const nlohmann::json& request, nlohmann::json& reply);

    ChannelRef channel_;
    NextLoop nextLoop_;
    std::array<std::shared_ptr<UdpEndpoint>, kSlots> endpoints_;
};
