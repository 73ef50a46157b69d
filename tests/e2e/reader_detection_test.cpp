// The service itself on this machine, no reader attached: an open with type detection gives up
// quickly and says in the log what each probe found.

#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>

#include "http_client.hpp"
#include "reader/serial/port_list.hpp"
#include "reader/serial/port_policy.hpp"
#include "service_process.hpp"

using nlohmann::json;
using Clock = std::chrono::steady_clock;

TEST(ReaderDetection, WithNoReaderAttachedAnOpenFailsWithinSecondsAndLogsItsProbes) {
    // The search would write reader frames into a real port of this machine: tests touch no tty
    // they did not create.
    for (const serial::PortInfo& port : serial::listPorts("/"))
        if (port.backedByDevice && !serial::portRefusal(port.port))
            GTEST_SKIP() << "this machine has a serial port a reader could be on: " << port.port;
    ServiceHome home;
    home.writeConfig("[log]\nlevel = info\n");  // the probe lines are info lines
    RunningService service(home, freePort());
    ASSERT_TRUE(service.ready()) << service.output();
    WsClient ws(service.port());
    ASSERT_TRUE(ws.open());
    ASSERT_TRUE(ws.sendText(loginMessage(home)));
    ASSERT_EQ(json::parse(ws.receive().value_or("{}")).value("err", -1), 0);

    ASSERT_TRUE(ws.sendText(json{{"ack", "new"}, {"code", 100}, {"rfIdx", 0}, {"devType", 0}}.dump()));
    ASSERT_EQ(json::parse(ws.receive().value_or("{}")).value("err", -1), 0);

    const auto start = Clock::now();
    ASSERT_TRUE(ws.sendText(json{{"ack", "open"}, {"code", 105}, {"rfIdx", 0}, {"open", true}}.dump()));
    const json opened = json::parse(ws.receive(std::chrono::seconds(60)).value_or("{}"));
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    RecordProperty("detection_ms", static_cast<int>(took.count()));
    EXPECT_EQ(opened.value("err", -1), 0) << opened.dump();
    EXPECT_EQ(opened.value("retval", -2), 0) << opened.dump();
    EXPECT_LT(took, std::chrono::seconds(3)) << "an open with detection took " << took.count() << " ms";

    service.stop();
    const std::string log = home.logText();
    for (const char* type : {"type 5 on", "type 2 on"})
        EXPECT_NE(log.find(std::string("reader probe: ") + type), std::string::npos) << type << "\n" << log;
}
