// UDP slots of a session against a real loop thread and a loopback peer.

#include "service/udp/udp_work.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <thread>

#include "service/udp/udp_endpoint.hpp"
#include "support/fake_channel.hpp"
#include "support/hex_bytes.hpp"
#include "support/udp_peer.hpp"

using nlohmann::json;
namespace hr = handler_result;

namespace {

// The session runs on the test's thread, the endpoints on a loop thread of their own, as a
// session and its endpoints may sit on different workers of the server.
class UdpWorkTest : public testing::Test {
  protected:
    UdpWorkTest() {
        thread_ = std::thread([this] { loop_.run(); });
        udp_ = std::make_unique<UdpWork>(channel_, [this]() -> boost::asio::io_context& { return loop_; });
    }
    ~UdpWorkTest() override {
        udp_.reset();
        guard_.reset();
        thread_.join();
    }

    struct Outcome {
        int result;
        json reply;
    };
    // The request goes through text, as from a client: whole numbers of 0 or more become unsigned.
    Outcome run(const json& built) {
        const json request = json::parse(built.dump());
        json reply = json::object();
        const int result = udp_->work(request.at("code").get<int>(), request, reply);
        return {result, reply};
    }
    json reply(const json& request) {
        auto outcome = run(request);
        EXPECT_EQ(outcome.result, hr::kSendNow) << request;
        return outcome.reply;
    }
    // Opens a slot bound to 127.0.0.1 on a free port; the port, or 0.
    std::uint16_t openBound(unsigned slot) {
        const std::uint16_t port = UdpPeer::freePort();
        const json r = reply(
            {{"code", 700}, {"udpIdx", slot}, {"broadcast", false}, {"addr", "127.0.0.1"}, {"port", port}});
        return r.value("retval", false) ? port : 0;
    }
    void setKey(unsigned slot, const std::string& keyText) {
        EXPECT_EQ(reply({{"code", 703}, {"udpIdx", slot}, {"keyStr", keyText}})["retval"], true);
    }
    // The next event, or an empty object after the time-out.
    json nextEvent() {
        if (!channel_->waitForSent(++events_)) return json::object();
        return json::parse(channel_->sent()[events_ - 1]);
    }

    boost::asio::io_context loop_{1};
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> guard_{loop_.get_executor()};
    std::thread thread_;
    std::shared_ptr<FakeChannel> channel_ = std::make_shared<FakeChannel>();
    std::unique_ptr<UdpWork> udp_;
    std::size_t events_ = 0;
};

const std::string kKeyText = "0123456789abcdefFEDCBA9876543210";

}  // namespace

TEST_F(UdpWorkTest, BadRequests) {
    ASSERT_NE(openBound(0), 0);
    const struct {
        json request;
        int result;
        int err;  // when answered
    } cases[] = {
        {{{"code", 700}}, hr::kMalformed, 0},
        {{{"code", 701}, {"udpIdx", -1}}, hr::kMalformed, 0},
        {{{"code", 701}, {"udpIdx", "0"}}, hr::kMalformed, 0},
        {{{"code", 701}, {"udpIdx", 0.5}}, hr::kMalformed, 0},
        {{{"code", 702}, {"udpIdx", 6}}, hr::kSendNow, 109},
        {{{"code", 700}, {"udpIdx", 6}}, hr::kSendNow, 109},
        {{{"code", 702}, {"udpIdx", 3}}, hr::kSendNow, 111},  // checked before the fields
        {{{"code", 703}, {"udpIdx", 3}, {"keyStr", kKeyText}}, hr::kSendNow, 111},
        {{{"code", 700}, {"udpIdx", 1}, {"addr", "127.0.0.1"}, {"port", 0}}, hr::kMalformed, 0},
        {{{"code", 700}, {"udpIdx", 1}, {"broadcast", 0}, {"addr", "127.0.0.1"}, {"port", 0}},
         hr::kMalformed,
         0},
        {{{"code", 700}, {"udpIdx", 1}, {"broadcast", false}, {"addr", 1}, {"port", 0}}, hr::kMalformed, 0},
        {{{"code", 700}, {"udpIdx", 1}, {"broadcast", false}, {"addr", "127.0.0.1"}, {"port", -1}},
         hr::kMalformed,
         0},
        {{{"code", 702}, {"udpIdx", 0}, {"addr", "127.0.0.1"}, {"port", 9}}, hr::kMalformed, 0},
        {{{"code", 702}, {"udpIdx", 0}, {"addr", "127.0.0.1"}, {"port", "9"}, {"data", ""}},
         hr::kMalformed,
         0},
        {{{"code", 702}, {"udpIdx", 0}, {"addr", "127.0.0.1"}, {"port", 9}, {"data", "0G"}},
         hr::kSendNow,
         105},
        {{{"code", 702}, {"udpIdx", 0}, {"addr", "127.0.0.1"}, {"port", 9}, {"data", "123"}},
         hr::kSendNow,
         105},
        {{{"code", 702}, {"udpIdx", 0}, {"addr", "localhost"}, {"port", 9}, {"data", "00"}},
         hr::kSendNow,
         110},
        {{{"code", 702}, {"udpIdx", 0}, {"addr", "127.0.0.1"}, {"port", 65536}, {"data", "00"}},
         hr::kSendNow,
         110},
        {{{"code", 702}, {"udpIdx", 0}, {"addr", ""}, {"port", 9}, {"data", "00"}}, hr::kSendNow, 110},
        {{{"code", 703}, {"udpIdx", 0}, {"keyStr", kKeyText.substr(1)}}, hr::kSendNow, 104},
        {{{"code", 703}, {"udpIdx", 0}, {"keyStr", kKeyText + "x"}}, hr::kSendNow, 104},
        {{{"code", 703}, {"udpIdx", 0}, {"keyStr", 5}}, hr::kMalformed, 0},
        {{{"code", 704}, {"udpIdx", 0}}, hr::kSendNow, 103},
    };
    for (const auto& c : cases) {
        const auto outcome = run(c.request);
        EXPECT_EQ(outcome.result, c.result) << c.request;
        if (c.result == hr::kSendNow) {
            EXPECT_EQ(outcome.reply["err"], c.err) << c.request;
            EXPECT_FALSE(outcome.reply.contains("retval")) << c.request;
        }
    }
}

TEST_F(UdpWorkTest, OpenFailuresAnswerFalse) {
    UdpPeer taken;
    const json cases[] = {
        {{"code", 700}, {"udpIdx", 0}, {"broadcast", false}, {"addr", "no address"}, {"port", 0}},
        {{"code", 700}, {"udpIdx", 0}, {"broadcast", false}, {"addr", "127.0.0.1"}, {"port", 70000}},
        {{"code", 700}, {"udpIdx", 0}, {"broadcast", false}, {"addr", "127.0.0.1"}, {"port", taken.port()}},
    };
    for (const auto& request : cases) {
        const json r = reply(request);
        EXPECT_EQ(r["retval"], false) << request;
        EXPECT_EQ(r["err"], 0) << request;
        EXPECT_EQ(udp_->endpoint(0), nullptr) << request;
    }
    // Nothing was left open: sending still finds no endpoint.
    EXPECT_EQ(reply({{"code", 702}, {"udpIdx", 0}, {"addr", "127.0.0.1"}, {"port", 9}, {"data", ""}})["err"],
              111);
}

TEST_F(UdpWorkTest, OpenTwiceKeepsTheFirstEndpoint) {
    const std::uint16_t port = openBound(2);
    ASSERT_NE(port, 0);
    const auto first = udp_->endpoint(2);
    const std::uint16_t other = UdpPeer::freePort();
    EXPECT_EQ(reply({{"code", 700},
                     {"udpIdx", 2},
                     {"broadcast", true},
                     {"addr", "127.0.0.1"},
                     {"port", other}})["retval"],
              true);
    EXPECT_EQ(udp_->endpoint(2), first);
    EXPECT_EQ(first->localEndpoint().port(), port);
    EXPECT_FALSE(first->broadcastOn());
    UdpPeer onOther(other);
    EXPECT_NE(onOther.port(), 0) << "the second port was bound";
}

TEST_F(UdpWorkTest, BroadcastFieldHasTheLastWord) {
    const struct {
        const char* addr;
        bool broadcast;
    } cases[] = {
        {"127.0.0.1", false},       {"127.0.0.1", true},
        {"127.255.255.255", false},  // ".255" turns it on, the field turns it off again
        {"127.255.255.255", true},  {"::1", true},
    };
    for (const auto& c : cases) {
        const json r =
            reply({{"code", 700}, {"udpIdx", 1}, {"broadcast", c.broadcast}, {"addr", c.addr}, {"port", 0}});
        ASSERT_EQ(r["retval"], true) << c.addr;
        EXPECT_EQ(udp_->endpoint(1)->broadcastOn(), c.broadcast) << c.addr;
        EXPECT_EQ(reply({{"code", 701}, {"udpIdx", 1}})["err"], 0);
        EXPECT_EQ(udp_->endpoint(1), nullptr);
    }
    EXPECT_EQ(reply({{"code", 701}, {"udpIdx", 1}})["err"], 0) << "closing a closed slot";
}

TEST_F(UdpWorkTest, DatagramsBecomeEvents) {
    const std::uint16_t port = openBound(0);
    ASSERT_NE(port, 0);
    UdpPeer peer;
    ASSERT_TRUE(peer.sendTo(port, hexBytes("01 02 0A 0B FF")));
    const json event = nextEvent();
    EXPECT_EQ(
        event,
        json({{"evt", 700}, {"data", "01020A0BFF"}, {"host", "127.0.0.1:" + std::to_string(peer.port())}}));

    ASSERT_TRUE(peer.sendTo(port, {}));
    EXPECT_EQ(nextEvent()["data"], "");

    // The largest datagram IPv4 carries arrives whole.
    Bytes largest(65507);
    for (std::size_t i = 0; i < largest.size(); ++i)
        largest[i] = static_cast<std::uint8_t>(i);
    ASSERT_TRUE(peer.sendTo(port, largest));
    const std::string data = nextEvent()["data"];
    ASSERT_EQ(data.size(), 2 * largest.size());
    EXPECT_EQ(data.substr(0, 8), "00010203");
    EXPECT_EQ(data.substr(data.size() - 6), "E0E1E2");  // bytes 65504 to 65506
}

TEST_F(UdpWorkTest, SendReachesThePeer) {
    ASSERT_NE(openBound(0), 0);
    UdpPeer peer;
    const auto send = [&](const std::string& data) {
        return reply(
            {{"code", 702}, {"udpIdx", 0}, {"addr", "127.0.0.1"}, {"port", peer.port()}, {"data", data}});
    };
    json r = send("0x01 02-0a,0B");
    EXPECT_EQ(r["retval"], 4);
    EXPECT_EQ(r["err"], 0);
    EXPECT_EQ(peer.receive(), hexBytes("01020A0B"));
    EXPECT_EQ(send("")["retval"], 0);
    EXPECT_EQ(peer.receive(), Bytes{});
    // Too long for one datagram: the send fails and says so.
    EXPECT_EQ(send(std::string(2 * 65536, 'A'))["retval"], -1);
}

TEST_F(UdpWorkTest, EncryptedSlotSealsAndOpensPayloads) {
    const std::uint16_t port = openBound(4);
    ASSERT_NE(port, 0);
    setKey(4, kKeyText);
    UdpPeer peer;
    const json r = reply({{"code", 702},
                          {"udpIdx", 4},
                          {"addr", "127.0.0.1"},
                          {"port", peer.port()},
                          {"data", "00112233445566778899AABBCCDDEEFF"}});
    EXPECT_EQ(r["retval"], 32);
    const auto sealed = peer.receive();
    ASSERT_TRUE(sealed);
    ASSERT_EQ(sealed->size(), 32u);

    // What the slot sent comes back decrypted; the byte-exact check against OpenSSL is end to end.
    ASSERT_TRUE(peer.sendTo(port, *sealed));
    EXPECT_EQ(nextEvent()["data"], "00112233445566778899AABBCCDDEEFF");

    const struct {
        const char* what;
        Bytes datagram;
    } bad[] = {
        {"not whole blocks", Bytes(sealed->begin(), sealed->begin() + 20)},
        {"first block alone: plaintext ends in 0xFF", Bytes(sealed->begin(), sealed->begin() + 16)},
        {"empty", Bytes{}},
    };
    for (const auto& c : bad) {
        ASSERT_TRUE(peer.sendTo(port, c.datagram));
        EXPECT_EQ(nextEvent()["data"], "") << c.what;
    }

    // Closing forgets the key: a reopened slot sends in the clear.
    reply({{"code", 701}, {"udpIdx", 4}});
    ASSERT_NE(openBound(4), 0);
    EXPECT_EQ(reply({{"code", 702},
                     {"udpIdx", 4},
                     {"addr", "127.0.0.1"},
                     {"port", peer.port()},
                     {"data", "AB"}})["retval"],
              1);
}

TEST_F(UdpWorkTest, EventsAreDroppedWhileTheClientLags) {
    const std::uint16_t port = openBound(0);
    ASSERT_NE(port, 0);
    const auto endpoint = udp_->endpoint(0);
    channel_->setEventRoom(false);
    UdpPeer peer;
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(peer.sendTo(port, {static_cast<std::uint8_t>(i)}));
    for (int i = 0; i < 500 && endpoint->droppedEvents() < 20; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(endpoint->droppedEvents(), 20u);
    EXPECT_EQ(channel_->sentCount(), 0u);

    channel_->setEventRoom(true);
    ASSERT_TRUE(peer.sendTo(port, {0x77}));
    EXPECT_EQ(nextEvent()["data"], "77");
}

// A datagram may be in delivery on the loop thread while the session closes its slot or ends: no
// event may follow the close, and nothing the delivery uses may be freed under it.
TEST_F(UdpWorkTest, ClosingWhileDatagramsArriveIsSafe) {
    const std::uint16_t port = UdpPeer::freePortOutsideEphemeralRange();
    std::atomic<bool> flooding{true};
    std::thread flood([&] {
        UdpPeer peer;
        const Bytes datagram(64, 0x5A);
        while (flooding)
            peer.sendTo(port, datagram);
    });
    const json open = {
        {"code", 700}, {"udpIdx", 5}, {"broadcast", false}, {"addr", "127.0.0.1"}, {"port", port}};
    std::size_t delivered = 0;
    for (int round = 0; round < 100; ++round) {
        ASSERT_EQ(reply(open)["retval"], true) << round;
        if (round % 2 == 0) setKey(5, kKeyText);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
        if (round == 99) {
            udp_.reset();  // the session ends with the slot open
        } else {
            reply({{"code", 701}, {"udpIdx", 5}});
        }
        const std::size_t atClose = channel_->sentCount();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        EXPECT_EQ(channel_->sentCount(), atClose) << "event after close in round " << round;
        delivered = atClose;
    }
    flooding = false;
    flood.join();
    EXPECT_GT(delivered, 0u);
}
