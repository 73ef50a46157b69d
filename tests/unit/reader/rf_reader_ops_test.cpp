// Reader-level commands on opened simulated readers: beep, LEDs, protocol selection, RF reset,
// version texts, and a reader without a valid type.

#include <gtest/gtest.h>

#include "support/sim_readers.hpp"

namespace {

using Commands = std::vector<std::uint8_t>;

std::optional<rfsim::Reply> replyWith(std::uint8_t status, Commands data = {}) {
    return rfsim::Reply{status, std::move(data)};
}

// One opened reader of a type on the simulated bus.
class OpenedReader {
  public:
    explicit OpenedReader(std::uint8_t type, std::unique_ptr<rfsim::Firmware> firmware = nullptr) {
        RfReader::forgetLastGoodPorts();
        sim.add(type, std::move(firmware));
        reader->setType(type);
        opened = reader->open(false);
    }
    ~OpenedReader() { RfReader::forgetLastGoodPorts(); }

    rfsim::ReaderState state() { return sim.reader(reader->type()).state(); }
    void setCommand(std::uint8_t command, rfsim::CommandHandler handler) {
        sim.reader(reader->type()).withFirmware([&](rfsim::Firmware& firmware) {
            firmware.setCommand(command, std::move(handler));
        });
    }

    SimReaders sim;
    std::unique_ptr<RfReader> reader = std::make_unique<RfReader>(sim.bus);
    bool opened = false;
};

}  // namespace

TEST(RfReaderBeep, SendsEachFamilysDurationCode) {
    struct Case {
        std::uint8_t type, ms, sent;
    };
    // VA HID readers count in units of about 3 ms (ms x 171 / 512), VC readers in 2 ms.
    for (const Case c :
         {Case{kReaderVaHid, 255, 85}, Case{kReaderVaHid, 3, 1}, Case{kReaderVaHid, 2, 0},
          Case{kReaderVcCh9326, 255, 127}, Case{kReaderVcSerial, 255, 127}, Case{kReaderVdHid, 255, 255},
          Case{kReaderVbSerial, 200, 200}, Case{kReaderVbCh340, 255, 255}}) {
        SCOPED_TRACE(testing::Message() << "type " << int(c.type) << " ms " << int(c.ms));
        OpenedReader r(c.type);
        ASSERT_TRUE(r.opened);
        EXPECT_TRUE(r.reader->beep(c.ms));
        EXPECT_EQ(r.state().beeps, Commands{c.sent});
    }
}

TEST(RfReaderBeep, RefusalIsFailure) {
    OpenedReader r(kReaderVaHid);
    r.setCommand(0x1B, [](const rfsim::Request&) { return replyWith(0x05); });
    EXPECT_FALSE(r.reader->beep(100));
}

TEST(RfReaderLeds, VcReadersGetTwoLedCommands) {
    for (const std::uint8_t type : {kReaderVcCh9326, kReaderVcSerial}) {
        SCOPED_TRACE(int(type));
        OpenedReader r(type);
        ASSERT_TRUE(r.opened);
        EXPECT_TRUE(r.reader->setLed(true));
        EXPECT_TRUE(r.reader->setLed(false));
        EXPECT_TRUE(r.reader->setLeds(1, 0));
        EXPECT_TRUE(r.reader->setLeds(0, 9));
        EXPECT_EQ(r.state().leds, (Commands{3, 2, 3, 1, 3, 1, 0, 2}));
    }
}

TEST(RfReaderLeds, SecondCommandGoesOutWhenTheFirstFails) {
    OpenedReader r(kReaderVcCh9326);
    r.sim.reader(kReaderVcCh9326).setFault(rfsim::Fault::corruptCheck, 1);
    EXPECT_FALSE(r.reader->setLed(true));
    EXPECT_EQ(r.state().leds, (Commands{3, 2}));
}

TEST(RfReaderLeds, OtherFamiliesHaveNoLedCommand) {
    for (const std::uint8_t type : {kReaderVdHid, kReaderVaHid, kReaderVbCh340}) {
        SCOPED_TRACE(int(type));
        OpenedReader r(type);
        const std::size_t before = r.state().commands.size();
        EXPECT_FALSE(r.reader->setLed(true));
        EXPECT_FALSE(r.reader->setLeds(1, 1));
        EXPECT_EQ(r.state().commands.size(), before);
    }
}

TEST(RfReaderProtocol, VaReadersStayInIso14443A) {
    OpenedReader r(kReaderVaHid);
    EXPECT_TRUE(r.reader->setProtocol(Orvane::rf_mode::kIso14443A, false));
    EXPECT_FALSE(r.reader->setProtocol(Orvane::rf_mode::kIso14443B, true));
    EXPECT_FALSE(r.reader->setProtocol(Orvane::rf_mode::kIso15693, false));
    EXPECT_EQ(r.reader->rfMode(), Orvane::rf_mode::kIso14443A);
}

TEST(RfReaderProtocol, VcReaderSwitchesOnlyWhenFreeOrForced) {
    OpenedReader r(kReaderVcCh9326);
    RfReader& reader = *r.reader;
    ASSERT_EQ(reader.rfMode(), 0);  // opening selects nothing on this family
    const std::size_t opened = r.state().commands.size();

    EXPECT_TRUE(reader.setProtocol(Orvane::rf_mode::kIso14443A, false));
    EXPECT_FALSE(reader.setProtocol(Orvane::rf_mode::kIso14443B, false));  // no frame
    EXPECT_TRUE(reader.setProtocol(Orvane::rf_mode::kIso14443B, true));
    EXPECT_TRUE(reader.setProtocol(3, false));  // shares the B bit: no frame
    EXPECT_FALSE(reader.setProtocol(8, true));  // no such mode: no frame, mode kept
    EXPECT_EQ(reader.rfMode(), Orvane::rf_mode::kIso14443B);
    EXPECT_EQ(r.state().protocol, rfsim::Protocol::iso14443B);
    EXPECT_EQ(r.state().commands.size(), opened + 2);

    // A refused switch leaves no mode selected, so card operations fail until one succeeds.
    r.setCommand(0x3A, [](const rfsim::Request&) { return replyWith(0x05); });
    EXPECT_FALSE(reader.setProtocol(Orvane::rf_mode::kIso15693, true));
    EXPECT_EQ(reader.rfMode(), 0);
}

TEST(RfReaderProtocol, VdReaderSelectsByValueAndKeepsItsModeOnRefusal) {
    OpenedReader r(kReaderVdHid);
    RfReader& reader = *r.reader;
    EXPECT_TRUE(reader.setProtocol(Orvane::rf_mode::kIso15693, false));
    EXPECT_EQ(r.state().protocol, rfsim::Protocol::iso15693);
    EXPECT_EQ(reader.rfMode(), Orvane::rf_mode::kIso15693);

    r.setCommand(0xBD, [](const rfsim::Request&) { return replyWith(0x05); });
    EXPECT_FALSE(reader.setProtocol(Orvane::rf_mode::kIso14443A, true));
    EXPECT_EQ(reader.rfMode(), Orvane::rf_mode::kIso15693);
}

TEST(RfReaderResetField, EachFamilyResetsAndForgetsTheAuthenticatedSector) {
    for (std::uint8_t type = 1; type <= 6; ++type) {
        SCOPED_TRACE(int(type));
        OpenedReader r(type);
        ASSERT_TRUE(r.opened);
        r.reader->setAuthSector(4);
        EXPECT_TRUE(r.reader->resetField());
        EXPECT_EQ(r.reader->authSector(), 255);
        EXPECT_EQ(r.state().fieldResets, 1);
    }
}

TEST(RfReaderResetField, VaAnswerDoesNotCountButVcRefusalDoes) {
    OpenedReader va(kReaderVaHid);
    va.setCommand(0x2D, [](const rfsim::Request&) { return replyWith(0x05); });
    EXPECT_TRUE(va.reader->resetField());

    OpenedReader vc(kReaderVcCh9326);
    vc.setCommand(0x05, [](const rfsim::Request&) { return replyWith(0x05); });
    EXPECT_FALSE(vc.reader->resetField());
}

TEST(RfReaderVersion, TextFormsOfOddReplies) {
    struct Case {
        const char* name;
        std::uint8_t type;
        std::uint8_t command;
        Commands reply;
        bool result;
        std::string text;  // "old" when left as it was
    };
    const auto bytes = [](std::string_view s) { return Commands(s.begin(), s.end()); };
    const Case cases[] = {
        {"VC with three bytes", kReaderVcCh9326, 0x16, {0x01, 0x02, 0x03}, true, "ver:0000"},
        {"VC with none", kReaderVcSerial, 0x16, {}, true, "ver:0000"},
        {"VA empty", kReaderVaHid, 0x10, {}, true, "old"},
        {"VA rebranded once each", kReaderVaHid, 0x10, bytes("QX QX Zorla"), true, "VA_ QX Tesmar"},
        {"VA bytes that are no UTF-8", kReaderVaHid, 0x10, bytes("QX\xFF\xC3\xA9\xC3"), true,
         "VA_?\xC3\xA9?"},
        {"VD with 17 bytes", kReaderVdHid, 0xB0, bytes("VD-R13 13.56MHz H"), true, "old"},
        {"VD with 18 bytes", kReaderVdHid, 0xB0, bytes("VD-R13 13.56MHz HI"), true, "VD-R13 13.56MHz HI"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OpenedReader r(c.type);
        ASSERT_TRUE(r.opened);
        r.setCommand(c.command, [reply = c.reply](const rfsim::Request&) { return replyWith(0, reply); });
        std::string text = "old";
        EXPECT_EQ(r.reader->readVersion(text), c.result);
        EXPECT_EQ(text, c.text);
    }
}

TEST(RfReaderVersion, RefusalLeavesTheTextAlone) {
    for (const std::uint8_t type : {kReaderVdHid, kReaderVcCh9326, kReaderVaHid}) {
        SCOPED_TRACE(int(type));
        OpenedReader r(type);
        ASSERT_TRUE(r.opened);
        r.sim.reader(type).setFault(rfsim::Fault::corruptCheck);
        std::string text = "old";
        EXPECT_FALSE(r.reader->readVersion(text));
        EXPECT_EQ(text, "old");
    }
}

TEST(RfReaderType, TypeEightLeavesTheReaderWithoutTransport) {
    SimReaders sim;
    sim.add(kReaderVaHid);
    RfReader reader(sim.bus);
    ASSERT_TRUE(reader.setType(kReaderVaHid));
    ASSERT_TRUE(reader.open(false));

    EXPECT_FALSE(reader.setType(8));  // the first number no reader has
    EXPECT_EQ(reader.type(), 8);
    EXPECT_FALSE(reader.autoDetect());
    EXPECT_EQ(reader.vaReader(), nullptr);
    EXPECT_EQ(reader.vcReader(), nullptr);
    EXPECT_EQ(reader.vdReader(), nullptr);
    EXPECT_EQ(reader.pcscReader(), nullptr);
    EXPECT_FALSE(reader.connect());
    EXPECT_FALSE(reader.open(true));
    EXPECT_FALSE(reader.beep(10));
    EXPECT_FALSE(reader.setLed(true));
    EXPECT_FALSE(reader.resetField());
    EXPECT_FALSE(reader.setProtocol(Orvane::rf_mode::kIso14443A, true));
    std::string text;
    EXPECT_FALSE(reader.readVersion(text));

    EXPECT_TRUE(reader.setType(kReaderVaHid));
    EXPECT_TRUE(reader.open(false));
}

TEST(RfReaderType, PortNamesBelongToTheSerialTypesAndPcscReaderNamesToType7) {
    SimReaders sim;
    RfReader reader(sim.bus);
    for (std::uint8_t kind = 0; kind <= 8; ++kind)
        EXPECT_EQ(reader.setPortName(kind, "/dev/ttyS9"),
                  kind == kReaderVbSerial || kind == kReaderVcSerial || kind == kReaderPcsc)
            << int(kind);
}

TEST(RfReaderClose, ClosesTheDeviceAndForgetsModeAndSector) {
    OpenedReader r(kReaderVaHid);
    r.reader->setAuthSector(3);
    r.reader->close();
    EXPECT_EQ(r.reader->rfMode(), 0);
    EXPECT_EQ(r.reader->authSector(), 255);
    EXPECT_FALSE(r.reader->beep(10));  // the HID handle is gone
    EXPECT_TRUE(r.reader->open(false));
    EXPECT_TRUE(r.reader->beep(10));
}
