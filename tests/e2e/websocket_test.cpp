// Sessions over real WebSocket connections.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "http_client.hpp"
#include "process_stats.hpp"
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
    // The service counts a session once its side of the handshake is done, which may be a moment
    // after the client's.
    const auto statusBecomes = [&](int sessions, int connections) {
        for (int i = 0; i < 50; ++i) {
            const auto status = json::parse(httpRequest(service.port(), "GET", "/status")->body);
            if (status["sessionNum"] == sessions && status["connectNum"] == connections) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    };
    {
        WsClient a(service.port()), b(service.port());
        ASSERT_TRUE(a.open() && b.open());
        a.sendText(R"({"ack":"v","code":1})");
        a.receive();
        EXPECT_TRUE(statusBecomes(2, 3)) << "sessions were not counted";
    }
    EXPECT_TRUE(statusBecomes(0, 1)) << "sessions were not released";
}

namespace {

// A message of almost the largest size, before login: its reply repeats the ack, so each one
// costs the service as much again in its send queue.
std::string largeMessage(const std::string& ack) {
    return json{{"ack", ack + std::string(1000000, 'a')}, {"code", 1}}.dump();
}

}  // namespace

TEST(WebSocket, RepliesLeftUnreadAreCappedInBytes) {
    ServiceHome home;
    RunningService service(home, freePort());
    ASSERT_TRUE(service.ready());
    WsClient ws(service.port());
    ASSERT_TRUE(ws.open());
    // 64 replies of 1 MB: more than the queue's 8 MiB and all the sockets can hold together.
    constexpr int kMessages = 64;
    int sent = 0;
    while (sent < kMessages && ws.sendText(largeMessage(std::to_string(sent))))
        ++sent;
    int received = 0;
    while (ws.receive(std::chrono::seconds(5)))
        ++received;
    EXPECT_LT(received, kMessages) << "sent " << sent;

    // The others are served as before.
    WsClient other(service.port());
    ASSERT_TRUE(other.sendText(R"({"ack":"v","code":1})"));
    EXPECT_EQ(json::parse(*other.receive())["err"], 100);
    service.stop();
    EXPECT_NE(home.logText().find("does not read"), std::string::npos) << home.logText();
}

TEST(WebSocket, LargeMessagesLeaveNoLargeBuffersBehind) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's allocator keeps freed memory for a while";
#endif
    ServiceHome home;
    RunningService service(home, freePort());
    ASSERT_TRUE(service.ready());
    const auto roundTrip = [&](WsClient& ws, int i) {
        return ws.sendText(largeMessage(std::to_string(i))) && ws.receive().has_value();
    };
    {  // the allocator's first large blocks come and go before the count starts
        WsClient warm(service.port());
        ASSERT_TRUE(roundTrip(warm, -1));
    }
    const long before = residentKiB(service.pid());
    std::vector<std::unique_ptr<WsClient>> clients;
    constexpr int kClients = 48;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<WsClient>(service.port()));
        ASSERT_TRUE(roundTrip(*clients.back(), i)) << i;
    }
    // Each connection that kept its 1 MiB buffer would hold kClients MiB between them.
    const long grown = residentKiB(service.pid()) - before;
    EXPECT_LT(grown, kClients * 1024 / 2) << grown << " KiB";
}

TEST(WebSocket, AMessageDraggedOutIsDroppedTenSecondsAfterItBegan) {
    ServiceHome home;
    RunningService service(home, freePort());
    ASSERT_TRUE(service.ready());
    const std::string message = R"({"ack":"slow","code":1})";
    // Ways of taking 15 s over one message, a piece every 500 ms: one byte at a time, or one
    // fragment at a time with a ping between fragments.
    std::vector<std::string> bytewise;
    for (const char byte : RawWebSocket::frame(1, message))
        bytewise.emplace_back(1, byte);
    std::vector<std::string> fragments = {RawWebSocket::frame(1, message.substr(0, 1), false)};
    for (std::size_t i = 1; i < message.size(); ++i)
        fragments.push_back(RawWebSocket::frame(9, "") +
                            RawWebSocket::frame(0, message.substr(i, 1), i + 1 == message.size()));
    for (const auto& pieces : {bytewise, fragments}) {
        RawWebSocket slow(service.port());
        ASSERT_TRUE(slow.open());
        const auto start = std::chrono::steady_clock::now();
        bool dropped = false;
        for (const std::string& piece : pieces) {
            if (!slow.socket().send(piece) || slow.socket().closesWithin(std::chrono::milliseconds(500))) {
                dropped = true;
                break;
            }
        }
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_TRUE(dropped) << pieces.size() << " pieces";
        EXPECT_GE(took, std::chrono::milliseconds(9500)) << pieces.size() << " pieces";
        EXPECT_LT(took, std::chrono::milliseconds(12500)) << pieces.size() << " pieces";
    }
    // Only the request asking is left, once the service has let go of the dropped ones (it counts a
    // connection until its last handler has run, which may be a moment after the close was seen).
    json status;
    for (int i = 0; i < 100; ++i) {
        status = json::parse(httpRequest(service.port(), "GET", "/status")->body);
        if (status["connectNum"] == 1) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(status["connectNum"], 1);
    service.stop();
    EXPECT_NE(home.logText().find("websocket message not complete within 10 s"), std::string::npos)
        << home.logText();
}

TEST(WebSocket, AnIdleConnectionThatAnswersPingsIsKept) {
    ServiceHome home;
    RunningService service(home, freePort());
    ASSERT_TRUE(service.ready());
    RawWebSocket idle(service.port());
    ASSERT_TRUE(idle.open());
    // After 10 s of silence the service pings; the pong must not count as a message begun.
    const std::string ping = idle.socket().receiveSome();
    ASSERT_FALSE(ping.empty());
    ASSERT_EQ(static_cast<unsigned char>(ping[0]), 0x89);
    ASSERT_TRUE(idle.socket().send(RawWebSocket::frame(10, ping.substr(2))));
    EXPECT_FALSE(idle.socket().closesWithin(std::chrono::milliseconds(10500)));
    ASSERT_TRUE(idle.socket().send(RawWebSocket::frame(1, R"({"ack":"late","code":1})")));
    std::string received;  // another ping may come first
    for (std::string some; received.find("\"ack\": \"late\"") == std::string::npos &&
                           !(some = idle.socket().receiveSome()).empty();)
        received += some;
    EXPECT_NE(received.find("\"ack\": \"late\""), std::string::npos) << received;
}
