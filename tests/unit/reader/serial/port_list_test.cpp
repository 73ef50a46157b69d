#include "reader/serial/port_list.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.hpp"

namespace fs = std::filesystem;
using serial::PortInfo;

namespace {

// A fake machine root: device nodes are plain files, sysfs is folders and relative links as the
// kernel lays them out.
class FakeRoot {
  public:
    FakeRoot() { fs::create_directories(root() + "/dev"); }

    std::string root() const { return dir_.path(); }

    void device(const std::string& name) { writeFile(root() + "/dev/" + name, ""); }

    // /sys/class/tty/<name>/device -> <devicePath>, with attributes in `attributeDir`.
    void sysfsLink(const std::string& name, const std::string& devicePath) {
        const fs::path classDir = fs::path(root()) / "sys/class/tty" / name;
        fs::create_directories(classDir);
        fs::create_directories(fs::path(root()) / "sys" / devicePath);
        fs::create_directory_symlink(fs::path("../../..") / devicePath, classDir / "device");
    }

    void attribute(const std::string& dir, const std::string& name, const std::string& value) {
        writeFile(root() + "/sys/" + dir + "/" + name, value + "\n");
    }

  private:
    TempDir dir_;
};

}  // namespace

TEST(PortList, Ch340AdapterListsWithItsUsbIds) {
    FakeRoot fake;
    fake.device("ttyUSB0");
    const std::string usb = "devices/pci0000:00/0000:00:14.0/usb1/1-2";
    fake.sysfsLink("ttyUSB0", usb + "/1-2:1.0/ttyUSB0");
    fake.attribute(usb, "idVendor", "1a86");
    fake.attribute(usb, "idProduct", "7523");
    fake.attribute(usb, "product", "USB Serial");

    const auto ports = serial::listPorts(fake.root());
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports[0], (PortInfo{fake.root() + "/dev/ttyUSB0", " USB Serial ", "USB VID:PID=1a86:7523 "}));
    EXPECT_NE(ports[0].hardwareId.find("1a86:7523"), std::string::npos);
}

TEST(PortList, AcmDeviceTakesTheFolderAboveItsInterface) {
    FakeRoot fake;
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
    FakeRoot fake;
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
    EXPECT_EQ(ports[0], (PortInfo{fake.root() + "/dev/ttyS0", "ttyS0", "PNP0501"}));
    EXPECT_EQ(ports[1], (PortInfo{fake.root() + "/dev/ttyX9", "ttyX9", "n/a"}));
    EXPECT_EQ(ports[2], (PortInfo{fake.root() + "/dev/cu.usb", "cu.usb", "n/a"}));
    EXPECT_EQ(ports[3], (PortInfo{fake.root() + "/dev/rfcomm0", "rfcomm0", "n/a"}));
}

TEST(PortList, EmptyMachineListsNothing) {
    TempDir empty;
    EXPECT_TRUE(serial::listPorts(empty.path()).empty());
}
