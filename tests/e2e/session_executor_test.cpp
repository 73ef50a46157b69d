// Sessions run their commands apart from the connections' I/O: a reader that keeps one session
// waiting delays neither another session on the same I/O thread nor its own client's answers.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "sim/firmware/virtual_reader.hpp"
#include "sim_service.hpp"

using nlohmann::json;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

json slot(json fields = json::object()) {
    fields["rfIdx"] = 0;
    return fields;
}

}  // namespace

TEST(SessionExecutor, ASilentReaderHoldsUpOnlyItsOwnSession) {
    SimService service;
    ASSERT_TRUE(service.ready());
    service.readers.add(kReaderVcSerial);
    // The server hands connections to its I/O loops in turn: the first and the fifth share one.
    std::vector<std::unique_ptr<SimClient>> clients;
    for (int i = 0; i < 5; ++i) {
        clients.push_back(std::make_unique<SimClient>(service));
        ASSERT_TRUE(clients.back()->loggedIn());
    }
    SimClient& slow = *clients.front();
    SimClient& neighbour = *clients.back();
    ASSERT_EQ(slow.call(100, slot({{"devType", kReaderVcSerial}}))["err"], 0);
    ASSERT_EQ(slow.call(105, slot({{"open", true}}), 30s)["retval"], 1);

    service.readers.reader(kReaderVcSerial).setFault(rfsim::Fault::silence);
    const auto start = Clock::now();
    const std::string ack = slow.send(112, slot());
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(neighbour.call(1, slot())["err"], 0);
    const auto neighbourAnswered = Clock::now() - start;
    const auto reply = slow.next(30s);
    const auto slowAnswered = Clock::now() - start;
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)["ack"], ack);
    ASSERT_GE(slowAnswered, 150ms);  // the reader's read timeout at least
    EXPECT_LT(neighbourAnswered, slowAnswered / 2);
}
