#include "service/udp/udp_work.hpp"

#include <utility>

#include "crypto/hex.hpp"
#include "protocol/log.hpp"
#include "protocol/request_fields.hpp"
#include "protocol/result_codes.hpp"
#include "service/udp/udp_address.hpp"
#include "service/udp/udp_endpoint.hpp"

using nlohmann::json;
namespace hr = handler_result;

namespace {
constexpr GCODE kOpen = 700;
constexpr GCODE kClose = 701;
constexpr GCODE kSend = 702;
constexpr GCODE kSetKey = 703;
}  // namespace

UdpWork::UdpWork(ChannelRef channel, NextLoop nextLoop)
    : channel_(std::move(channel)), nextLoop_(std::move(nextLoop)) {}

UdpWork::~UdpWork() {
    for (const auto& endpoint : endpoints_)
        if (endpoint) endpoint->close();
}

std::shared_ptr<UdpEndpoint> UdpWork::endpoint(unsigned slot) const {
    return slot < kSlots ? endpoints_[slot] : nullptr;
}

int UdpWork::work(GCODE code, const json& request, json& reply) {
    const auto index = uintField(request, "udpIdx");
    if (!index) return hr::kMalformed;
    if (*index >= kSlots) {
        setResult(reply, Result::kBadIndex);
        return hr::kSendNow;
    }
    const auto slot = static_cast<unsigned>(*index);
    if (code >= kSend && !endpoints_[slot]) {
        setResult(reply, Result::kUdpNotStarted);
        return hr::kSendNow;
    }
    switch (code) {
        case kOpen:
            return open(slot, request, reply);
        case kClose:
            return close(slot, reply);
        case kSend:
            return send(slot, request, reply);
        case kSetKey:
            return setKey(slot, request, reply);
        default:
            logWarn("UdpComm gcode %d fail", code);
            setResult(reply, Result::kUnknownCode);
            return hr::kSendNow;
    }
}

int UdpWork::open(unsigned slot, const json& request, json& reply) {
    const auto broadcast = boolField(request, "broadcast");
    const std::string* addr = stringField(request, "addr");
    const auto port = uintField(request, "port");
    if (!broadcast || !addr || !port) return hr::kMalformed;
    // An open slot stays as it is; the request's address is not used.
    if (!endpoints_[slot] && nextLoop_)
        endpoints_[slot] =
            UdpEndpoint::open(nextLoop_(), channel_, {static_cast<int>(slot), *addr, *port, *broadcast});
    reply["retval"] = endpoints_[slot] != nullptr;
    setResult(reply, Result::kDone);
    return hr::kSendNow;
}

int UdpWork::close(unsigned slot, json& reply) {
    if (const auto endpoint = std::exchange(endpoints_[slot], nullptr)) endpoint->close();
    setResult(reply, Result::kDone);
    return hr::kSendNow;
}

int UdpWork::send(unsigned slot, const json& request, json& reply) {
    const std::string* addr = stringField(request, "addr");
    const auto port = uintField(request, "port");
    const std::string* data = stringField(request, "data");
    if (!addr || !port || !data) return hr::kMalformed;
    auto payload = Orvane::hexDecode(*data);
    if (!payload) {
        setResult(reply, Result::kBadData);
        return hr::kSendNow;
    }
    const auto to = udpEndpointOf(*addr, *port);
    if (!to) {
        setResult(reply, Result::kBadAddress);
        return hr::kSendNow;
    }
    reply["retval"] = endpoints_[slot]->sendTo(std::move(*payload), *to);
    setResult(reply, Result::kDone);
    return hr::kSendNow;
}

int UdpWork::setKey(unsigned slot, const json& request, json& reply) {
    const std::string* keyText = stringField(request, "keyStr");
    if (!keyText) return hr::kMalformed;
    if (keyText->size() != UdpCipher::kKeyTextLength) {
        setResult(reply, Result::kBadKey);
        return hr::kSendNow;
    }
    reply["retval"] = endpoints_[slot]->setKey(*keyText);
    setResult(reply, Result::kDone);
    return hr::kSendNow;
}
