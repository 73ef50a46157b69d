#pragma once
// A fake machine root for the port enumeration: device nodes under dev/ (plain files, or links to
// ptys a test opened), sysfs under sys/ as folders and relative links as the kernel lays them out.

#include <filesystem>
#include <string>

#include "support/temp_dir.hpp"

class FakeSysRoot {
  public:
    FakeSysRoot() { std::filesystem::create_directories(root() + "/dev"); }

    std::string root() const { return dir_.path(); }
    std::string devicePath(const std::string& name) const { return root() + "/dev/" + name; }

    // dev/<name> as a plain file: listed, never opened.
    void device(const std::string& name) { writeFile(devicePath(name), ""); }
    // dev/<name> standing for `target` (a pty's slave), as udev links a node.
    void deviceLink(const std::string& name, const std::string& target) {
        std::filesystem::create_symlink(target, devicePath(name));
    }

    // sys/class/tty/<name>/device -> sys/<devicePath>.
    void sysfsLink(const std::string& name, const std::string& devicePath) {
        namespace fs = std::filesystem;
        const fs::path classDir = fs::path(root()) / "sys/class/tty" / name;
        fs::create_directories(classDir);
        fs::create_directories(fs::path(root()) / "sys" / devicePath);
        fs::create_directory_symlink(fs::path("../../..") / devicePath, classDir / "device");
    }

    // sys/<devicePath>/subsystem -> sys/bus/<bus>.
    void subsystem(const std::string& devicePath, const std::string& bus) {
        namespace fs = std::filesystem;
        const fs::path device = fs::path(root()) / "sys" / devicePath;
        const fs::path busDir = fs::path(root()) / "sys/bus" / bus;
        fs::create_directories(device);
        fs::create_directories(busDir);
        if (fs::is_symlink(device / "subsystem")) return;  // a device several ports share
        fs::create_directory_symlink(fs::relative(busDir, device), device / "subsystem");
    }

    void attribute(const std::string& dir, const std::string& name, const std::string& value) {
        writeFile(root() + "/sys/" + dir + "/" + name, value + "\n");
    }

    // The three kinds of port a search meets: a virtual console (no device), a placeholder UART of
    // the 8250 driver (a platform device), and a CH340 adapter on USB. Each is dev/<name>, linked
    // to `target` when one is given.
    void virtualConsole(const std::string& name, const std::string& target = {}) { node(name, target); }
    void platformPort(const std::string& name, const std::string& target = {}) {
        node(name, target);
        sysfsLink(name, "devices/platform/serial8250");
        subsystem("devices/platform/serial8250", "platform");
    }
    void ch340Port(const std::string& name, const std::string& target = {}) {
        node(name, target);
        const std::string usb = "devices/pci0000:00/0000:00:14.0/usb1/1-2";
        const std::string tty = usb + "/1-2:1.0/" + name;
        sysfsLink(name, tty);
        subsystem(tty, "usb-serial");
        attribute(usb, "idVendor", "1a86");
        attribute(usb, "idProduct", "7523");
    }

  private:
    void node(const std::string& name, const std::string& target) {
        if (target.empty())
            device(name);
        else
            deviceLink(name, target);
    }

    TempDir dir_;
};
