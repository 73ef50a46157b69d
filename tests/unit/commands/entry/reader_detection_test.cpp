// Detecting the reader type over the machine's serial ports: frames go only to ports a device
// backs, and every port tried (or the lack of one) leaves a probe line. The machine is a fake root
// whose ports are links to ptys the test holds; HID and USB probes find nothing here.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "commands/entry/rf_reader_one.hpp"
#include "reader/bus/system_device_bus.hpp"
#include "support/fake_channel.hpp"
#include "support/fake_sys_root.hpp"
#include "support/log_capture.hpp"
#include "support/pty_pair.hpp"
#include "support/sim_readers.hpp"

using Clock = std::chrono::steady_clock;

namespace {

enum class OnCh340Port { none, silence, vbReader };

class ReaderDetection : public testing::TestWithParam<OnCh340Port> {
  protected:
    void SetUp() override {
        RfReader::forgetLastGoodPorts();
        machine.virtualConsole("tty1", console.slavePath());
        machine.platformPort("ttyS1", placeholder.slavePath());
        if (GetParam() == OnCh340Port::silence) machine.ch340Port("ttyUSB0", adapter.slavePath());
        if (GetParam() == OnCh340Port::vbReader) {
            sim.add(kReaderVbSerial);
            machine.ch340Port("ttyUSB0", sim.portOf(kReaderVbSerial));
        }
        Orvane::installDeviceBus(std::make_shared<Orvane::SystemDeviceBus>(machine.root()));
    }
    void TearDown() override {
        Orvane::installDeviceBus(std::make_shared<Orvane::SystemDeviceBus>());
        RfReader::forgetLastGoodPorts();
    }

    std::string ch340() const { return machine.devicePath("ttyUSB0"); }

    FakeSysRoot machine;
    PtyPair console, placeholder, adapter;
    SimReaders sim;
    std::shared_ptr<FakeChannel> channel = std::make_shared<FakeChannel>();
};

}  // namespace

TEST_P(ReaderDetection, OnlyThePortADeviceBacksHearsFramesAndEveryProbeIsLogged) {
    LogCapture log;
    RfReaderOne entry(channel, kReaderNone);
    const auto start = Clock::now();
    const int opened = entry.openReader(true);
    const auto took = Clock::now() - start;

    EXPECT_TRUE(console.receive(50).empty()) << "a virtual console was written to";
    EXPECT_TRUE(placeholder.receive(50).empty()) << "a placeholder UART was written to";
    EXPECT_LT(took, std::chrono::seconds(3));

    const std::string none = " backed by a device; 2 listed ports skipped)";
    switch (GetParam()) {
        case OnCh340Port::none:
            EXPECT_EQ(opened, 0);
            EXPECT_TRUE(log.contains("type 5 on serial ports: not present (no serial port" + none));
            EXPECT_TRUE(
                log.contains("type 2 on serial ports: not present (no CH340 (1a86:7523) serial port" + none));
            break;
        case OnCh340Port::silence:
            EXPECT_EQ(opened, 0);
            EXPECT_FALSE(adapter.receive().empty()) << "the CH340 port was never tried";
            EXPECT_TRUE(
                log.contains("type 5 on " + ch340() + ": no answer (nothing came back at 115,200 baud)"));
            EXPECT_TRUE(log.contains("type 2 on " + ch340() +
                                     ": no answer (nothing came back at 57,600 or 9,600 baud)"));
            break;
        case OnCh340Port::vbReader:
            EXPECT_EQ(opened, 1);
            EXPECT_EQ(entry.readerType(), kReaderVbSerial);
            EXPECT_TRUE(log.contains("type 5 on " + ch340() + ": no answer"));
            EXPECT_TRUE(log.contains("type 2 on " + ch340() + ": found"));
            break;
    }
    for (const std::string& line : log.lines()) {
        EXPECT_EQ(line.find(machine.devicePath("tty1")), std::string::npos) << line;
        EXPECT_EQ(line.find(machine.devicePath("ttyS1")), std::string::npos) << line;
    }
}

INSTANTIATE_TEST_SUITE_P(, ReaderDetection,
                         testing::Values(OnCh340Port::none, OnCh340Port::silence, OnCh340Port::vbReader),
                         [](const testing::TestParamInfo<OnCh340Port>& info) {
                             switch (info.param) {
                                 case OnCh340Port::none:
                                     return "NoCh340Port";
                                 case OnCh340Port::silence:
                                     return "SilentCh340Port";
                                 case OnCh340Port::vbReader:
                                     return "VbReaderOnCh340Port";
                             }
                             return "";
                         });
