#pragma once
// Plain HTTP of the front end, without I/O: the Host check, the routes, the static web area, CORS
// and the error rules. The connection code reads a request, asks here, and writes what it gets.

#include <boost/beast/http.hpp>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "service/frontend/front_state.hpp"

namespace http = boost::beast::http;
using HttpRequest = http::request<http::string_body>;
using StringResponse = http::response<http::string_body>;
using FileResponse = http::response<http::file_body>;

struct PeerInfo {
    std::string ip;
    unsigned short port = 0;
};

// The host name of a Host header: `name` or `name:port` (letters, digits, '-', '.', '_'), or a
// bracketed IPv6 literal with an optional port ("[::1]:80" gives "::1"); nullopt for anything else.
std::optional<std::string> hostNameOf(std::string_view hostHeader);

// True when srvHost is empty, or when the request has one Host header whose host name is srvHost
// exactly; a refusal is logged.
bool hostAllowed(const FrontState& front, const HttpRequest& request, const PeerInfo& peer);

// The `origins` setting as a list: origins separated by spaces (or commas).
std::vector<std::string> splitOrigins(std::string_view text);

// 403, with a warning logged, for a request whose Origin is not in a non-empty origins list;
// nullopt when it may be served (no list, no Origin, or a listed one).
std::optional<StringResponse> refuseOrigin(const FrontState& front, const HttpRequest& request,
                                           const PeerInfo& peer);

struct HttpReply {
    bool refuse = false;  // close the connection without a response
    std::variant<StringResponse, FileResponse> response;
};

HttpReply handleHttpRequest(const FrontState& front, const HttpRequest& request, const PeerInfo& peer);

// The route paths, as /paths lists them.
const std::vector<std::string>& routePaths();
