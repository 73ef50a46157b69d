// A card that arrives while the client lags far behind a flood of datagram events is still
// reported: datagram events may be left out for such a client, finder events never are.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "../unit/support/udp_peer.hpp"
#include "sim/card/mifare_classic_card.hpp"
#include "sim/field/type_a_commands.hpp"
#include "sim_service.hpp"
#include "support/hex_bytes.hpp"
#include "support/log_capture.hpp"

using nlohmann::json;
using namespace std::chrono_literals;

TEST(FinderUnderLoad, AnArrivalAfterADatagramFloodIsReported) {
    // Before the service, so that its threads only ever see this logger.
    LogCapture log;
    // The service says so once it leaves out datagram events for a client that lags behind.
    const auto lagging = [&] { return log.contains("client reads too slowly"); };
    SimService service;
    ASSERT_TRUE(service.ready());
    service.readers.add(kReaderVaHid);
    auto field = std::make_shared<rfsim::VirtualField>();
    ASSERT_TRUE(rfsim::attachField(service.readers.reader(kReaderVaHid), field));
    SimClient client(service);
    ASSERT_TRUE(client.loggedIn());
    ASSERT_EQ(client.call(100, {{"rfIdx", 0}, {"devType", kReaderVaHid}})["err"], 0);
    ASSERT_EQ(client.call(105, {{"rfIdx", 0}, {"open", true}})["retval"], 1);
    ASSERT_EQ(client.call(113, {{"rfIdx", 0}, {"enable", true}, {"limit", 0}})["err"], 0);
    ASSERT_EQ(client.call(117, {{"rfIdx", 0}, {"ms", 5}, {"evt", true}, {"fixIdle", true}})["err"], 0);
    const std::uint16_t slotPort = UdpPeer::freePort();
    ASSERT_EQ(
        client.call(
            700, {{"udpIdx", 0}, {"broadcast", false}, {"addr", "127.0.0.1"}, {"port", slotPort}})["retval"],
        true);

    // Far more datagram events than the connection keeps for a client that does not read (the
    // socket buffers and the event backlog together hold a few thousand of these).
    UdpPeer peer;
    const std::vector<std::uint8_t> datagram(1000, 0x5A);
    const auto flood = [&](auto until) {
        while (!until()) {
            for (int i = 0; i < 100; ++i)
                peer.sendTo(slotPort, datagram);
            std::this_thread::sleep_for(1ms);
        }
    };
    const auto limit = std::chrono::steady_clock::now() + 30s;
    flood([&] { return lagging() || std::chrono::steady_clock::now() > limit; });
    ASSERT_TRUE(lagging()) << "the flood never filled the connection's event backlog";
    // The card arrives while the backlog stays full.
    field->place(rfsim::makeMifare1K(hexBytes("0A0B0C0D")));
    const auto placed = std::chrono::steady_clock::now();
    flood([&] { return std::chrono::steady_clock::now() > placed + 300ms; });

    // Catch up: the card's event is somewhere in what was kept.
    int datagrams = 0;
    for (;;) {
        const auto message = client.next(5s);
        ASSERT_TRUE(message) << "no finder event after " << datagrams << " datagram events";
        if ((*message)["evt"] == 700) {
            ++datagrams;
            continue;
        }
        ASSERT_EQ((*message)["evt"], 117);
        EXPECT_EQ((*message)["retval"][0]["uid"], "0A0B0C0D");
        break;
    }
}
