// Finding and opening readers: type detection, the family handshakes, the serial port searches
// with their remembered ports, the CH340 rate set-up, and readers that vanish while being opened.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "reader/transport/vc_reader_serial.hpp"
#include "support/sim_readers.hpp"

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

// Records which devices a reader looks for, in order.
class RecordingBus : public Orvane::DeviceBus {
  public:
    explicit RecordingBus(Orvane::DeviceBus& inner) : inner_(inner) {}

    std::unique_ptr<Orvane::HidDevice> openHid(std::uint16_t vid, std::uint16_t pid) override {
        calls.push_back(name("hid", vid, pid));
        return inner_.openHid(vid, pid);
    }
    std::unique_ptr<Orvane::UsbDevice> openUsb(std::uint16_t vid, std::uint16_t pid) override {
        calls.push_back(name("usb", vid, pid));
        return inner_.openUsb(vid, pid);
    }
    std::unique_ptr<Orvane::HidDevice> wrapHid(std::intptr_t device, int n) override {
        return inner_.wrapHid(device, n);
    }
    std::unique_ptr<Orvane::UsbDevice> wrapUsb(std::intptr_t device) override {
        return inner_.wrapUsb(device);
    }
    std::vector<serial::PortInfo> listSerialPorts() override {
        calls.emplace_back("ports");
        return inner_.listSerialPorts();
    }

    std::vector<std::string> calls;

  private:
    static std::string name(const char* kind, std::uint16_t vid, std::uint16_t pid) {
        char text[32];
        std::snprintf(text, sizeof text, "%s %04x:%04x", kind, vid, pid);
        return text;
    }
    Orvane::DeviceBus& inner_;
};

int countOf(const std::vector<std::uint8_t>& commands, std::uint8_t command) {
    return static_cast<int>(std::count(commands.begin(), commands.end(), command));
}

class RfReaderOpen : public testing::Test {
  protected:
    void SetUp() override { RfReader::forgetLastGoodPorts(); }
    void TearDown() override { RfReader::forgetLastGoodPorts(); }

    // Opens with `type` set, and checks that opening stayed within a few transport timeouts.
    bool openAs(std::uint8_t type, bool flag = false) {
        reader->setType(type);
        const auto start = Clock::now();
        const bool opened = reader->open(flag);
        EXPECT_LT(Clock::now() - start, milliseconds(2000));
        return opened;
    }

    SimReaders sim;
    std::unique_ptr<RfReader> reader = std::make_unique<RfReader>(sim.bus);  // goes before the readers
};

}  // namespace

// ---- Detection --------------------------------------------------------------------------------

TEST_F(RfReaderOpen, DetectionWithNothingAttachedEndsAsCh9326AndProbesAgainNextTime) {
    RecordingBus bus(sim.bus);
    RfReader detecting(bus);
    ASSERT_TRUE(detecting.setType(0));
    EXPECT_EQ(detecting.type(), kReaderVcCh9326);
    EXPECT_TRUE(detecting.autoDetect());

    const auto start = Clock::now();
    EXPECT_FALSE(detecting.open(true));
    EXPECT_LT(Clock::now() - start, milliseconds(500));
    EXPECT_EQ(detecting.type(), kReaderVcCh9326);
    EXPECT_TRUE(detecting.autoDetect());
    EXPECT_EQ(detecting.rfMode(), 0);

    // Types 3, 1, 4, 6, then the searches of 5 and 2; open tries one more round.
    const std::vector<std::string> round{"hid 1a86:e010", "hid 10c4:0210", "hid 0483:5751",
                                         "usb 1a86:7523", "ports",         "ports"};
    std::vector<std::string> twoRounds = round;
    twoRounds.insert(twoRounds.end(), round.begin(), round.end());
    EXPECT_EQ(bus.calls, twoRounds);

    sim.add(kReaderVaHid);
    EXPECT_TRUE(detecting.open(true));
    EXPECT_EQ(detecting.type(), kReaderVaHid);
    EXPECT_TRUE(detecting.autoDetect());
    EXPECT_EQ(detecting.rfMode(), Orvane::rf_mode::kIso14443A);
}

TEST_F(RfReaderOpen, DetectionFindsALoneSerialReaderOfEitherFamily) {
    // The VC search tries every port, so it also knocks at the VB reader's port (at the wrong rate)
    // before the VB search finds it.
    std::vector<std::string> probes{"hid 1a86:e010", "hid 10c4:0210", "hid 0483:5751", "usb 1a86:7523"};
    for (const std::uint8_t type : {kReaderVcSerial, kReaderVbSerial}) {
        SCOPED_TRACE(int(type));
        probes.emplace_back("ports");  // the VC search comes before the VB search
        SimReaders alone;
        RecordingBus bus(alone.bus);
        RfReader detecting(bus);
        alone.add(type);
        RfReader::forgetLastGoodPorts();
        ASSERT_TRUE(detecting.setType(0));
        EXPECT_TRUE(detecting.open(false));
        EXPECT_EQ(detecting.type(), type);
        EXPECT_TRUE(detecting.autoDetect());
        EXPECT_EQ(bus.calls, probes);
        EXPECT_EQ(RfReader::lastGoodPort(type), alone.portOf(type));
    }
}

// ---- Each type ---------------------------------------------------------------------------------

namespace {

struct TypeCase {
    std::uint8_t type;
    const char* version;
    std::uint8_t rfMode;  // after opening
};

void PrintTo(const TypeCase& c, std::ostream* os) {
    *os << "type " << int(c.type);
}

class EachType : public RfReaderOpen, public testing::WithParamInterface<TypeCase> {
  protected:
    void SetUp() override {
        RfReaderOpen::SetUp();
        for (std::uint8_t type = 1; type <= 6; ++type)
            sim.add(type);
    }
};

}  // namespace

TEST_P(EachType, OpensAndReadsItsVersionText) {
    const TypeCase& c = GetParam();
    ASSERT_TRUE(openAs(c.type));
    EXPECT_EQ(reader->type(), c.type);
    EXPECT_FALSE(reader->autoDetect());
    EXPECT_EQ(reader->rfMode(), c.rfMode);
    std::string version;
    ASSERT_TRUE(reader->readVersion(version));
    EXPECT_EQ(version, c.version);
    // Only the reader of this type was spoken to.
    for (std::uint8_t other = 1; other <= 6; ++other) {
        if (other == c.type) continue;
        EXPECT_TRUE(sim.reader(other).state().commands.empty()) << int(other);
    }
}

INSTANTIATE_TEST_SUITE_P(Types, EachType,
                         testing::Values(TypeCase{kReaderVdHid, kVdVersionText, 0},
                                         TypeCase{kReaderVbSerial, "VA_13 Tesmar RF reader V2.1", 1},
                                         TypeCase{kReaderVcCh9326, "ver:0125", 0},
                                         TypeCase{kReaderVaHid, "VA_13 Tesmar RF reader V2.1", 1},
                                         TypeCase{kReaderVcSerial, "ver:0210", 0},
                                         TypeCase{kReaderVbCh340, "VA_13 Tesmar RF reader V2.1", 1}),
                         [](const auto& info) { return "Type" + std::to_string(info.param.type); });

// ---- Serial port searches ------------------------------------------------------------------------

TEST_F(RfReaderOpen, VbSerialReaderAt9600IsSwitchedTo57600) {
    auto& vb = sim.add(kReaderVbSerial);
    ASSERT_TRUE(openAs(kReaderVbSerial));
    EXPECT_EQ(vb.reader->state().baud, 57600u);
    EXPECT_EQ(vb.host->lineBaud(), 57600u);
    // The first identify at 57,600 never reached the reader; the rate switch went at 9,600.
    EXPECT_EQ(vb.reader->state().commands, (std::vector<std::uint8_t>{0x1C, 0x10, 0x10}));
    EXPECT_EQ(RfReader::lastGoodPort(kReaderVbSerial), sim.portOf(kReaderVbSerial));
    EXPECT_EQ(reader->rfMode(), Orvane::rf_mode::kIso14443A);
}

TEST_F(RfReaderOpen, VbSearchSkipsPortsOfOtherChips) {
    auto& vb = sim.add(kReaderVbSerial, nullptr, kOtherHardwareId);
    EXPECT_FALSE(openAs(kReaderVbSerial));
    EXPECT_TRUE(vb.reader->state().commands.empty());
}

TEST_F(RfReaderOpen, NamedPortThatFailsIsNotFollowedBySearch) {
    for (const std::uint8_t type : {kReaderVbSerial, kReaderVcSerial}) {
        SCOPED_TRACE(int(type));
        auto& listed = sim.add(type);
        ASSERT_TRUE(reader->setPortName(type, "/dev/rfdock-test-no-such-port"));
        EXPECT_FALSE(openAs(type, true));
        EXPECT_TRUE(listed.reader->state().commands.empty());
        EXPECT_EQ(RfReader::lastGoodPort(type), "");

        ASSERT_TRUE(reader->setPortName(type, listed.host->portPath()));
        EXPECT_TRUE(openAs(type));
        reader->close();
    }
}

TEST_F(RfReaderOpen, RememberedPortIsTheOnlyOneTriedUntilAPortIsNamed) {
    auto& first = sim.add(kReaderVbSerial);
    auto& second = sim.add(kReaderVbSerial);
    ASSERT_TRUE(openAs(kReaderVbSerial));
    ASSERT_EQ(RfReader::lastGoodPort(kReaderVbSerial), first.host->portPath());
    reader->close();

    first.reader->setFault(rfsim::Fault::silence);
    EXPECT_FALSE(openAs(kReaderVbSerial));
    EXPECT_TRUE(second.reader->state().commands.empty());

    ASSERT_TRUE(reader->setPortName(kReaderVbSerial, second.host->portPath()));
    EXPECT_TRUE(openAs(kReaderVbSerial));
    EXPECT_FALSE(second.reader->state().commands.empty());
}

TEST_F(RfReaderOpen, UnpluggedSerialReaderFailsQuickly) {
    auto& vc = sim.add(kReaderVcSerial);
    ASSERT_TRUE(openAs(kReaderVcSerial));
    reader->close();
    vc.host->unplug();
    EXPECT_FALSE(openAs(kReaderVcSerial, true));
    EXPECT_EQ(reader->type(), kReaderVcSerial);
}

TEST_F(RfReaderOpen, WithoutKeepOpenTheFoundPortIsParked) {
    auto& vc = sim.add(kReaderVcSerial);
    reader->setKeepOpen(false);
    ASSERT_TRUE(openAs(kReaderVcSerial));
    auto* transport = dynamic_cast<Orvane::VCReaderSerial*>(reader->vcReader());
    ASSERT_NE(transport, nullptr);
    EXPECT_TRUE(transport->parkedPort());
    EXPECT_FALSE(transport->port().isOpen());
    // Each exchange opens the port around itself.
    EXPECT_TRUE(reader->beep(20));
    EXPECT_FALSE(transport->port().isOpen());
    EXPECT_EQ(vc.reader->state().beeps, (std::vector<std::uint8_t>{10}));
    reader->close();
    EXPECT_FALSE(transport->parkedPort());
}

TEST_F(RfReaderOpen, SearchesOnTwoThreadsShareTheRememberedPorts) {
    // Sessions open their readers on different worker threads; both searches write the one
    // remembered port of the family.
    SimReaders other;
    sim.add(kReaderVcSerial);
    other.add(kReaderVcSerial);
    RfReader second(other.bus);
    bool opened[2] = {};
    std::thread thread([&] { opened[1] = second.setType(kReaderVcSerial) && second.open(false); });
    opened[0] = openAs(kReaderVcSerial);
    thread.join();
    EXPECT_TRUE(opened[0]);
    EXPECT_TRUE(opened[1]);
    const std::string remembered = RfReader::lastGoodPort(kReaderVcSerial);
    EXPECT_TRUE(remembered == sim.portOf(kReaderVcSerial) || remembered == other.portOf(kReaderVcSerial));
}

TEST_F(RfReaderOpen, ASecondReaderOfTheFamilySearchesWhenTheRememberedPortIsInUse) {
    SimReaders other;
    sim.add(kReaderVcSerial);
    other.add(kReaderVcSerial);
    ASSERT_TRUE(openAs(kReaderVcSerial));
    ASSERT_EQ(RfReader::lastGoodPort(kReaderVcSerial), sim.portOf(kReaderVcSerial));
    // The remembered port is this process's first reader: the second one finds its own.
    RfReader second(other.bus);
    EXPECT_TRUE(second.setType(kReaderVcSerial) && second.open(false));
    EXPECT_TRUE(reader->beep(10)) << "the first reader was left alone";
}

// ---- CH340 rate set-up ---------------------------------------------------------------------------

TEST_F(RfReaderOpen, Ch340BridgeAndReaderMoveTo57600Together) {
    auto& vb = sim.add(kReaderVbCh340);
    auto& bridge = dynamic_cast<rfsim::Ch340Device&>(*vb.device);
    ASSERT_TRUE(openAs(kReaderVbCh340));
    EXPECT_NEAR(bridge.chipBaud(), 57600, 576);  // the divisor's rate, within a UART's tolerance
    EXPECT_EQ(vb.reader->state().baud, 57600u);
    // The first rate command at 57,600 was lost; told at 9,600, confirmed at 57,600.
    EXPECT_EQ(countOf(vb.reader->state().commands, 0x1C), 2);

    // Reopened: the reader already runs at 57,600, one rate command confirms it.
    reader->close();
    ASSERT_TRUE(openAs(kReaderVbCh340));
    EXPECT_EQ(countOf(vb.reader->state().commands, 0x1C), 3);
}

TEST_F(RfReaderOpen, Ch340ReaderThatNeverSwitchesFailsAfterTheThirdStage) {
    auto& vb = sim.add(kReaderVbCh340);
    // Acknowledges the rate command but stays at 9,600.
    vb.reader->withFirmware([](rfsim::Firmware& firmware) {
        firmware.setCommand(0x1C, [](const rfsim::Request&) { return std::optional(rfsim::Reply{}); });
    });
    EXPECT_FALSE(openAs(kReaderVbCh340));
    EXPECT_NEAR(dynamic_cast<rfsim::Ch340Device&>(*vb.device).chipBaud(), 9600, 96);
    // Heard in stages 2 and 3; without a connection open(false) stops at once.
    EXPECT_EQ(countOf(vb.reader->state().commands, 0x1C), 2);
    EXPECT_EQ(countOf(vb.reader->state().commands, 0x10), 0);
}

// ---- Readers unplugged while being opened ----------------------------------------------------------

namespace {

struct UnplugCase {
    std::uint8_t type;
    std::uint8_t identify;
};

void PrintTo(const UnplugCase& c, std::ostream* os) {
    *os << "type " << int(c.type);
}

class UnpluggedMidHandshake : public RfReaderOpen, public testing::WithParamInterface<UnplugCase> {};

}  // namespace

TEST_P(UnpluggedMidHandshake, OpenFailsWithinTheTimeouts) {
    auto& entry = sim.add(GetParam().type);
    // The reader is pulled out while it works on the identify request. The handler holds the device
    // weakly: the device owns the firmware.
    entry.reader->withFirmware(
        [device = std::weak_ptr(entry.device), identify = GetParam().identify](rfsim::Firmware& firmware) {
            firmware.setCommand(identify, [device](const rfsim::Request&) {
                if (auto plugged = device.lock()) plugged->unplug();
                return std::optional(rfsim::Reply{});
            });
        });
    EXPECT_FALSE(openAs(GetParam().type, true));
    EXPECT_EQ(reader->type(), GetParam().type);
    EXPECT_EQ(reader->rfMode(), 0);
    std::string version = "unchanged";
    EXPECT_FALSE(reader->readVersion(version));
    EXPECT_EQ(version, "unchanged");
}

INSTANTIATE_TEST_SUITE_P(UsbReaders, UnpluggedMidHandshake,
                         testing::Values(UnplugCase{kReaderVdHid, 0xB0}, UnplugCase{kReaderVcCh9326, 0x16},
                                         UnplugCase{kReaderVaHid, 0x10}, UnplugCase{kReaderVbCh340, 0x10}),
                         [](const auto& info) { return "Type" + std::to_string(info.param.type); });
