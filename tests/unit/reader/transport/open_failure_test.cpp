// Why a HID or USB reader did not open, as the open log says it: not plugged in, not this
// process's to open, held by another program, or opened and answering nothing or the wrong thing.

#include "reader/transport/open_failure.hpp"

#include <gtest/gtest.h>

#include "reader/device/ch340.hpp"
#include "reader/device/node_access.hpp"
#include "support/listed_bus.hpp"
#include "support/log_capture.hpp"
#include "support/scripted_devices.hpp"
#include "support/sim_readers.hpp"

using Orvane::ProbeOutcome;
using Orvane::UsbDeviceNode;

namespace {

struct ListingCase {
    const char* name;
    std::vector<UsbDeviceNode> listed;
    ProbeOutcome outcome;
    const char* detailPart;  // the device file the detail has to name, or another telling part
};

void PrintTo(const ListingCase& c, std::ostream* os) {
    *os << c.name;
}

class ExplainFailedOpen : public testing::TestWithParam<ListingCase> {};

}  // namespace

TEST_P(ExplainFailedOpen, FromWhatTheBusLists) {
    ListedBus bus;
    bus.devices = GetParam().listed;
    const auto report = Orvane::explainFailedOpen(bus, 0x0483, 0x5751);
    EXPECT_EQ(report.outcome, GetParam().outcome);
    EXPECT_NE(report.detail.find(GetParam().detailPart), std::string::npos) << report.detail;
    if (report.outcome == ProbeOutcome::permissionDenied) {
        EXPECT_NE(report.detail.find(Orvane::kPermissionHint), std::string::npos) << report.detail;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Listings, ExplainFailedOpen,
    testing::Values(ListingCase{"Nothing", {}, ProbeOutcome::notPresent, "no USB device"},
                    // Another device's ids are not asked for.
                    ListingCase{"OnlyOtherIds",
                                {{0x1A86, 0x7523, "/dev/bus/usb/001/009", false}},
                                ProbeOutcome::notPresent,
                                "no USB"},
                    ListingCase{"NotOurs",
                                {{0x0483, 0x5751, "/dev/bus/usb/001/004", false}},
                                ProbeOutcome::permissionDenied,
                                "/dev/bus/usb/001/004"},
                    // Two readers, the second ours: that one did not open either, so something holds it.
                    ListingCase{"OursButHeld",
                                {{0x0483, 0x5751, "/dev/bus/usb/001/004", false},
                                 {0x0483, 0x5751, "/dev/bus/usb/002/007", true}},
                                ProbeOutcome::busy,
                                "/dev/bus/usb/002/007"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExplainFailedClaim, LibusbErrors) {
    const struct {
        int error;
        ProbeOutcome outcome;
    } cases[] = {{Orvane::usb_error::kAccess, ProbeOutcome::permissionDenied},
                 {Orvane::usb_error::kBusy, ProbeOutcome::busy},
                 {Orvane::usb_error::kNoDevice, ProbeOutcome::notPresent},
                 {Orvane::usb_error::kIo, ProbeOutcome::busy}};
    for (const auto& c : cases)
        EXPECT_EQ(Orvane::explainFailedClaim(c.error, 0).outcome, c.outcome) << c.error;
}

// Every HID and USB type logs its own ids and the device file when its device is not ours.
TEST(OpenLog, EachUsbTypeNamesItsIdsAndTheDeviceFile) {
    const struct {
        std::uint8_t type;
        std::uint16_t vid, pid;
        const char* line;
    } cases[] = {
        {kReaderVdHid, 0x10C4, 0x0210, "type 1 on 10c4:0210: permission denied (/dev/bus/usb/003/001"},
        {kReaderVcCh9326, 0x1A86, 0xE010, "type 3 on 1a86:e010: permission denied (/dev/bus/usb/003/001"},
        {kReaderVaHid, 0x0483, 0x5751, "type 4 on 0483:5751: permission denied (/dev/bus/usb/003/001"},
        {kReaderVbCh340, 0x1A86, 0x7523, "type 6 on 1a86:7523: permission denied (/dev/bus/usb/003/001"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        ListedBus bus;
        bus.devices = {{c.vid, c.pid, "/dev/bus/usb/003/001", false}};
        LogCapture log;
        RfReader reader(bus);
        reader.setType(c.type);
        EXPECT_FALSE(reader.open(false));
        EXPECT_TRUE(log.contains(std::string("info reader probe: ") + c.line))
            << testing::PrintToString(log.lines());
    }
}

TEST(OpenLog, DetectionWithNothingAttachedSaysEachUsbTypeIsNotPresent) {
    SimReaders sim;
    LogCapture log;
    RfReader reader(sim.bus);
    reader.setType(0);
    EXPECT_FALSE(reader.open(false));
    for (const char* line : {"type 3 on 1a86:e010: not present", "type 1 on 10c4:0210: not present",
                             "type 4 on 0483:5751: not present", "type 6 on 1a86:7523: not present"})
        EXPECT_TRUE(log.contains(line)) << line << "\n" << testing::PrintToString(log.lines());
}

TEST(OpenLog, Ch340WhoseInterfaceIsHeldIsBusy) {
    scripted::Bus bus;
    bus.addUsb(Orvane::ch340::kVendorId, Orvane::ch340::kProductId)->claimResult = Orvane::usb_error::kBusy;
    LogCapture log;
    RfReader reader(bus);
    reader.setType(kReaderVbCh340);
    EXPECT_FALSE(reader.open(false));
    EXPECT_TRUE(log.contains("type 6 on 1a86:7523: busy (interface 0 could not be claimed (libusb error -6)"))
        << testing::PrintToString(log.lines());
}

// A device that opens is then asked who it is: the answer, or its absence, is logged too.
TEST(OpenLog, HandshakeOutcomes) {
    const struct {
        std::uint8_t type;
        rfsim::Fault fault;
        const char* line;
    } cases[] = {
        {kReaderVaHid, rfsim::Fault::none, "type 4 on 0483:5751: found"},
        {kReaderVaHid, rfsim::Fault::silence, "type 4 on 0483:5751: no answer"},
        {kReaderVaHid, rfsim::Fault::corruptCheck,
         "type 4 on 0483:5751: wrong answer (a reply whose check bytes"},
        {kReaderVdHid, rfsim::Fault::silence, "type 1 on 10c4:0210: no answer"},
        {kReaderVcCh9326, rfsim::Fault::corruptCheck, "type 3 on 1a86:e010: wrong answer"},
        // The CH340 reader is asked for its rate before anything else.
        {kReaderVbCh340, rfsim::Fault::silence,
         "type 6 on 1a86:7523: no answer (nothing, or too little for a "
         "reply, to the rate command)"},
        {kReaderVbCh340, rfsim::Fault::none, "type 6 on 1a86:7523: found"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        SimReaders sim;
        sim.add(c.type);
        sim.reader(c.type).setFault(c.fault);
        LogCapture log;
        RfReader reader(sim.bus);
        reader.setType(c.type);
        EXPECT_EQ(reader.open(false), c.fault == rfsim::Fault::none);
        EXPECT_TRUE(log.contains(std::string("info reader probe: ") + c.line))
            << testing::PrintToString(log.lines());
    }
}
