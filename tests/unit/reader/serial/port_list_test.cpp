#include "reader/serial/port_list.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "support/fake_sys_root.hpp"
#include "support/temp_dir.hpp"

using serial::PortInfo;

TEST(PortList, Ch340AdapterListsWithItsUsbIds) {
    FakeSysRoot fake;
    fake.device("ttyUSB0");
    const std::string usb = "devices/pci0000:00/0000:00:14.0/usb1/1-2";
    fake.sysfsLink("ttyUSB0", usb + "/1-2:1.0/ttyUSB0");
    fake.attribute(usb, "idVendor", "1a86");
    fake.attribute(usb, "idProduct", "7523");
    fake.attribute(usb, "product", "USB Serial");

    const auto ports = serial::listPorts(fake.root());
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports[0],
              (PortInfo{fake.root() + "/dev/ttyUSB0", " USB Serial ", "USB VID:PID=1a86:7523 ", true}));
    EXPECT_NE(ports[0].hardwareId.find("1a86:7523"), std::string::npos);
}

TEST(PortList, AcmDeviceTakesTheFolderAboveItsInterface) {
    FakeSysRoot fake;
    fake.device("ttyACM0");
    const std::string usb = "devices/pci0000:00/usb1/1-1";
    fake.sysfsLink("ttyACM0", usb + "/1-1:1.0");
    fake.attribute(usb, "idVendor", "0483");
    fake.attribute(usb, "idProduct", "5740");
    fake.attribute(usb, "manufacturer", "STMicro");
    fake.attribute(usb, "product", "VCP");
    fake.attribute(usb, "serial", "A1B2");

    const auto ports = serial::listPorts(fake.root());
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports[0].description, "STMicro VCP A1B2");
    EXPECT_EQ(ports[0].hardwareId, "USB VID:PID=0483:5740 SNR=A1B2");
}

TEST(PortList, PlatformPortReadsItsIdAndBarePortsGetDefaults) {
    FakeSysRoot fake;
    fake.device("ttyS0");
    fake.device("ttyX9");
    fake.device("tty");  // the controlling terminal is not a port
    fake.device("rfcomm0");
    fake.device("cu.usb");
    fake.sysfsLink("ttyS0", "devices/pnp0/00:05");
    fake.attribute("devices/pnp0/00:05", "id", "PNP0501");

    const auto ports = serial::listPorts(fake.root());
    ASSERT_EQ(ports.size(), 4u);
    // The tty glob comes first, then cu.* and rfcomm*, each in glob order.
    EXPECT_EQ(ports[0], (PortInfo{fake.root() + "/dev/ttyS0", "ttyS0", "PNP0501", true}));
    EXPECT_EQ(ports[1], (PortInfo{fake.root() + "/dev/ttyX9", "ttyX9", "n/a"}));
    EXPECT_EQ(ports[2], (PortInfo{fake.root() + "/dev/cu.usb", "cu.usb", "n/a"}));
    EXPECT_EQ(ports[3], (PortInfo{fake.root() + "/dev/rfcomm0", "rfcomm0", "n/a"}));
}

TEST(PortList, EmptyMachineListsNothing) {
    TempDir empty;
    EXPECT_TRUE(serial::listPorts(empty.path()).empty());
}

// Which ports a search may write reader frames to: those sysfs ties to a device off the platform
// bus. Both layouts of the 8250 ports are here: the device on its bus directly (before Linux 6.5),
// and behind a serial-base port and controller device (since).
TEST(PortList, PortsADeviceBacksAreMarked) {
    FakeSysRoot fake;
    const std::string usb = "devices/pci0000:00/0000:00:14.0/usb1/1-2";
    const std::string platform = "devices/platform/serial8250";
    const std::string pnp = "devices/pnp0/00:05";
    struct Case {
        std::string name;
        std::string device;  // where /sys/class/tty/<name>/device leads; empty: no link
        std::vector<std::pair<std::string, std::string>> buses;  // device folder, its subsystem
        bool backed;
    };
    const std::vector<Case> cases = {
        {"tty1", "", {}, false},  // a virtual console
        {"ttyS1", platform, {{platform, "platform"}}, false},
        {"ttyS2",
         platform + "/serial8250:0/serial8250:0.2",
         {{platform, "platform"},
          {platform + "/serial8250:0", "serial-base"},
          {platform + "/serial8250:0/serial8250:0.2", "serial-base"}},
         false},
        {"ttyS0", pnp, {{pnp, "pnp"}}, true},
        {"ttyS4",
         "devices/pnp0/00:06/00:06:0/00:06:0.0",
         {{"devices/pnp0/00:06", "pnp"},
          {"devices/pnp0/00:06/00:06:0", "serial-base"},
          {"devices/pnp0/00:06/00:06:0/00:06:0.0", "serial-base"}},
         true},
        {"ttyUSB0", usb + "/1-2:1.0/ttyUSB0", {{usb + "/1-2:1.0/ttyUSB0", "usb-serial"}}, true},
        {"rfcomm0", "", {}, false},
    };
    for (const Case& c : cases) {
        fake.device(c.name);
        if (!c.device.empty()) fake.sysfsLink(c.name, c.device);
        for (const auto& [folder, bus] : c.buses)
            fake.subsystem(folder, bus);
    }
    fake.attribute(usb, "idVendor", "1a86");
    fake.attribute(usb, "idProduct", "7523");

    const auto ports = serial::listPorts(fake.root());
    ASSERT_EQ(ports.size(), cases.size());  // listed whether backed or not
    for (const Case& c : cases) {
        const auto port = std::ranges::find(ports, fake.root() + "/dev/" + c.name, &PortInfo::port);
        ASSERT_NE(port, ports.end()) << c.name;
        EXPECT_EQ(port->backedByDevice, c.backed) << c.name;
        if (c.name == "ttyUSB0") {
            EXPECT_EQ(port->hardwareId, "USB VID:PID=1a86:7523 ");
        }
    }
}
