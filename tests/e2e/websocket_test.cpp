// Sessions over real WebSocket connections.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "http_client.hpp"
#include "service_process.hpp"

using nlohmann::json;

TEST(WebSocket, LoginVersionAndUnknownCodes) {
    ServiceHome home;
    RunningService service(home, freePort());
    ASSERT_TRUE(service.ready());
    WsClient ws(service.port());
    ASSERT_TRUE(ws.open());

    ASSERT_TRUE(ws.sendText(R"({"ack":"v0","code":1})"));
    EXPECT_EQ(json::parse(*ws.receive())["err"], 100);

    ASSERT_TRUE(ws.sendText(loginMessage(home)));
    EXPECT_EQ(json::parse(*ws.receive())["err"], 0);

    ASSERT_TRUE(ws.sendText(R"({"ack":"v1","code":1})"));
    EXPECT_EQ(*ws.receive(),
              "{\n  \"ack\": \"v1\",\n  \"build\": \"Release-armv7-a-Linux-Clang\",\n  \"err\": 0,\n  "
              "\"msg\": \"完成\",\n"
              "  \"ver\": 208,\n  \"version\": \"rfdock Ver:2.0.8\"\n}");

    ASSERT_TRUE(ws.sendText(R"({"ack":"u","code":3})"));
    const auto unknown = json::parse(*ws.receive());
    EXPECT_EQ(unknown["err"], 103);
    EXPECT_EQ(unknown["msg"], "命令码不可用!");

    const auto status = json::parse(httpRequest(service.port(), "GET", "/status")->body);
    EXPECT_EQ(status["sessionNum"], 1);
}

TEST(WebSocket, MalformedMessagesCloseTheConnection) {
    ServiceHome home;
    RunningService service(home, freePort());
    ASSERT_TRUE(service.ready());
    for (const std::string& message :
         {std::string("not json"), std::string(R"({"ack":1,"code":0})"), std::string(200000, '[')}) {
        WsClient ws(service.port());
        ASSERT_TRUE(ws.open());
        ASSERT_TRUE(ws.sendText(message));
        EXPECT_TRUE(ws.closedByServer()) << message.substr(0, 20);
    }
    WsClient binary(service.port());
    ASSERT_TRUE(binary.sendBinary(R"({"ack":"v","code":1})"));
    EXPECT_TRUE(binary.closedByServer());

    WsClient huge(service.port());
    huge.sendText(std::string((1 << 20) + 1, ' '));
    EXPECT_TRUE(huge.closedByServer());

    WsClient after(service.port());
    ASSERT_TRUE(after.sendText(R"({"ack":"v","code":1})"));
    EXPECT_EQ(json::parse(*after.receive())["err"], 100);
}

TEST(WebSocket, SessionsAreCountedAndReleased) {
    ServiceHome home;
    RunningService service(home, freePort());
    ASSERT_TRUE(service.ready());
    {
        WsClient a(service.port()), b(service.port());
        ASSERT_TRUE(a.open() && b.open());
        a.sendText(R"({"ack":"v","code":1})");
        a.receive();
        EXPECT_EQ(json::parse(httpRequest(service.port(), "GET", "/status")->body)["sessionNum"], 2);
    }
    for (int i = 0; i < 50; ++i) {
        const auto status = json::parse(httpRequest(service.port(), "GET", "/status")->body);
        if (status["sessionNum"] == 0 && status["connectNum"] == 1) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ADD_FAILURE() << "sessions were not released";
}
