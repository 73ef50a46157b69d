// UDP slots through the running service, with real loopback peers and OpenSSL as an independent
// check of the payload encryption.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "../unit/support/udp_peer.hpp"
#include "http_client.hpp"
#include "process_stats.hpp"
#include "service_process.hpp"

using nlohmann::json;
using Bytes = std::vector<std::uint8_t>;

namespace {

// A logged-in session that tells replies (by `ack`) from events, which may come between them.
class Session {
  public:
    Session(const ServiceHome& home, int port) : ws_(port) {
        ok_ = ws_.open() && ws_.sendText(loginMessage(home)) && next().value("err", -1) == 0;
    }
    bool ok() const { return ok_; }
    WsClient& ws() { return ws_; }

    json command(json request) {
        const std::string ack = "a" + std::to_string(++acks_);
        request["ack"] = ack;
        if (!ws_.sendText(request.dump())) return json::object();
        for (;;) {
            json message = next();
            if (message.empty() || message.value("ack", "") == ack) return message;
            if (message.contains("evt")) events_.push_back(std::move(message));
        }
    }
    json event() {
        if (events_.empty()) return next();
        json event = std::move(events_.front());
        events_.pop_front();
        return event;
    }
    json open(unsigned slot, std::uint16_t port, bool broadcast = false) {
        return command({{"code", 700},
                        {"udpIdx", slot},
                        {"broadcast", broadcast},
                        {"addr", "127.0.0.1"},
                        {"port", port}});
    }
    json send(unsigned slot, std::uint16_t port, const std::string& data) {
        return command(
            {{"code", 702}, {"udpIdx", slot}, {"addr", "127.0.0.1"}, {"port", port}, {"data", data}});
    }

  private:
    json next() {
        const auto text = ws_.receive();
        return text ? json::parse(*text) : json::object();
    }

    WsClient ws_;
    bool ok_ = false;
    int acks_ = 0;
    std::deque<json> events_;
};

std::string hexText(const Bytes& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (const auto b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// `openssl enc -aes-128-cbc` over the bytes, with PKCS#7 padding as OpenSSL adds it by default.
Bytes opensslEncrypt(const ServiceHome& home, const Bytes& plain, const std::string& keyText) {
    const std::string in = home.path() + "/plain.bin", out = home.path() + "/sealed.bin";
    std::ofstream(in, std::ios::binary)
        .write(reinterpret_cast<const char*>(plain.data()), static_cast<std::streamsize>(plain.size()));
    const std::string command = "openssl enc -aes-128-cbc -K " + hexText(bytesOf(keyText.substr(0, 16))) +
                                " -iv " + hexText(bytesOf(keyText.substr(16))) + " -in " + in + " -out " +
                                out;
    if (std::system(command.c_str()) != 0) return {};
    return bytesOf(readText(out));
}

const std::string kKeyText = "0123456789abcdefFEDCBA9876543210";

}  // namespace

TEST(Udp, SlotRelaysDatagramsBothWays) {
    ServiceHome home;
    RunningService service(home, freePort());
    ASSERT_TRUE(service.ready());
    Session session(home, service.port());
    ASSERT_TRUE(session.ok());

    const std::uint16_t port = UdpPeer::freePort(), other = UdpPeer::freePort();
    json reply = session.open(0, port);
    EXPECT_EQ(reply["retval"], true);
    EXPECT_EQ(reply["err"], 0);
    EXPECT_EQ(reply["msg"], "完成");
    EXPECT_EQ(session.open(0, other)["retval"], true);
    UdpPeer onOther(other);
    EXPECT_NE(onOther.port(), 0) << "a second open bound another port";

    UdpPeer peer;
    ASSERT_TRUE(peer.sendTo(port, {0x48, 0x65, 0x6C, 0x6C, 0x6F}));
    const std::string expected = "{\n  \"data\": \"48656C6C6F\",\n  \"evt\": 700,\n  \"host\": \"127.0.0.1:" +
                                 std::to_string(peer.port()) + "\"\n}";
    EXPECT_EQ(session.ws().receive(), expected);

    reply = session.send(0, peer.port(), "de ad be ef");
    EXPECT_EQ(reply["retval"], 4);
    EXPECT_EQ(peer.receive(), (Bytes{0xDE, 0xAD, 0xBE, 0xEF}));

    EXPECT_EQ(session.command({{"code", 701}, {"udpIdx", 0}})["err"], 0);
    EXPECT_EQ(session.send(0, peer.port(), "00")["err"], 111);
    EXPECT_EQ(service.stop(), 0);
}

TEST(Udp, BadRequestsAnswerTheirCodes) {
    ServiceHome home;
    RunningService service(home, freePort());
    ASSERT_TRUE(service.ready());
    Session session(home, service.port());
    ASSERT_TRUE(session.ok());

    EXPECT_EQ(session.send(3, 9, "00")["err"], 111);
    EXPECT_EQ(session.send(6, 9, "00")["err"], 109);
    EXPECT_EQ(session.command({{"code", 703}, {"udpIdx", 6}, {"keyStr", kKeyText}})["err"], 109);
    ASSERT_EQ(session.open(3, 0)["retval"], true);
    const json wrongKey = session.command({{"code", 703}, {"udpIdx", 3}, {"keyStr", kKeyText.substr(1)}});
    EXPECT_EQ(wrongKey["err"], 104);
    EXPECT_EQ(wrongKey["msg"], "密钥格式错误!");
    EXPECT_EQ(session.send(3, 9, "0")["err"], 105);
    EXPECT_EQ(session.command(
                  {{"code", 702}, {"udpIdx", 3}, {"addr", "127.0.0.300"}, {"port", 9}, {"data", ""}})["err"],
              110);

    // A missing field: no reply, the connection closes.
    ASSERT_TRUE(session.ws().sendText(R"({"ack":"m","code":702,"udpIdx":3,"addr":"127.0.0.1","port":9})"));
    EXPECT_TRUE(session.ws().closedByServer());
}

TEST(Udp, EncryptionMatchesOpenSsl) {
    ServiceHome home;
    RunningService service(home, freePort());
    ASSERT_TRUE(service.ready());
    Session session(home, service.port());
    ASSERT_TRUE(session.ok());
    const std::uint16_t port = UdpPeer::freePort();
    ASSERT_EQ(session.open(1, port)["retval"], true);
    EXPECT_EQ(session.command({{"code", 703}, {"udpIdx", 1}, {"keyStr", kKeyText}})["retval"], true);

    UdpPeer peer;
    const Bytes plain = bytesOf("sixteen bytes!!!");
    EXPECT_EQ(session.send(1, peer.port(), hexText(plain))["retval"], 32);
    const auto sealed = peer.receive();
    ASSERT_TRUE(sealed);
    const Bytes reference = opensslEncrypt(home, plain, kKeyText);
    ASSERT_EQ(reference.size(), 32u) << "openssl enc failed";
    EXPECT_EQ(*sealed, reference);

    ASSERT_TRUE(peer.sendTo(port, opensslEncrypt(home, bytesOf("hello"), kKeyText)));
    EXPECT_EQ(session.event()["data"], hexText(bytesOf("hello")));
    // Not sealed with the key: its padding does not survive decryption.
    ASSERT_TRUE(peer.sendTo(port, Bytes(32, 0x00)));
    const json garbled = session.event();
    EXPECT_EQ(garbled["evt"], 700);
    EXPECT_EQ(garbled["data"], "");
}

// A client that stops reading while datagrams pour in: the service drops events (and says so in
// its log) instead of keeping them, stays responsive, and keeps the connection.
TEST(Udp, FloodTowardsASlowReaderIsBounded) {
    ServiceHome home;
    RunningService service(home, freePort());
    ASSERT_TRUE(service.ready());
    Session slow(home, service.port());
    ASSERT_TRUE(slow.ok());
    const std::uint16_t port = UdpPeer::freePort();
    ASSERT_EQ(slow.open(0, port)["retval"], true);
    const long before = residentKiB(service.pid());

    // At least 40 000 datagrams of 1000 bytes (80 MB of events if all were kept), and on until the
    // service has had to drop some: a slow (sanitized) build needs longer to fill the backlog.
    UdpPeer peer;
    const Bytes datagram(1000, 0xA5);
    const auto dropped = [&] { return home.logText().find("client reads too slowly") != std::string::npos; };
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (int burst = 0; burst < 400 || (!dropped() && std::chrono::steady_clock::now() < limit); ++burst) {
        for (int i = 0; i < 100; ++i)
            peer.sendTo(port, datagram);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const long after = residentKiB(service.pid());
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    EXPECT_LT(after - before, 32 * 1024) << "resident KiB before " << before << ", after " << after;
#endif
    EXPECT_TRUE(dropped());
    std::printf("resident KiB before %ld, after %ld\n", before, after);

    Session other(home, service.port());
    ASSERT_TRUE(other.ok());
    EXPECT_EQ(other.command({{"code", 1}})["err"], 0);
    // The slow client catches up: the events kept for it, then the reply to a new command.
    EXPECT_EQ(slow.command({{"code", 1}})["err"], 0);
    EXPECT_EQ(service.stop(), 0);
}

// Sessions on every worker with slots spread over the workers: stopping the service closes them
// all without touching a loop that is already gone.
TEST(Udp, ServiceStopsCleanlyWithSlotsOpen) {
    ServiceHome home;
    RunningService service(home, freePort());
    ASSERT_TRUE(service.ready());
    std::vector<std::unique_ptr<Session>> sessions;
    UdpPeer peer;
    for (int s = 0; s < 5; ++s) {
        sessions.push_back(std::make_unique<Session>(home, service.port()));
        ASSERT_TRUE(sessions.back()->ok());
        for (unsigned slot = 0; slot < 6; ++slot) {
            const std::uint16_t port = UdpPeer::freePort();
            ASSERT_EQ(sessions.back()->open(slot, port)["retval"], true);
            peer.sendTo(port, {1, 2, 3});
        }
    }
    EXPECT_EQ(service.stop(), 0);
}
