#include "service/frontend/http_handler.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/log_capture.hpp"
#include "support/temp_dir.hpp"

namespace {

class HttpHandlerTest : public testing::Test {
  protected:
    HttpHandlerTest() {
        front.config = std::make_shared<IniCfg>();
        front.documentRoot = dir.path();
        writeFile(dir.file("index.html"), "<p>home</p>");
    }

    HttpRequest request(http::verb verb, const char* target) {
        HttpRequest req{verb, target, 11};
        req.set(http::field::host, "127.0.0.1:3080");
        return req;
    }

    StringResponse stringReply(const HttpRequest& req) {
        auto reply = handleHttpRequest(front, req, peer);
        EXPECT_FALSE(reply.refuse);
        return std::get<StringResponse>(reply.response);
    }

    TempDir dir;
    FrontState front;
    PeerInfo peer{"127.0.0.1", 5555};
};

}  // namespace

TEST_F(HttpHandlerTest, Routes) {
    auto res = stringReply(request(http::verb::get, "/ping"));
    EXPECT_EQ(res.result(), http::status::ok);
    EXPECT_EQ(res.body(), "pong");
    EXPECT_EQ(res[http::field::content_type], "text/plain");

    res = stringReply(request(http::verb::get, "/paths"));
    EXPECT_EQ(nlohmann::json::parse(res.body()), nlohmann::json({"/ping", "/paths", "/status", "/devices"}));

    front.config->SetValue("workerNum", "0", "server");
    front.sessionNum = 2;
    res = stringReply(request(http::verb::get, "/status?x"));
    const auto status = nlohmann::json::parse(res.body());
    EXPECT_EQ(status["workerNum"], 0);
    EXPECT_EQ(status["sessionNum"], 2);
    EXPECT_EQ(status["port"], 3080);
    EXPECT_EQ(status["version"], "rfdock Ver:2.0.8");
    EXPECT_EQ(res.body().find("{\n  \"build\""), 0u);
}

TEST_F(HttpHandlerTest, StaticFilesHeadAndErrors) {
    auto reply = handleHttpRequest(front, request(http::verb::get, "/"), peer);
    ASSERT_TRUE(std::holds_alternative<FileResponse>(reply.response));
    EXPECT_EQ(std::get<FileResponse>(reply.response)[http::field::content_length], "11");

    auto head = stringReply(request(http::verb::head, "/index.html"));
    EXPECT_EQ(head[http::field::content_length], "11");
    EXPECT_TRUE(head.body().empty());

    EXPECT_EQ(stringReply(request(http::verb::get, "/nothing")).result(), http::status::not_found);
    EXPECT_EQ(stringReply(request(http::verb::get, "/%2e%2e/x")).result(), http::status::not_found);
    EXPECT_EQ(stringReply(request(http::verb::post, "/ping")).result(), http::status::method_not_allowed);
}

TEST_F(HttpHandlerTest, CorsEchoesOriginAndAnswersPreflight) {
    auto req = request(http::verb::get, "/ping");
    req.set(http::field::origin, "https://example.org");
    EXPECT_EQ(stringReply(req)[http::field::access_control_allow_origin], "https://example.org");
    EXPECT_EQ(stringReply(request(http::verb::get, "/ping"))[http::field::access_control_allow_origin], "*");

    auto pre = request(http::verb::options, "/status");
    pre.set(http::field::origin, "https://example.org");
    pre.set(http::field::access_control_request_method, "GET");
    pre.set(http::field::access_control_request_headers, "content-type");
    pre.set("Access-Control-Request-Private-Network", "true");
    auto res = stringReply(pre);
    EXPECT_EQ(res.result(), http::status::no_content);
    EXPECT_EQ(res[http::field::access_control_allow_origin], "https://example.org");
    EXPECT_EQ(res[http::field::access_control_allow_headers], "content-type");
    EXPECT_EQ(res["Access-Control-Allow-Private-Network"], "true");

    front.cors = false;
    EXPECT_EQ(stringReply(pre).result(), http::status::method_not_allowed);
    EXPECT_EQ(stringReply(req).count(http::field::access_control_allow_origin), 0u);
}

TEST_F(HttpHandlerTest, HostCheck) {
    const std::pair<const char*, const char*> names[] = {
        {"127.0.0.1:3080", "127.0.0.1"},
        {"127.0.0.1", "127.0.0.1"},
        {"[::1]:3080", "::1"},
        {"[::1]", "::1"},
        {"localhost", "localhost"},
        {"my-host.example_1", "my-host.example_1"},
        // Not a host with an optional port: refused whatever srvHost is.
        {"127.0.0.1:evil.com", nullptr},
        {"127.0.0.1:80@evil.com", nullptr},
        {"127.0.0.1:", nullptr},
        {"127.0.0.1:123456", nullptr},
        {"127.0.0.1:80:80", nullptr},
        {"[127.0.0.1]", nullptr},
        {"[::1", nullptr},
        {"[::1]x", nullptr},
        {"evil.com@127.0.0.1", nullptr},
        {"", nullptr},
        {":80", nullptr},
    };
    for (const auto& [header, name] : names) {
        const auto got = hostNameOf(header);
        if (name == nullptr)
            EXPECT_FALSE(got) << header;
        else
            EXPECT_EQ(got.value_or("(none)"), name) << header;
    }

    auto req = request(http::verb::get, "/ping");
    EXPECT_TRUE(hostAllowed(front, req, peer));  // no srvHost: every host
    front.srvHost = "127.0.0.1";
    EXPECT_TRUE(hostAllowed(front, req, peer));
    req.set(http::field::host, "localhost:3080");
    EXPECT_FALSE(hostAllowed(front, req, peer));
    req.set(http::field::host, "127.0.0.1.evil");
    EXPECT_FALSE(hostAllowed(front, req, peer));
    req.set(http::field::host, "127.0.0.1:80@evil.com");
    EXPECT_FALSE(hostAllowed(front, req, peer));
    // The right host first and another after it: refused, whichever one a proxy would read.
    req.set(http::field::host, "127.0.0.1:3080");
    req.insert(http::field::host, "evil.com");
    EXPECT_FALSE(hostAllowed(front, req, peer));
    req.erase(http::field::host);
    EXPECT_FALSE(hostAllowed(front, req, peer));
}

TEST_F(HttpHandlerTest, RefusedTargetsAndHostsAreLoggedCut) {
    LogCapture log;
    const std::string target = "/" + std::string(16000, 'a');
    auto res = stringReply(request(http::verb::get, target.c_str()));
    EXPECT_EQ(res.result(), http::status::not_found);
    res = stringReply(request(http::verb::post, target.c_str()));
    EXPECT_EQ(res.result(), http::status::method_not_allowed);

    front.srvHost = "127.0.0.1";
    auto req = request(http::verb::get, "/ping");
    req.set(http::field::host, std::string(9000, 'h'));
    EXPECT_FALSE(hostAllowed(front, req, peer));

    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 3u);
    for (const auto& line : lines) {
        EXPECT_LT(line.size(), 400u) << line.substr(0, 80);
        EXPECT_TRUE(line.find("…(cut, 16001 bytes)") != std::string::npos ||
                    line.find("…(cut, 9000 bytes)") != std::string::npos)
            << line.substr(0, 80);
    }
}

TEST_F(HttpHandlerTest, AnOriginsListServesListedPagesAndLocalPrograms) {
    EXPECT_EQ(splitOrigins(" https://app.example,http://localhost:8080  null "),
              (std::vector<std::string>{"https://app.example", "http://localhost:8080", "null"}));
    EXPECT_TRUE(splitOrigins("  ").empty());

    auto req = request(http::verb::get, "/ping");
    req.set(http::field::origin, "https://evil.example");
    EXPECT_EQ(stringReply(req).result(), http::status::ok) << "no list: any page";

    front.origins = splitOrigins("https://app.example http://localhost:8080");
    LogCapture log;
    EXPECT_EQ(stringReply(req).result(), http::status::forbidden);
    EXPECT_TRUE(log.contains("warning [127.0.0.1:5555] forbid origin: https://evil.example"));
    auto preflight = request(http::verb::options, "/ping");
    preflight.set(http::field::origin, "https://evil.example");
    preflight.set(http::field::access_control_request_method, "GET");
    EXPECT_EQ(stringReply(preflight).result(), http::status::forbidden);
    req.set(http::field::origin, "https://app.example");
    EXPECT_EQ(stringReply(req).result(), http::status::ok);
    req.erase(http::field::origin);
    EXPECT_EQ(stringReply(req).result(), http::status::ok) << "a local program sends no Origin";
    EXPECT_EQ(nlohmann::json::parse(stringReply(request(http::verb::get, "/status")).body())["originCheck"],
              true);
}

TEST_F(HttpHandlerTest, ExtraRoutesTakeOnlyJsonPosts) {
    int asked = 0;
    front.extraRoutes = [&](std::string_view, std::string_view, std::string_view) {
        ++asked;
        return std::optional<ExtraRouteReply>(ExtraRouteReply{201, "application/json", "{}"});
    };
    struct Case {
        const char* contentType;  // nullptr: none
        http::status status;
    };
    const Case cases[] = {
        {nullptr, http::status::unsupported_media_type},
        {"text/plain", http::status::unsupported_media_type},
        {"application/x-www-form-urlencoded", http::status::unsupported_media_type},
        {"application/json", http::status::created},
        {"Application/JSON; charset=utf-8", http::status::created},
    };
    for (const auto& c : cases) {
        auto req = request(http::verb::post, "/sim/readers/1/cards");
        if (c.contentType) req.set(http::field::content_type, c.contentType);
        req.body() = R"({"kind":"mifare1k"})";
        req.prepare_payload();
        EXPECT_EQ(stringReply(req).result(), c.status) << (c.contentType ? c.contentType : "(none)");
    }
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(stringReply(request(http::verb::get, "/sim")).result(), http::status::created)
        << "GET needs none";
}
