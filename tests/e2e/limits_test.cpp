// Every kind of abuse a local page or program can try, against one running service: each is refused
// or timed out, the service answers as before afterwards, and its descriptors, threads and memory
// come back to where they were.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "http_client.hpp"
#include "process_stats.hpp"
#include "service_process.hpp"

using nlohmann::json;
using namespace std::chrono_literals;

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // their allocators keep freed memory for a while
#else
constexpr bool kSanitized = false;
#endif

// The descriptors, threads and memory of the service, to compare before and after.
struct Footprint {
    int descriptors = 0;
    int threads = 0;
    long residentKiB = 0;

    static Footprint of(pid_t pid) { return {openDescriptors(pid), threadCount(pid), ::residentKiB(pid)}; }
};

// True once `done` holds, checked every 100 ms for up to `limit`.
bool eventually(const std::function<bool()>& done, std::chrono::milliseconds limit = 15s) {
    for (const auto until = std::chrono::steady_clock::now() + limit;
         std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(100ms))
        if (done()) return true;
    return done();
}

// Takes the test's own open-file limit as high as it may go; the number of connections it can open.
int raiseOwnFileLimit(int wanted) {
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
    ::getrlimit(RLIMIT_NOFILE, &limit);
    const auto room = static_cast<long>(std::min<rlim_t>(limit.rlim_cur, 1 << 20)) - 200;
    return static_cast<int>(std::min<long>(wanted, room));
}

// A WebSocket frame header announcing a text message of `length` bytes, masked with zeros (so the
// payload goes as it is).
std::string hugeFrameHeader(std::uint64_t length) {
    std::string header = {'\x81', '\xFF'};
    for (int shift = 56; shift >= 0; shift -= 8)
        header += static_cast<char>(length >> shift & 0xFF);
    return header + std::string(4, '\0');
}

// Each attack runs to its end and says whether the service dealt with it as it should.

bool sixteenMebibyteFrameIsRefused(int port) {
    RawWebSocket ws(port);
    if (!ws.open()) return false;
    ws.socket().send(hugeFrameHeader(16u << 20));
    const std::string chunk(64 << 10, ' ');
    for (int sent = 0; sent < 256 && ws.socket().send(chunk); ++sent) {
    }
    return ws.socket().closesWithin(5s);
}

bool deeplyNestedJsonIsAnsweredOrRefused(int port) {
    constexpr int kDepth = 100000;
    const std::string nested = std::string(kDepth, '[') + std::string(kDepth, ']');
    for (const std::string& message : {R"({"ack":"deep","code":1,"extra":)" + nested + "}",
                                       std::string(kDepth, '{'), "[" + nested + "]"}) {
        WsClient ws(port);
        if (!ws.open() || !ws.sendText(message)) return false;
        const auto reply = ws.receive(5s);
        if (reply ? json::parse(*reply)["err"] != 100 : ws.lastReadTimedOut()) return false;
    }
    return true;
}

bool replyFloodFromAClientThatNeverReadsIsCut(int port) {
    // 64 replies of 1 MB each: more than the send queue and the sockets can hold together.
    constexpr int kMessages = 64;
    WsClient ws(port);
    const std::string message = json{{"ack", std::string(1000000, 'a')}, {"code", 1}}.dump();
    for (int i = 0; i < kMessages && ws.sendText(message); ++i) {
    }
    // What the service queued before it gave up still comes; then the connection ends.
    int received = 0;
    while (ws.receive(5s))
        ++received;
    return received < kMessages && !ws.lastReadTimedOut();
}

// Connections that each take longer than a deadline: all must be gone within the deadline plus
// slack, sending a piece every `every` until they are.
bool allDroppedInTime(const std::vector<RawConnection*>& connections, const std::string& piece,
                      std::chrono::milliseconds every, std::chrono::seconds within) {
    const auto until = std::chrono::steady_clock::now() + within;
    std::vector<bool> gone(connections.size(), false);
    while (std::chrono::steady_clock::now() < until) {
        bool all = true;
        for (std::size_t i = 0; i < connections.size(); ++i) {
            if (!gone[i]) gone[i] = !connections[i]->send(piece) || connections[i]->closesWithin(0ms);
            all = all && gone[i];
        }
        if (all) return true;
        std::this_thread::sleep_for(every);
    }
    return false;
}

bool slowlorisHeadersAreDropped(int port) {
    std::vector<std::unique_ptr<RawConnection>> owned;
    std::vector<RawConnection*> connections;
    for (int i = 0; i < 20; ++i) {
        connections.push_back(owned.emplace_back(std::make_unique<RawConnection>(port)).get());
        connections.back()->send("GET /ping HTTP/1.1\r\n");
    }
    return allDroppedInTime(connections, "X-Slow: 1\r\n", 1s, 14s);
}

bool dribbledMessagesAreDropped(int port) {
    std::vector<std::unique_ptr<RawWebSocket>> sockets;
    std::vector<RawConnection*> connections;
    for (int i = 0; i < 20; ++i) {
        auto& socket = *sockets.emplace_back(std::make_unique<RawWebSocket>(port));
        if (!socket.open()) return false;
        // A frame announcing 100 bytes, which then come one at a time.
        socket.socket().send(RawWebSocket::frame(1, std::string(100, ' ')).substr(0, 6));
        connections.push_back(&socket.socket());
    }
    return allDroppedInTime(connections, " ", 500ms, 14s);
}

// Far more connections than the service takes: the surplus is closed at accept, the rest by the
// header deadline, since none of them ever sends a request.
bool connectionFloodIsShedAndTimedOut(int port, int count) {
    std::vector<std::unique_ptr<RawConnection>> owned;
    std::vector<RawConnection*> connections;
    for (int i = 0; i < count; ++i)
        connections.push_back(owned.emplace_back(std::make_unique<RawConnection>(port, 100ms)).get());
    return allDroppedInTime(connections, "", 500ms, 14s);
}

// The service's answers after the attacks: HTTP, a session before login and a logged-in one.
void expectServiceAnswers(const ServiceHome& home, int port) {
    const auto ping = httpRequest(port, "GET", "/ping");
    ASSERT_TRUE(ping);
    EXPECT_EQ(ping->status, 200);
    WsClient ws(port);
    ASSERT_TRUE(ws.open());
    ASSERT_TRUE(ws.sendText(R"({"ack":"a","code":1})"));
    EXPECT_EQ(json::parse(*ws.receive())["err"], 100);
    ASSERT_TRUE(ws.sendText(loginMessage(home)));
    EXPECT_EQ(json::parse(*ws.receive())["err"], 0);
    ASSERT_TRUE(ws.sendText(R"({"ack":"b","code":1})"));
    EXPECT_EQ(json::parse(*ws.receive())["err"], 0);
}

void expectBackToBaseline(pid_t pid, const Footprint& before) {
    // Closed connections are let go once their last handler has run, a moment after the close.
    EXPECT_TRUE(eventually([&] { return openDescriptors(pid) <= before.descriptors; }))
        << before.descriptors << " descriptors before, now:\n"
        << describeDescriptors(pid);
    EXPECT_EQ(threadCount(pid), before.threads);
    const long after = residentKiB(pid), peak = peakResidentKiB(pid);
    std::printf("resident memory: %ld KiB before, %ld KiB at the peak, %ld KiB after\n", before.residentKiB,
                peak, after);
    if (kSanitized) return;
    // The reply flood may hold its 8 MiB queue and a few 1 MiB read buffers at once; nothing more.
    EXPECT_LT(peak - before.residentKiB, 96 * 1024);
    EXPECT_LT(after - before.residentKiB, 32 * 1024);
}

void expectTlsPing(int port) {
    const std::string ping = shellOutput(
        "printf 'GET /ping HTTP/1.1\\r\\nHost: localhost\\r\\nConnection: close\\r\\n\\r\\n' | "
        "timeout 10 openssl s_client -quiet -servername localhost -connect 127.0.0.1:" +
        std::to_string(port));
    EXPECT_NE(ping.find("pong"), std::string::npos) << ping;
}

}  // namespace

TEST(Limits, AbuseOverHttpAndWebSocketIsRefusedAndLeavesNothingBehind) {
    const int flood = raiseOwnFileLimit(2000);
    ServiceHome home;
    RunningService service(home, freePort());
    ASSERT_TRUE(service.ready());
    // Each worker's event loop takes its descriptors with its first connection: four workers, so
    // a few requests first.
    for (int i = 0; i < 6; ++i)
        expectServiceAnswers(home, service.port());
    const Footprint before = Footprint::of(service.pid());

    // Those refused at once, one after another.
    EXPECT_TRUE(sixteenMebibyteFrameIsRefused(service.port()));
    EXPECT_TRUE(deeplyNestedJsonIsAnsweredOrRefused(service.port()));
    EXPECT_TRUE(replyFloodFromAClientThatNeverReadsIsCut(service.port()));

    // Those that take a deadline, together: the slow ones take their places first, then the flood
    // fills the rest.
    bool slowloris = false, dribbled = false, shed = false;
    std::thread slowHeaders([&] { slowloris = slowlorisHeadersAreDropped(service.port()); });
    std::thread slowMessages([&] { dribbled = dribbledMessagesAreDropped(service.port()); });
    std::this_thread::sleep_for(500ms);
    std::thread connections([&] { shed = connectionFloodIsShedAndTimedOut(service.port(), flood); });
    slowHeaders.join();
    slowMessages.join();
    connections.join();
    EXPECT_TRUE(slowloris) << "headers dribbled";
    EXPECT_TRUE(dribbled) << "a websocket message dribbled";
    EXPECT_TRUE(shed) << flood << " connections";

    expectServiceAnswers(home, service.port());
    expectBackToBaseline(service.pid(), before);
}

TEST(Limits, StalledTlsHandshakesAreDropped) {
    ServiceHome home;
    home.writeCertificate("localhost");
    home.writeConfig("[server]\ntlsEnable = true\n");
    RunningService service(home, freePort(), {}, true);
    ASSERT_TRUE(service.ready());
    // Each worker's event loop takes its descriptors with its first connection: four workers, so
    // a few requests first.
    for (int i = 0; i < 6; ++i)
        expectTlsPing(service.port());
    const Footprint before = Footprint::of(service.pid());
    // Silent connections, and ones that begin a handshake record of 512 bytes and stop.
    std::vector<std::unique_ptr<RawConnection>> stalled;
    for (int i = 0; i < 40; ++i) {
        stalled.push_back(std::make_unique<RawConnection>(service.port()));
        if (i % 2) stalled.back()->send(std::string("\x16\x03\x01\x02\x00\x01", 6));
    }
    const auto until = std::chrono::steady_clock::now() + 13s;
    for (auto& connection : stalled)
        EXPECT_TRUE(connection->closesWithin(
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now())));

    expectTlsPing(service.port());
    expectBackToBaseline(service.pid(), before);
}
