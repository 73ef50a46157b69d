#pragma once
// HTTP routes a build adds to the service's own (the simulator's /sim routes). They are asked first,
// with the method, the path without its query and the request body; nullopt passes the request on.
// Their replies are sent as they are, error statuses included.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

struct ExtraRouteReply {
    unsigned status = 200;
    std::string contentType = "application/json";
    std::string body;
};

using ExtraRoutes = std::function<std::optional<ExtraRouteReply>(
    std::string_view method, std::string_view path, std::string_view body)>;
