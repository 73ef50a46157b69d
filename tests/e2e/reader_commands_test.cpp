// Reader commands over real WebSocket sessions against the service with simulated readers:
// detection, opening every type, the type-2 rate switch, named ports, beeper, LEDs and protocol,
// readers held by another session, and sessions closing while their finder runs.

#include <gtest/gtest.h>

#include <chrono>

#include "sim_service.hpp"
#include "support/log_capture.hpp"
#include "support/pty_pair.hpp"
#include "support/session_on_pty.hpp"

using nlohmann::json;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

json slot(int rfIdx, json fields = json::object()) {
    fields["rfIdx"] = rfIdx;
    return fields;
}

// Creates slot rfIdx for devType and opens it; the 105 reply.
json createAndOpen(SimClient& client, int rfIdx, int devType) {
    const json created = client.call(100, slot(rfIdx, {{"devType", devType}}));
    if (created.value("err", -1) != 0) return created;
    return client.call(105, slot(rfIdx, {{"open", true}}), 30s);
}

class SimReaderService : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(service.ready()); }

    SimService service;
};

}  // namespace

TEST_F(SimReaderService, DetectionWithNothingAttachedEndsAtType3AndProbesAgain) {
    SimClient client(service);
    ASSERT_TRUE(client.loggedIn());
    const json opened = createAndOpen(client, 0, 0);
    EXPECT_EQ(opened["err"], 0);
    EXPECT_EQ(opened["retval"], 0);
    EXPECT_EQ(client.call(101, slot(0))["retval"], 3);

    // Detection stays on: a reader plugged in later is found by the next open.
    service.readers.add(kReaderVaHid);
    EXPECT_EQ(client.call(105, slot(0, {{"open", true}}))["retval"], 1);
    EXPECT_EQ(client.call(101, slot(0))["retval"], 4);
}

TEST_F(SimReaderService, DetectionFindsALoneType5Reader) {
    service.readers.add(kReaderVcSerial);
    SimClient client(service);
    ASSERT_TRUE(client.loggedIn());
    EXPECT_EQ(createAndOpen(client, 0, 0)["retval"], 1);
    EXPECT_EQ(client.call(101, slot(0))["retval"], 5);
    const json version = client.call(108, slot(0));
    EXPECT_EQ(version["retval"], true);
    EXPECT_EQ(version["ver"], "ver:0210");
}

TEST_F(SimReaderService, EveryTypeOpensAndReadsItsVersion) {
    // The type-5 search tries every serial port, so its reader is listed first; the type-2 search
    // considers only CH340 ports.
    for (const std::uint8_t type :
         {kReaderVcSerial, kReaderVdHid, kReaderVbSerial, kReaderVcCh9326, kReaderVaHid, kReaderVbCh340})
        service.readers.add(type);
    const struct {
        int type;
        const char* version;
    } cases[] = {
        {5, "ver:0210"},
        {1, kVdVersionText},
        {2, "VA_13 Tesmar RF reader V2.1"},
        {3, "ver:0125"},
        {4, "VA_13 Tesmar RF reader V2.1"},
        {6, "VA_13 Tesmar RF reader V2.1"},
    };
    SimClient client(service);
    ASSERT_TRUE(client.loggedIn());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        const int rfIdx = c.type - 1;
        const json opened = createAndOpen(client, rfIdx, c.type);
        EXPECT_EQ(opened["retval"], 1);
        EXPECT_EQ(client.call(101, slot(rfIdx))["retval"], c.type);
        const json version = client.call(108, slot(rfIdx));
        EXPECT_EQ(version["err"], 0);
        EXPECT_EQ(version["retval"], true);
        EXPECT_EQ(version["ver"], c.version);
    }
}

TEST_F(SimReaderService, Type2ReaderIsSwitchedFrom9600To57600) {
    auto& entry = service.readers.add(kReaderVbSerial);
    ASSERT_EQ(entry.reader->baud(), 9600u);
    SimClient client(service);
    ASSERT_TRUE(client.loggedIn());
    EXPECT_EQ(createAndOpen(client, 0, 2)["retval"], 1);
    EXPECT_EQ(entry.reader->baud(), 57600u);
    EXPECT_EQ(entry.host->lineBaud(), 57600u);
    EXPECT_EQ(client.call(108, slot(0))["retval"], true);
}

TEST_F(SimReaderService, APortNamedByAClientMustBeAReaderPort) {
    SimClient client(service);
    ASSERT_TRUE(client.loggedIn());
    ASSERT_EQ(client.call(100, slot(0, {{"devType", 5}}))["err"], 0);
    LogCapture log;
    for (const char* path : {"/dev/tty", "/dev/null", "/etc/passwd", "/dev/ptmx"}) {
        const json reply = client.call(103, slot(0, {{"devType", 5}, {"addr", path}}));
        EXPECT_EQ(reply["retval"], false) << path;
        EXPECT_EQ(reply["err"], 0) << path;
    }
    EXPECT_TRUE(log.contains("warning serial port /dev/tty refused: a console or the controlling terminal"));
    PtyPair shell;
    SessionOnPty session(shell.slavePath());
    ASSERT_TRUE(session.ready());
    EXPECT_EQ(client.call(103, slot(0, {{"devType", 5}, {"addr", shell.slavePath()}}))["retval"], false);
    PtyPair emulator;  // a reader emulator's port: no session owns it
    EXPECT_EQ(client.call(103, slot(0, {{"devType", 5}, {"addr", emulator.slavePath()}}))["retval"], true);
}

TEST_F(SimReaderService, NamedPortThatFailsIsNotFollowedByASearch) {
    auto& real = service.readers.add(kReaderVbSerial);
    PtyPair silent;  // a port with nothing answering behind it
    ASSERT_FALSE(silent.slavePath().empty());
    SimClient client(service);
    ASSERT_TRUE(client.loggedIn());
    ASSERT_EQ(client.call(100, slot(0, {{"devType", 2}}))["err"], 0);
    EXPECT_EQ(client.call(103, slot(0, {{"devType", 2}, {"addr", silent.slavePath()}}))["retval"], true);
    EXPECT_EQ(client.call(105, slot(0, {{"open", true}}), 30s)["retval"], 0);
    EXPECT_EQ(real.reader->state().framesAnswered, 0);  // the CH340 port in the list was not tried

    EXPECT_EQ(client.call(103, slot(0, {{"devType", 2}, {"addr", real.host->portPath()}}))["retval"], true);
    EXPECT_EQ(client.call(105, slot(0, {{"open", true}}), 30s)["retval"], 1);
}

TEST_F(SimReaderService, BeepBytesPerFamily) {
    for (const std::uint8_t type : {kReaderVaHid, kReaderVcCh9326, kReaderVbCh340, kReaderVdHid})
        service.readers.add(type);
    const struct {
        int type;
        int ms;
        int sent;  // the duration byte the reader receives
    } cases[] = {
        {4, 255, 85},   // about a third: the reader counts in 3 ms units
        {4, 300, 14},   // 300 arrives as its low byte, 44
        {3, 255, 127},  // halved
        {6, 300, 44},  {1, 300, 44},
    };
    SimClient client(service);
    ASSERT_TRUE(client.loggedIn());
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + " " + std::to_string(c.ms));
        const int rfIdx = c.type - 1;
        if (client.call(101, slot(rfIdx))["err"] != 0) {
            ASSERT_EQ(createAndOpen(client, rfIdx, c.type)["retval"], 1);
        }
        EXPECT_EQ(client.call(111, slot(rfIdx, {{"ms", c.ms}}))["retval"], true);
        const auto beeps = service.readers.reader(static_cast<std::uint8_t>(c.type)).state().beeps;
        ASSERT_FALSE(beeps.empty());
        EXPECT_EQ(beeps.back(), c.sent);
    }
}

TEST_F(SimReaderService, LedAndProtocolRules) {
    service.readers.add(kReaderVcCh9326);
    service.readers.add(kReaderVaHid);
    SimClient client(service);
    ASSERT_TRUE(client.loggedIn());
    ASSERT_EQ(createAndOpen(client, 0, 3)["retval"], 1);
    ASSERT_EQ(createAndOpen(client, 1, 4)["retval"], 1);

    EXPECT_EQ(client.call(107, slot(0, {{"Y", 1}, {"G", 0}}))["retval"], true);
    EXPECT_EQ(client.call(107, slot(0, {{"Y", 256}, {"G", 513}}))["retval"], true);  // low bytes 0 and 1
    EXPECT_EQ(service.readers.reader(kReaderVcCh9326).state().leds, (std::vector<std::uint8_t>{3, 1, 0, 2}));
    EXPECT_EQ(client.call(107, slot(1, {{"Y", 1}, {"G", 1}}))["retval"], false);

    // A VC reader starts without a protocol; once one is set, another needs forceSwitch.
    EXPECT_EQ(client.call(109, slot(0))["retval"], 0);
    EXPECT_EQ(client.call(110, slot(0, {{"rfType", 1}, {"forceSwitch", false}}))["retval"], true);
    EXPECT_EQ(client.call(110, slot(0, {{"rfType", 2}, {"forceSwitch", false}}))["retval"], false);
    EXPECT_EQ(client.call(110, slot(0, {{"rfType", 2}, {"forceSwitch", true}}))["retval"], true);
    EXPECT_EQ(client.call(109, slot(0))["retval"], 2);

    // A VA reader knows ISO 14443-A only.
    EXPECT_EQ(client.call(109, slot(1))["retval"], 1);
    EXPECT_EQ(client.call(110, slot(1, {{"rfType", 1}, {"forceSwitch", false}}))["retval"], true);
    EXPECT_EQ(client.call(110, slot(1, {{"rfType", 2}, {"forceSwitch", true}}))["retval"], false);
}

TEST_F(SimReaderService, ReaderVanishingMidHandshake) {
    auto& entry = service.readers.add(kReaderVaHid);
    std::weak_ptr<rfsim::SimDevice> device = entry.device;
    // The reader is found and opened, then goes away while it is asked who it is.
    entry.reader->withFirmware([device](rfsim::Firmware& firmware) {
        firmware.setCommand(0x10, [device](const rfsim::Request&) -> std::optional<rfsim::Reply> {
            if (auto d = device.lock()) d->unplug();
            return std::nullopt;
        });
    });
    SimClient client(service);
    ASSERT_TRUE(client.loggedIn());
    EXPECT_EQ(createAndOpen(client, 0, 4)["retval"], 0);
    EXPECT_EQ(client.call(117, slot(0, {{"ms", 5}, {"evt", true}}))["err"], 106);
    EXPECT_EQ(client.call(108, slot(0))["retval"], false);

    entry.reader->withFirmware([](rfsim::Firmware& firmware) {
        firmware.setCommand(0x10, [](const rfsim::Request&) { return rfsim::Reply{0, {'V', '2'}}; });
    });
    entry.device->plug();
    EXPECT_EQ(client.call(105, slot(0, {{"open", true}}))["retval"], 1);
    EXPECT_EQ(client.call(108, slot(0))["ver"], "V2");
}

TEST_F(SimReaderService, ReaderTypeHeldByAnotherSession) {
    service.readers.add(kReaderVaHid);
    SimClient first(service);
    SimClient second(service);
    ASSERT_TRUE(first.loggedIn());
    ASSERT_TRUE(second.loggedIn());
    EXPECT_EQ(createAndOpen(first, 0, 4)["retval"], 1);

    const auto before = Clock::now();
    const int framesBefore = service.readers.reader(kReaderVaHid).state().framesAnswered;
    EXPECT_EQ(createAndOpen(second, 2, 4)["retval"], -1);
    EXPECT_GE(Clock::now() - before, 300ms);
    // The reader in use was not handshaken again under its owner.
    EXPECT_EQ(service.readers.reader(kReaderVaHid).state().framesAnswered, framesBefore);
    EXPECT_EQ(second.call(117, slot(2, {{"ms", 5}, {"evt", true}}))["err"], 106);

    EXPECT_EQ(first.call(106, slot(0))["err"], 0);
    EXPECT_EQ(second.call(105, slot(2, {{"open", true}}))["retval"], 1);
}

TEST_F(SimReaderService, ASearchLeavesTheSerialPortOfAnOpenReaderAlone) {
    service.readers.add(kReaderVbSerial);
    service.readers.add(kReaderVcSerial);
    SimClient first(service);
    SimClient second(service);
    ASSERT_TRUE(first.loggedIn() && second.loggedIn());
    ASSERT_EQ(createAndOpen(first, 0, kReaderVbSerial)["retval"], 1);
    const auto framesOf = [&](std::uint8_t type) {
        return service.readers.reader(type).state().framesAnswered;
    };
    const std::int64_t vbFrames = framesOf(kReaderVbSerial);

    // The type-5 search lists both ports: it finds its reader without probing the type-2 line,
    // which stays at its rate and keeps answering its own entry.
    ASSERT_EQ(createAndOpen(second, 0, kReaderVcSerial)["retval"], 1);
    EXPECT_EQ(service.readers.reader(kReaderVbSerial).state().framesRejected, 0);
    EXPECT_EQ(framesOf(kReaderVbSerial), vbFrames);
    EXPECT_EQ(first.call(108, slot(0))["err"], 0);
    EXPECT_GT(framesOf(kReaderVbSerial), vbFrames);
    EXPECT_EQ(service.readers.reader(kReaderVbSerial).state().baud, 57600u);

    // Closed, the port is free for a search again.
    EXPECT_EQ(first.call(106, slot(0))["err"], 0);
    EXPECT_EQ(second.call(106, slot(0))["err"], 0);
    EXPECT_EQ(createAndOpen(second, 1, kReaderVcSerial)["retval"], 1);
}

TEST_F(SimReaderService, SessionClosedWhileItsFinderRuns) {
    service.readers.add(kReaderVaHid);
    service.readers.add(kReaderVcCh9326);
    {
        SimClient client(service);
        ASSERT_TRUE(client.loggedIn());
        ASSERT_EQ(createAndOpen(client, 0, 4)["retval"], 1);
        ASSERT_EQ(createAndOpen(client, 1, 3)["retval"], 1);
        // Searchers that exchange frames on every pass, no interval: the tasks run flat out.
        for (const int rfIdx : {0, 1}) {
            ASSERT_EQ(
                client.call(
                    114, slot(rfIdx, {{"enable", true}, {"limit", 1}, {"afi", 0}, {"slotsNum", 1}}))["err"],
                0);
            ASSERT_EQ(
                client.call(
                    115,
                    slot(rfIdx, {{"enable", true}, {"limit", 1}, {"afi", 0}, {"nb16Slots", false}}))["err"],
                0);
        }
        EXPECT_EQ(client.call(117, slot(0, {{"ms", 0}, {"evt", true}}))["err"], 0);
        client.send(117, slot(1, {{"ms", 0}, {"evt", false}}));  // acknowledgement mode: no reply yet
        // Commands still get the reader between passes.
        EXPECT_EQ(client.call(108, slot(0), 5s)["retval"], true);
        EXPECT_EQ(client.call(111, slot(1, {{"ms", 10}}), 5s)["retval"], true);
        std::this_thread::sleep_for(100ms);
    }  // the connection closes with both tasks running

    // The session went, its tasks ended and its readers were let go: another session opens them.
    SimClient next(service);
    ASSERT_TRUE(next.loggedIn());
    EXPECT_EQ(createAndOpen(next, 0, 4)["retval"], 1);
    EXPECT_EQ(createAndOpen(next, 1, 3)["retval"], 1);
}

TEST(SimReaderServiceShutdown, ServiceStoppedWhileAFinderRuns) {
    auto service = std::make_unique<SimService>();
    ASSERT_TRUE(service->ready());
    service->readers.add(kReaderVcCh9326);
    SimClient client(*service);
    ASSERT_TRUE(client.loggedIn());
    ASSERT_EQ(createAndOpen(client, 0, 3)["retval"], 1);
    ASSERT_EQ(
        client.call(115, slot(0, {{"enable", true}, {"limit", 1}, {"afi", 0}, {"nb16Slots", false}}))["err"],
        0);
    ASSERT_EQ(client.call(117, slot(0, {{"ms", 0}, {"evt", true}}))["err"], 0);
    std::this_thread::sleep_for(50ms);
    service.reset();  // the front end stops with the session and its task still running
    EXPECT_TRUE(client.ws().closedByServer(2s));
}
