// Reader commands 100 to 120 through RfWork: the common steps, parameter checking, the find task
// commands and the reader-in-use rule between sessions, on a simulated bus.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "commands/rf_work.hpp"
#include "reader/bus/system_device_bus.hpp"
#include "sim/bus/sim_device_bus.hpp"
#include "sim/bus/usb_readers.hpp"
#include "sim/firmware/va_firmware.hpp"
#include "support/fake_channel.hpp"
#include "support/log_capture.hpp"

using nlohmann::json;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// A session's RfWork on a bus holding one type-4 reader; nothing else is attached, so detection
// and port searches touch no real device.
class ReaderCommands : public testing::Test {
  protected:
    void SetUp() override {
        bus->attach(std::make_shared<rfsim::VaHidDevice>(vaReader));
        Orvane::installDeviceBus(bus);
    }

    struct Answer {
        int result;
        json reply;
    };
    Answer run(RfWork& target, GCODE code, json request) {
        json reply = json::object();
        const int result = target.workRfReader(code, request, reply);
        return {result, reply};
    }
    Answer run(GCODE code, json request) { return run(work, code, std::move(request)); }

    std::shared_ptr<rfsim::VirtualReader> vaReader =
        std::make_shared<rfsim::VirtualReader>(std::make_unique<rfsim::VaFirmware>());
    std::shared_ptr<rfsim::SimDeviceBus> bus = std::make_shared<rfsim::SimDeviceBus>();
    std::shared_ptr<FakeChannel> channel = std::make_shared<FakeChannel>();
    RfWork work{channel};
};

struct Case {
    GCODE code;
    const char* request;
    int result;
    int err;  // -1: nothing written
};

void expectCase(const Case& c, int result, const json& reply) {
    SCOPED_TRACE(std::to_string(c.code) + " " + c.request);
    EXPECT_EQ(result, c.result);
    if (c.err < 0) {
        EXPECT_TRUE(reply.empty()) << reply.dump();
    } else {
        EXPECT_EQ(reply.value("err", -1), c.err);
    }
}

}  // namespace

TEST_F(ReaderCommands, SlotIndexAndEmptySlots) {
    const Case cases[] = {
        {101, R"({"rfIdx": -1})", -1, -1},
        {101, R"({"rfIdx": 2.5})", -1, -1},
        {101, R"({"rfIdx": 2.0})", -1, -1},  // a fractional number, even a whole one, is not a uint
        {101, R"({"rfIdx": "0"})", -1, -1},
        {101, R"({"rfIdx": null})", -1, -1},
        {101, R"({})", -1, -1},
        {101, R"([0])", -1, -1},
        {101, R"({"rfIdx": 6})", 1, 109},
        {101, R"({"rfIdx": 18446744073709551615})", 1, 109},
        {101, R"({"rfIdx": 0})", 1, 102},
        {118, R"({"rfIdx": 5})", 1, 102},
        {150, R"({"rfIdx": 5})", 1, 102},
        {117, R"({"rfIdx": 5, "ms": 1, "evt": false})", 1, 102},  // the slot is checked first
        {100, R"({"rfIdx": 6, "devType": 4})", 1, 109},
    };
    for (const auto& c : cases) {
        const auto [result, reply] = run(c.code, json::parse(c.request));
        expectCase(c, result, reply);
    }
}

TEST_F(ReaderCommands, ParametersOnAFilledSlot) {
    ASSERT_EQ(run(100, {{"rfIdx", 2}, {"devType", 4}}).reply["err"], 0);
    const Case cases[] = {
        {100, R"({"rfIdx": 2})", -1, -1},
        {100, R"({"rfIdx": 2, "devType": -1})", -1, -1},
        {102, R"({"rfIdx": 2, "devType": "4"})", -1, -1},
        {103, R"({"rfIdx": 2, "devType": 2})", -1, -1},
        {103, R"({"rfIdx": 2, "devType": 2, "addr": 5})", -1, -1},
        {104, R"({"rfIdx": 2, "only": 1})", -1, -1},
        {105, R"({"rfIdx": 2, "open": "true"})", -1, -1},
        {107, R"({"rfIdx": 2, "Y": 1.5, "G": 1})", -1, -1},
        {107, R"({"rfIdx": 2, "Y": 1})", -1, -1},
        {110, R"({"rfIdx": 2, "rfType": -1, "forceSwitch": true})", -1, -1},
        {110, R"({"rfIdx": 2, "rfType": 1})", -1, -1},
        {111, R"({"rfIdx": 2, "ms": "300"})", -1, -1},
        {111, R"({"rfIdx": 2, "ms": -1})", -1, -1},
        {113, R"({"rfIdx": 2, "enable": true, "limit": 1.5})", -1, -1},
        {114, R"({"rfIdx": 2, "enable": true, "limit": 1, "afi": 0})", -1, -1},
        {115, R"({"rfIdx": 2, "enable": true, "limit": 1, "afi": -2, "nb16Slots": false})", -1, -1},
        {117, R"({"rfIdx": 2, "ms": -5, "evt": true})", -1, -1},
        {117, R"({"rfIdx": 2, "ms": 5})", -1, -1},
        // Acknowledgement mode answers later under the request's ack; without a string ack there
        // is nothing to answer under.
        {117, R"({"rfIdx": 2, "ms": 5, "evt": false})", -1, -1},
        {117, R"({"rfIdx": 2, "ms": 5, "evt": false, "ack": 7})", -1, -1},
        {117, R"({"rfIdx": 2, "ms": 5, "evt": true})", 1, 106},  // never opened
        {118, R"({"rfIdx": 2})", 1, 103},
        {150, R"({"rfIdx": 2})", 1, 103},
        {99, R"({"rfIdx": 2})", 1, 103},
        {113, R"({"rfIdx": 2, "enable": true, "limit": -1})", 1, 0},
        {114, R"({"rfIdx": 2, "enable": true, "limit": 18446744073709551615, "afi": 300, "slotsNum": 4})", 1,
         0},
        {115, R"({"rfIdx": 2, "enable": false, "limit": 1, "afi": 0, "nb16Slots": true})", 1, 0},
        {119, R"({"rfIdx": 2})", 1, 0},
        {120, R"({"rfIdx": 2})", 1, 0},
        {104, R"({"rfIdx": 2, "only": false})", 1, 0},
    };
    LogCapture log;
    for (const auto& c : cases) {
        const auto [result, reply] = run(c.code, json::parse(c.request));
        expectCase(c, result, reply);
    }
    EXPECT_TRUE(log.contains("warning RfReader gcode 118 fail"));
    EXPECT_TRUE(log.contains("warning RfReader gcode 150 fail"));
}

TEST_F(ReaderCommands, ReaderCommandsReachTheReader) {
    ASSERT_EQ(run(100, {{"rfIdx", 0}, {"devType", 4}}).reply["err"], 0);
    EXPECT_EQ(run(101, {{"rfIdx", 0}}).reply["retval"], 4);
    EXPECT_EQ(run(103, {{"rfIdx", 0}, {"devType", 4}, {"addr", "/dev/null"}}).reply["retval"], false);
    EXPECT_EQ(run(105, {{"rfIdx", 0}, {"open", true}}).reply["retval"], 1);
    EXPECT_EQ(run(109, {{"rfIdx", 0}}).reply["retval"], 1);
    const auto version = run(108, {{"rfIdx", 0}}).reply;
    EXPECT_EQ(version["retval"], true);
    EXPECT_FALSE(version["ver"].get<std::string>().empty());

    // 300 ms goes out as its low byte, 44; the type-4 reader counts in units of about 3 ms.
    EXPECT_EQ(run(111, {{"rfIdx", 0}, {"ms", 300}}).reply["retval"], true);
    EXPECT_EQ(vaReader->state().beeps.back(), 44 * 171 / 512);

    EXPECT_EQ(run(110, {{"rfIdx", 0}, {"rfType", 2}, {"forceSwitch", true}}).reply["retval"], false);
    EXPECT_EQ(run(107, {{"rfIdx", 0}, {"Y", 1}, {"G", 1}}).reply["retval"], false);  // no LEDs on type 4
    EXPECT_EQ(run(116, {{"rfIdx", 0}}).reply["retval"], json::array());

    EXPECT_EQ(run(106, {{"rfIdx", 0}}).reply["err"], 0);
    EXPECT_EQ(run(117, {{"rfIdx", 0}, {"ms", 5}, {"evt", true}}).reply["err"], 106);
    EXPECT_EQ(run(102, {{"rfIdx", 0}, {"devType", 8}}).reply["retval"], false);  // no reader has type 8
    EXPECT_EQ(run(102, {{"rfIdx", 0}, {"devType", 3}}).reply["retval"], true);
    EXPECT_EQ(run(101, {{"rfIdx", 0}}).reply["retval"], 3);
}

TEST_F(ReaderCommands, AcknowledgementModeRepliesWhenStopped) {
    run(100, {{"rfIdx", 1}, {"devType", 4}});
    ASSERT_EQ(run(105, {{"rfIdx", 1}, {"open", true}}).reply["retval"], 1);
    const auto started = run(117, {{"rfIdx", 1}, {"ms", 5}, {"evt", false}, {"ack", "f1"}});
    EXPECT_EQ(started.result, 0);
    EXPECT_TRUE(started.reply.empty());
    EXPECT_TRUE(channel->sent().empty());

    const auto stopped = run(119, {{"rfIdx", 1}});
    EXPECT_EQ(stopped.reply["err"], 0);
    ASSERT_EQ(channel->sent().size(), 1u);  // the task's reply went out before 119 returned
    const json late = json::parse(channel->lastSent());
    EXPECT_EQ(late, json::parse(R"({"ack": "f1", "err": 0, "msg": "完成", "retval": []})"));
}

TEST_F(ReaderCommands, EventModeTaskEndsWithTheSlotOrSession) {
    // A running task sends the reader a request every pass (the field is empty: no events).
    const auto passesGoOn = [&] {
        const int before = vaReader->state().framesAnswered;
        std::this_thread::sleep_for(30ms);
        return vaReader->state().framesAnswered > before;
    };
    auto session = std::make_unique<RfWork>(channel);
    const auto startTask = [&] {
        run(*session, 105, {{"rfIdx", 0}, {"open", true}});
        run(*session, 113, {{"rfIdx", 0}, {"enable", true}, {"limit", 0}});
        ASSERT_EQ(run(*session, 117, {{"rfIdx", 0}, {"ms", 0}, {"evt", true}}).reply["err"], 0);
    };
    run(*session, 100, {{"rfIdx", 0}, {"devType", 4}});
    startTask();
    EXPECT_TRUE(passesGoOn());
    // Replacing the entry stops its task and closes its reader; so does the end of the session.
    ASSERT_EQ(run(*session, 100, {{"rfIdx", 0}, {"devType", 4}}).reply["err"], 0);
    EXPECT_FALSE(passesGoOn());
    startTask();
    EXPECT_TRUE(passesGoOn());
    session.reset();
    EXPECT_FALSE(passesGoOn());
    EXPECT_TRUE(channel->sent().empty());
}

TEST_F(ReaderCommands, ReaderTypeHeldByAnotherSession) {
    auto otherChannel = std::make_shared<FakeChannel>();
    RfWork other(otherChannel);
    run(100, {{"rfIdx", 0}, {"devType", 4}});
    run(other, 100, {{"rfIdx", 3}, {"devType", 4}});
    ASSERT_EQ(run(105, {{"rfIdx", 0}, {"open", true}}).reply["retval"], 1);

    const auto before = Clock::now();
    EXPECT_EQ(run(other, 105, {{"rfIdx", 3}, {"open", true}}).reply["retval"], -1);
    EXPECT_GE(Clock::now() - before, 300ms);
    EXPECT_EQ(run(other, 117, {{"rfIdx", 3}, {"ms", 1}, {"evt", true}}).reply["err"], 106);

    // Let go within the grace: the second open gets the reader.
    std::thread release([&] {
        std::this_thread::sleep_for(100ms);
        run(106, {{"rfIdx", 0}});
    });
    EXPECT_EQ(run(other, 105, {{"rfIdx", 3}, {"open", true}}).reply["retval"], 1);
    release.join();
    EXPECT_EQ(run(105, {{"rfIdx", 0}, {"open", true}}).reply["retval"], -1);
}
