#include "sim/script/scripted_device.hpp"

#include <gtest/gtest.h>

#include "reader/bus/device_bus.hpp"
#include "sim/bus/sim_device_bus.hpp"
#include "sim/firmware/silent_firmware.hpp"
#include "support/hex_bytes.hpp"

using nlohmann::json;

namespace {

// Answers every request with the same answer and keeps the requests.
class FixedScript : public rfsim::ReaderScript {
  public:
    std::optional<json> reply;
    std::vector<json> requests;

    std::optional<json> answer(const json& request) override {
        requests.push_back(request);
        return reply;
    }
    Bytes heard(std::span<const std::uint8_t>, std::uint32_t) override { return {}; }
    json status() const override { return json::object(); }
};

struct Rig {
    std::shared_ptr<FixedScript> script = std::make_shared<FixedScript>();
    rfsim::SimDeviceBus bus;

    explicit Rig(int type) {
        auto reader = std::make_shared<rfsim::VirtualReader>(std::make_unique<rfsim::SilentFirmware>());
        bus.attach(std::make_shared<rfsim::ScriptedDevice>(type, *rfsim::usbIdsOfType(type), reader, script));
        script->reply = json{{"result", 0}};
    }
};

}  // namespace

TEST(ScriptedDevice, RequestsCarryTheOperationTypeAndDevice) {
    Rig rig(1);
    auto hid = rig.bus.openHid(0x10C4, 0x0210);
    ASSERT_TRUE(hid);
    rig.script->reply = json{{"result", 3}, {"in", "06AA55"}};
    Bytes report(255, 0);
    report[0] = 6;
    EXPECT_EQ(hid->getFeatureReport(report), 3);
    EXPECT_EQ(Bytes(report.begin(), report.begin() + 4), hexBytes("06 AA 55 00"));
    EXPECT_EQ(rig.script->requests.at(0),
              (json{{"op", "open"}, {"link", "hid"}, {"type", 1}, {"dev", "10c4:0210"}}));
    EXPECT_EQ(
        rig.script->requests.at(1),
        (json{{"op", "featureGet"}, {"size", 255}, {"reportId", 6}, {"type", 1}, {"dev", "10c4:0210"}}));
    hid.reset();
    EXPECT_EQ(rig.script->requests.back()["op"], "close");
}

TEST(ScriptedDevice, AnswersAreHeldToTheCallersBuffer) {
    struct Case {
        const char* what;
        json reply;
        int result;
        Bytes firstBytes;
    };
    const std::vector<Case> cases = {
        {"more bytes than the buffer",
         {{"result", 4}, {"in", "0102030405060708"}},
         4,
         hexBytes("01 02 03 04")},
        {"a count beyond the buffer", {{"result", 1000000}, {"in", "01"}}, 4, hexBytes("01 00 00 00")},
        {"a count beyond int", {{"result", 1e30}, {"in", "01"}}, 0, hexBytes("01 00 00 00")},
        {"bad hex", {{"result", 2}, {"in", "0G"}}, 2, hexBytes("00 00 00 00")},
        {"in of the wrong kind", {{"result", -1}, {"in", 5}}, -1, hexBytes("00 00 00 00")},
        {"far below -1", {{"result", -70000}}, -1, hexBytes("00 00 00 00")},
        {"no object", json::array({1, 2}), 0, hexBytes("AA AA AA AA")},
    };
    for (const Case& c : cases) {
        Rig rig(4);
        auto hid = rig.bus.openHid(0x0483, 0x5751);
        ASSERT_TRUE(hid);
        rig.script->reply = c.reply;
        Bytes report(4, 0xAA);
        EXPECT_EQ(hid->readTimeout(report, 200), c.result) << c.what;
        EXPECT_EQ(report, c.firstBytes) << c.what;
    }
}

TEST(ScriptedDevice, WithoutAnAnswerWritesAreTakenReadsTimeOutAndOpensFail) {
    Rig rig(6);
    auto usb = rig.bus.openUsb(0x1A86, 0x7523);
    ASSERT_TRUE(usb);
    rig.script->reply = std::nullopt;
    Bytes data(8);
    int transferred = -1;
    EXPECT_EQ(usb->bulkTransfer(0x02, data, transferred, 100), 0);
    EXPECT_EQ(transferred, 8);
    EXPECT_EQ(usb->bulkTransfer(0x82, data, transferred, 100), Orvane::usb_error::kTimeout);
    EXPECT_EQ(transferred, 0);
    EXPECT_EQ(usb->claimInterface(0), 0);
    EXPECT_FALSE(rig.bus.openUsb(0x1A86, 0x7523));
}

TEST(ScriptedDevice, BulkInTransfersNoMoreThanTheBuffer) {
    Rig rig(6);
    auto usb = rig.bus.openUsb(0x1A86, 0x7523);
    rig.script->reply = json{{"result", 0}, {"in", "0102030405"}, {"transferred", 99}};
    Bytes data(3);
    int transferred = 0;
    EXPECT_EQ(usb->bulkTransfer(0x82, data, transferred, 100), 0);
    EXPECT_EQ(transferred, 3);
    EXPECT_EQ(data, hexBytes("01 02 03"));
}
