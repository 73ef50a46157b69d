#include "reader/trace/traced_bus.hpp"

#include <gtest/gtest.h>

#include <fstream>

#include "support/fake_pcsc.hpp"
#include "support/hex_bytes.hpp"
#include "support/scripted_devices.hpp"
#include "support/temp_dir.hpp"
#include "support/trace_lines.hpp"

using nlohmann::json;
using Orvane::TraceFile;

namespace {

class TracedBusTest : public testing::Test {
  protected:
    TempDir dir;
    std::string path = dir.file("trace.jsonl");
    std::shared_ptr<scripted::Bus> inner = std::make_shared<scripted::Bus>();
    std::shared_ptr<TraceFile> file = std::make_shared<TraceFile>(path, 1 << 20);
    Orvane::TracedBus bus{inner, file};
};

}  // namespace

TEST_F(TracedBusTest, HidOperationsAreTracedWithTheirAnswers) {
    auto script = inner->addHid(0x10C4, 0x0210);
    script->featureReports.push_back(hexBytes("06 55 00 00 00 9A 39"));
    script->inputReports.push_back(hexBytes("01 02"));
    {
        auto hid = bus.openHid(0x10C4, 0x0210);
        ASSERT_TRUE(hid);
        EXPECT_EQ(hid->sendFeatureReport(hexBytes("06 AA B0")), 3);
        Bytes report(8, 0);
        report[0] = 6;
        EXPECT_EQ(hid->getFeatureReport(report), 7);
        EXPECT_EQ(hid->write(hexBytes("00 11")), 2);
        EXPECT_EQ(hid->readTimeout(report, 200), 2);
    }
    EXPECT_FALSE(bus.openHid(0x0483, 0x5751));

    const json base = {{"type", 1}, {"dev", "10c4:0210"}};
    const auto with = [&](json fields) {
        fields.update(base);
        return fields;
    };
    const std::vector<json> expected = {
        with({{"op", "open"}, {"link", "hid"}, {"result", 0}}),
        with({{"op", "featureSet"}, {"out", "06AAB0"}, {"result", 3}}),
        with({{"op", "featureGet"}, {"size", 8}, {"reportId", 6}, {"result", 7}, {"in", "06550000009A39"}}),
        with({{"op", "hidWrite"}, {"out", "0011"}, {"result", 2}}),
        with({{"op", "hidRead"}, {"size", 8}, {"timeoutMs", 200}, {"result", 2}, {"in", "0102"}}),
        with({{"op", "close"}}),
        {{"op", "open"}, {"link", "hid"}, {"result", -1}, {"type", 4}, {"dev", "0483:5751"}},
    };
    EXPECT_EQ(readTraceLinesUntimed(path), expected);
}

TEST_F(TracedBusTest, UsbOperationsAreTracedWithTheirAnswers) {
    auto script = inner->addUsb(0x1A86, 0x7523);
    script->bulkIn.push_back(hexBytes("AA 55 01"));
    {
        auto usb = bus.openUsb(0x1A86, 0x7523);
        ASSERT_TRUE(usb);
        EXPECT_EQ(usb->claimInterface(0), 0);
        EXPECT_EQ(usb->controlTransfer(0x40, 0x9A, 0x1312, 0xCC83, {}, 1000), 0);
        Bytes request = hexBytes("AA 01");
        int transferred = 0;
        EXPECT_EQ(usb->bulkTransfer(0x02, request, transferred, 200), 0);
        Bytes reply(64);
        EXPECT_EQ(usb->bulkTransfer(0x82, reply, transferred, 200), 0);
        EXPECT_EQ(usb->bulkTransfer(0x82, reply, transferred, 200), Orvane::usb_error::kTimeout);
    }
    const std::vector<json> lines = readTraceLinesUntimed(path);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[1],
              (json{{"op", "claim"}, {"interface", 0}, {"result", 0}, {"type", 6}, {"dev", "1a86:7523"}}));
    EXPECT_EQ(lines[2]["op"], "control");
    EXPECT_EQ(lines[2]["value"], 0x1312);
    EXPECT_EQ(lines[2]["index"], 0xCC83);
    EXPECT_EQ(lines[2]["out"], "");
    EXPECT_EQ(lines[3]["out"], "AA01");
    EXPECT_EQ(lines[3]["transferred"], 2);
    EXPECT_EQ(lines[4]["in"], "AA5501");
    EXPECT_EQ(lines[4]["size"], 64);
    EXPECT_EQ(lines[5]["result"], Orvane::usb_error::kTimeout);
    EXPECT_EQ(lines[5]["in"], "");
    EXPECT_EQ(lines[6]["op"], "close");
}

TEST_F(TracedBusTest, ResultsBeyondTheBufferTraceOnlyTheBuffer) {
    // A device (or its library) that claims more bytes than the buffer holds.
    auto script = inner->addHid(0x0483, 0x5751);
    script->inputReports.push_back(scripted::Read(hexBytes("01 02 03 04"), 4000));
    auto hid = bus.openHid(0x0483, 0x5751);
    Bytes report(4);
    EXPECT_EQ(hid->readTimeout(report, 200), 4000);
    EXPECT_EQ(readTraceLinesUntimed(path).at(1)["in"], "01020304");
}

TEST(TracedBus, DeviceOperationsGoOnWhenTheTraceCannotBeWritten) {
    TempDir dir;
    auto inner = std::make_shared<scripted::Bus>();
    auto script = inner->addHid(0x1A86, 0xE010);
    script->inputReports.push_back(hexBytes("02 AA 55"));
    Orvane::TracedBus bus(inner, std::make_shared<TraceFile>(dir.file("gone/trace.jsonl"), 1 << 20));
    auto hid = bus.openHid(0x1A86, 0xE010);
    ASSERT_TRUE(hid);
    EXPECT_EQ(hid->write(Bytes(33)), 33);
    Bytes report(33);
    EXPECT_EQ(hid->readTimeout(report, 200), 3);
    EXPECT_EQ(report[1], 0xAA);
}

// With a trace on, PC/SC readers must stay reachable: the traced bus hands out the inner bus's API.
TEST(TracedBus, PassesTheInnerBussPcscApiOn) {
    struct PcscBus : scripted::Bus {
        FakePcsc pcsc;
        Orvane::pcsc::PcscApi* pcscApi() override { return &pcsc; }
    };
    TempDir dir;
    auto inner = std::make_shared<PcscBus>();
    Orvane::TracedBus bus(inner, std::make_shared<TraceFile>(dir.file("trace.jsonl"), 1 << 20));
    EXPECT_EQ(bus.pcscApi(), &inner->pcsc);
}
