#include "service/frontend/http_handler.hpp"

#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>

#include "protocol/log.hpp"
#include "service/frontend/devices_json.hpp"
#include "service/frontend/static_files.hpp"
#include "service/version.hpp"

namespace {

constexpr const char* kServerName = "rfdock";

StringResponse textResponse(const HttpRequest& request, http::status status, const char* type,
                            std::string body) {
    StringResponse res{status, request.version()};
    res.set(http::field::server, kServerName);
    res.set(http::field::content_type, type);
    res.keep_alive(request.keep_alive());
    res.body() = std::move(body);
    res.prepare_payload();
    if (request.method() == http::verb::head) res.body().clear();  // Content-Length stays
    return res;
}

std::string statusJson(const FrontState& front) {
    const IniCfg& cfg = *front.config;
    const nlohmann::json status = {
        {"build", kBuildText},
        {"connectNum", front.connectNum.load()},
        {"host", cfg.get(cfg::host)},
        {"maxConnect", cfg.get(cfg::maxConnect)},
        {"originCheck", !front.origins.empty()},
        {"port", cfg.get(cfg::port)},
        {"sessionNum", front.sessionNum.load()},
        {"tlsEnable", cfg.get(cfg::tlsEnable)},
        {"version", kVersionText},
        {"workerNum", cfg.get(cfg::workerNum)},
    };
    return status.dump(2);
}

std::optional<StringResponse> route(const FrontState& front, const HttpRequest& request) {
    if (request.method() != http::verb::get && request.method() != http::verb::head) return std::nullopt;
    const std::string_view target = request.target();
    const std::string_view path = target.substr(0, target.find('?'));
    if (path == "/ping") return textResponse(request, http::status::ok, "text/plain", "pong");
    if (path == "/paths")
        return textResponse(request, http::status::ok, "application/json",
                            nlohmann::json(routePaths()).dump(2));
    if (path == "/status")
        return textResponse(request, http::status::ok, "application/json", statusJson(front));
    if (path == "/devices") return textResponse(request, http::status::ok, "application/json", devicesBody());
    return std::nullopt;
}

// The media type of Content-Type, without parameters and in lower case.
std::string mediaType(const HttpRequest& request) {
    std::string type(request[http::field::content_type]);
    type = type.substr(0, type.find(';'));
    while (!type.empty() && (type.back() == ' ' || type.back() == '\t'))
        type.pop_back();
    std::transform(type.begin(), type.end(), type.begin(), [](unsigned char c) { return std::tolower(c); });
    return type;
}

std::optional<ExtraRouteReply> askExtraRoutes(const FrontState& front, const HttpRequest& request) {
    const std::string_view target = request.target();
    // A POST of JSON is never a "simple" cross-origin request: no page can send one without the
    // browser asking first, nor a form.
    if (request.method() == http::verb::post && mediaType(request) != "application/json")
        return ExtraRouteReply{415, "text/plain", "Content-Type must be application/json"};
    return front.extraRoutes(request.method_string(), target.substr(0, target.find('?')), request.body());
}

std::variant<StringResponse, FileResponse> staticFile(const FrontState& front, const HttpRequest& request) {
    const auto notFound = [&] {
        return textResponse(request, http::status::not_found, "text/plain", "Not Found");
    };
    const auto file = resolveStaticFile(front.documentRoot, request.target());
    if (!file) return notFound();
    http::file_body::value_type body;
    boost::beast::error_code ec;
    body.open(file->c_str(), boost::beast::file_mode::scan, ec);
    if (ec) return notFound();
    const auto size = body.size();
    if (request.method() == http::verb::head) {
        StringResponse res = textResponse(request, http::status::ok, mimeType(*file), "");
        res.content_length(size);
        return res;
    }
    FileResponse res{std::piecewise_construct, std::make_tuple(std::move(body)),
                     std::make_tuple(http::status::ok, request.version())};
    res.set(http::field::server, kServerName);
    res.set(http::field::content_type, mimeType(*file));
    res.content_length(size);
    res.keep_alive(request.keep_alive());
    return res;
}

bool isPreflight(const HttpRequest& request) {
    return request.method() == http::verb::options && request.count(http::field::origin) &&
           request.count(http::field::access_control_request_method);
}

StringResponse preflight(const HttpRequest& request) {
    StringResponse res = textResponse(request, http::status::no_content, "text/plain", "");
    res.set(http::field::access_control_allow_methods, "GET, POST, PUT, DELETE, HEAD, OPTIONS");
    const auto headers = request.find(http::field::access_control_request_headers);
    if (headers != request.end()) res.set(http::field::access_control_allow_headers, headers->value());
    res.set(http::field::access_control_max_age, "86400");
    // Pages on public origins may reach this loopback service only when it says so.
    if (request.count("Access-Control-Request-Private-Network"))
        res.set("Access-Control-Allow-Private-Network", "true");
    res.content_length(0);
    return res;
}

template <typename Response>
void allowOrigin(const HttpRequest& request, Response& res) {
    const auto origin = request.find(http::field::origin);
    if (origin != request.end()) {
        res.set(http::field::access_control_allow_origin, origin->value());
        res.set(http::field::vary, "Origin");
    } else {
        res.set(http::field::access_control_allow_origin, "*");
    }
}

}  // namespace

const std::vector<std::string>& routePaths() {
    static const std::vector<std::string> kPaths = {"/ping", "/paths", "/status", "/devices"};
    return kPaths;
}

namespace {

bool isPort(std::string_view text) {
    return !text.empty() && text.size() <= 5 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
}

// An IPv6 literal: hex digits, colons and dots (an embedded IPv4 tail), with at least one colon.
bool isIpv6Literal(std::string_view text) {
    return text.find(':') != std::string_view::npos && std::all_of(text.begin(), text.end(), [](char c) {
               return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.';
           });
}

}  // namespace

std::optional<std::string> hostNameOf(std::string_view host) {
    std::string_view name, rest;
    if (!host.empty() && host.front() == '[') {
        const auto close = host.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        name = host.substr(1, close - 1);
        if (!isIpv6Literal(name)) return std::nullopt;
        rest = host.substr(close + 1);
    } else {
        const auto colon = host.find(':');
        name = host.substr(0, colon);
        if (name.empty() || !std::all_of(name.begin(), name.end(), isNameChar)) return std::nullopt;
        rest = colon == std::string_view::npos ? std::string_view{} : host.substr(colon);
    }
    if (!rest.empty() && (rest.front() != ':' || !isPort(rest.substr(1)))) return std::nullopt;
    return std::string(name);
}

bool hostAllowed(const FrontState& front, const HttpRequest& request, const PeerInfo& peer) {
    if (front.srvHost.empty()) return true;
    const std::string_view header = request[http::field::host];
    // A second Host header could name another host to whatever reads the last one.
    const bool single = request.count(http::field::host) == 1;
    const auto host = hostNameOf(header);
    if (single && host && *host == front.srvHost) return true;
    logError("[%s:%d] forbid host: %s", peer.ip, peer.port, cutForLog(host.value_or(std::string(header))));
    return false;
}

std::vector<std::string> splitOrigins(std::string_view text) {
    std::vector<std::string> origins;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto start = text.find_first_not_of(" \t,", at);
        if (start == std::string_view::npos) break;
        const auto end = text.find_first_of(" \t,", start);
        origins.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        at = end == std::string_view::npos ? text.size() : end;
    }
    return origins;
}

std::optional<StringResponse> refuseOrigin(const FrontState& front, const HttpRequest& request,
                                           const PeerInfo& peer) {
    if (front.origins.empty()) return std::nullopt;
    const auto origin = request.find(http::field::origin);
    if (origin == request.end()) return std::nullopt;
    const std::string_view value = origin->value();
    if (std::find(front.origins.begin(), front.origins.end(), value) != front.origins.end())
        return std::nullopt;
    logWarn("[%s:%d] forbid origin: %s", peer.ip, peer.port, cutForLog(value));
    return textResponse(request, http::status::forbidden, "text/plain", "Forbidden");
}

HttpReply handleHttpRequest(const FrontState& front, const HttpRequest& request, const PeerInfo& peer) {
    HttpReply reply;
    std::optional<ExtraRouteReply> extra;
    if (auto refused = refuseOrigin(front, request, peer)) {
        reply.response = std::move(*refused);
    } else if (front.cors && isPreflight(request)) {
        reply.response = preflight(request);
    } else if (front.extraRoutes && (extra = askExtraRoutes(front, request))) {
        reply.response = textResponse(request, static_cast<http::status>(extra->status),
                                      extra->contentType.c_str(), std::move(extra->body));
    } else if (auto routed = route(front, request)) {
        reply.response = std::move(*routed);
    } else if (request.method() == http::verb::get || request.method() == http::verb::head) {
        reply.response = staticFile(front, request);
    } else {
        reply.response =
            textResponse(request, http::status::method_not_allowed, "text/plain", "Method Not Allowed");
    }

    std::visit(
        [&](auto& res) {
            if (front.cors) allowOrigin(request, res);
            const unsigned status = res.result_int();
            const auto method = cutForLog(request.method_string());
            if (front.accessLog)
                logInfo("[%s:%d][%s %s]=>[%d %s]", peer.ip, peer.port, method, cutForLog(request.target()),
                        status, std::string(res.reason()));
            if (status == 400 && !extra)
                reply.refuse = true;
            else if (status >= 400 && !front.accessLog)
                logWarn("[%s:%d][%s %s]=>[%d %s]", peer.ip, peer.port, method, cutForLog(request.target()),
                        status, std::string(res.reason()));
        },
        reply.response);
    return reply;
}
