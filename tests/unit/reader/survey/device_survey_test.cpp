// The device survey over a fake machine root (ports in /dev and /sys, processes in /proc) and over
// the simulator's bus: which reader type each device could be, whether this process may open it,
// and the programs that take reader ports away.

#include "reader/survey/device_survey.hpp"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "reader/bus/system_device_bus.hpp"
#include "reader/serial/port_list.hpp"
#include "support/listed_bus.hpp"
#include "support/sim_readers.hpp"
#include "support/temp_dir.hpp"

namespace fs = std::filesystem;

namespace {

// A machine root anyone may look into: device files are plain files, sysfs is folders and relative
// links as the kernel lays them out, processes are /proc/PID/comm files.
class FakeMachine {
  public:
    FakeMachine() {
        fs::create_directories(root() + "/dev");
        fs::create_directories(root() + "/proc");
        fs::permissions(root(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    }

    std::string root() const { return dir_.path(); }
    std::string dev(const std::string& name) const { return root() + "/dev/" + name; }

    // A port whose device has these USB ids (none: a port without sysfs attributes).
    void port(const std::string& name, const std::string& vid = {}, const std::string& pid = {}) {
        writeFile(dev(name), "");
        if (vid.empty()) return;
        const std::string usb = "devices/pci0000:00/usb1/1-" + name;
        const fs::path classDir = fs::path(root()) / "sys/class/tty" / name;
        fs::create_directories(classDir);
        fs::create_directories(fs::path(root()) / "sys" / usb / (name + ":1.0") / name);
        fs::create_directory_symlink(fs::path("../../..") / usb / (name + ":1.0") / name,
                                     classDir / "device");
        writeFile(root() + "/sys/" + usb + "/idVendor", vid + "\n");
        writeFile(root() + "/sys/" + usb + "/idProduct", pid + "\n");
    }

    void process(int pid, const std::string& comm) {
        fs::create_directories(root() + "/proc/" + std::to_string(pid));
        writeFile(root() + "/proc/" + std::to_string(pid) + "/comm", comm);
    }

  private:
    TempDir dir_;
};

std::vector<std::pair<std::string, int>> portTypes(const Orvane::DeviceSurvey& survey,
                                                   const std::string& root) {
    std::vector<std::pair<std::string, int>> types;
    for (const auto& p : survey.ports)
        types.emplace_back(p.info.port.substr(root.size()), p.readerType);
    return types;
}

}  // namespace

TEST(DeviceSurvey, SerialReaderTypeFollowsTheCh340Rule) {
    const struct {
        const char* hardwareId;
        int type;
    } cases[] = {{"USB VID:PID=1a86:7523 ", 2},
                 {"USB\\VID_1A86&PID_7523\\5&2B", 2},
                 {"USB VID:PID=1a86:55d4 SNR=1", 5},
                 {"VID_1A86 only", 5},
                 {"n/a", 5},
                 {"", 5}};
    for (const auto& c : cases)
        EXPECT_EQ(Orvane::serialReaderTypeOf(c.hardwareId), c.type) << c.hardwareId;
}

TEST(DeviceSurvey, PortsUnderTheBusRootGetTheTypeTheirChipSuggests) {
    FakeMachine machine;
    machine.port("ttyUSB0", "1a86", "7523");
    machine.port("ttyUSB1", "067b", "2303");
    machine.port("ttyS0");
    Orvane::SystemDeviceBus bus(machine.root());
    const auto survey = Orvane::surveyDevices(bus, machine.root());
    EXPECT_EQ(portTypes(survey, machine.root()),
              (std::vector<std::pair<std::string, int>>{
                  {"/dev/ttyS0", 5}, {"/dev/ttyUSB0", 2}, {"/dev/ttyUSB1", 5}}));
    const auto ch340 = std::find_if(survey.ports.begin(), survey.ports.end(),
                                    [](const auto& p) { return p.readerType == 2; });
    ASSERT_NE(ch340, survey.ports.end());
    EXPECT_NE(ch340->info.hardwareId.find("1a86:7523"), std::string::npos);
    EXPECT_TRUE(survey.grabbers.empty());
}

// access() always says yes to root: the survey runs in a child that has become nobody.
TEST(DeviceSurvey, APortThisProcessMayNotOpenIsReportedSo) {
    FakeMachine machine;
    machine.port("ttyUSB0", "1a86", "7523");
    machine.port("ttyUSB1", "1a86", "7523");
    fs::permissions(machine.dev("ttyUSB0"), fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(machine.dev("ttyUSB1"), fs::perms::owner_read | fs::perms::owner_write |
                                                fs::perms::group_read | fs::perms::group_write |
                                                fs::perms::others_read | fs::perms::others_write);
    const bool root = ::geteuid() == 0;
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeEnds[0]);
        constexpr uid_t kNobody = 65534;
        if (root && (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            ::_exit(2);
        ListedBus bus;
        bus.ports = serial::listPorts(machine.root());
        std::string verdicts;
        for (const auto& port : Orvane::surveyDevices(bus, "").ports)
            verdicts += port.info.port.substr(machine.root().size()) + (port.openable ? "=yes\n" : "=no\n");
        const bool written =
            ::write(pipeEnds[1], verdicts.data(), verdicts.size()) == ssize_t(verdicts.size());
        ::_exit(written ? 0 : 3);
    }
    ::close(pipeEnds[1]);
    std::string verdicts;
    char buffer[256];
    for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        verdicts.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeEnds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "running as root without the right to become nobody";
    ASSERT_EQ(WEXITSTATUS(status), 0);
    if (!root) {
        // The owner of a 0600 file may open it: only a foreign owner's file shows the refusal.
        EXPECT_EQ(verdicts, "/dev/ttyUSB0=yes\n/dev/ttyUSB1=yes\n");
        GTEST_SKIP() << "not root: both ports belong to this user";
    }
    EXPECT_EQ(verdicts, "/dev/ttyUSB0=no\n/dev/ttyUSB1=yes\n");
}

TEST(DeviceSurvey, FindsPortGrabbersThroughProc) {
    FakeMachine machine;
    machine.process(1, "systemd\n");
    machine.process(977, "brltty\n");
    machine.process(412, "ModemManager\n");
    machine.process(500, "ModemManagerX\n");
    machine.process(501, "modemmanager\n");
    fs::create_directories(machine.root() + "/proc/600");  // gone while being looked at: no comm
    fs::create_directories(machine.root() + "/proc/sys");
    writeFile(machine.root() + "/proc/self", "");

    ListedBus bus;
    const auto grabbers = Orvane::surveyDevices(bus, machine.root()).grabbers;
    ASSERT_EQ(grabbers.size(), 2u);
    EXPECT_EQ(grabbers[0].program, "ModemManager");
    EXPECT_EQ(grabbers[0].pid, 412);
    EXPECT_EQ(grabbers[1].program, "brltty");
    EXPECT_EQ(grabbers[1].pid, 977);
    EXPECT_NE(grabbers[1].effect.find("CH340"), std::string::npos);

    // No machine behind the bus: nothing is looked for.
    EXPECT_TRUE(Orvane::surveyDevices(bus, "").grabbers.empty());
}

TEST(DeviceSurvey, UsbDevicesAreNamedByTheTypeTheirIdsBelongTo) {
    ListedBus bus;
    bus.devices = {{0x1A86, 0x7523, "/dev/bus/usb/001/009", false},
                   {0x0483, 0x5751, "/dev/bus/usb/001/004", true},
                   {0x0483, 0x5751, "/dev/bus/usb/002/002", false},
                   {0x1234, 0x5678, "/dev/bus/usb/001/003", true}};
    const auto survey = Orvane::surveyDevices(bus, "");
    ASSERT_EQ(survey.usbDevices.size(), 3u);
    // In the order detection probes the types: 4 before 6.
    EXPECT_EQ(survey.usbDevices[0].readerType, kReaderVaHid);
    EXPECT_EQ(survey.usbDevices[0].link, Orvane::UsbLink::hid);
    EXPECT_EQ(survey.usbDevices[0].device.node, "/dev/bus/usb/001/004");
    EXPECT_TRUE(survey.usbDevices[0].device.openable);
    EXPECT_EQ(survey.usbDevices[1].device.node, "/dev/bus/usb/002/002");
    EXPECT_FALSE(survey.usbDevices[1].device.openable);
    EXPECT_EQ(survey.usbDevices[2].readerType, kReaderVbCh340);
    EXPECT_EQ(survey.usbDevices[2].link, Orvane::UsbLink::raw);
}

TEST(DeviceSurvey, SimulatorBusListsItsPluggedReadersAsOpenable) {
    SimReaders sim;
    for (std::uint8_t type = 1; type <= 6; ++type)
        sim.add(type);
    auto survey = Orvane::surveyDevices(sim.bus, "");
    std::vector<int> usbTypes, portTypes;
    for (const auto& d : survey.usbDevices) {
        usbTypes.push_back(d.readerType);
        EXPECT_TRUE(d.device.openable) << d.device.node;
        EXPECT_EQ(d.device.node.rfind("sim:", 0), 0u) << d.device.node;
    }
    for (const auto& p : survey.ports) {
        portTypes.push_back(p.readerType);
        EXPECT_TRUE(p.openable) << p.info.port;
    }
    EXPECT_EQ(usbTypes, (std::vector<int>{3, 1, 4, 6}));
    EXPECT_EQ(portTypes, (std::vector<int>{2, 5}));

    // An unplugged reader is not there.
    sim.entry(kReaderVaHid).unplug();
    sim.entry(kReaderVbSerial).unplug();
    survey = Orvane::surveyDevices(sim.bus, "");
    EXPECT_EQ(survey.usbDevices.size(), 3u);
    ASSERT_EQ(survey.ports.size(), 1u);
    EXPECT_EQ(survey.ports[0].readerType, kReaderVcSerial);
}
