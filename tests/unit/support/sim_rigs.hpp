#pragma once
// One simulated reader of each type, wired to the service's transport of that type: HID and CH340
// readers through the simulated bus, serial readers through a pseudo-terminal.

#include <memory>
#include <string>

#include "reader/frame/ivd_reader.hpp"
#include "reader/transport/va_reader_hid.hpp"
#include "reader/transport/vb_reader_ch340.hpp"
#include "reader/transport/vb_reader_serial.hpp"
#include "reader/transport/vc_reader_ch9326.hpp"
#include "reader/transport/vc_reader_serial.hpp"
#include "reader/transport/vd_reader_hid.hpp"
#include "sim/bus/sim_device_bus.hpp"
#include "sim/bus/usb_readers.hpp"
#include "sim/firmware/va_firmware.hpp"
#include "sim/firmware/vc_firmware.hpp"
#include "sim/firmware/vd_firmware.hpp"
#include "sim/pty/pty_reader_host.hpp"

class SimRig {
  public:
    virtual ~SimRig() = default;
    // The family's identify command through the transport.
    virtual int identify() = 0;
    virtual void unplug() = 0;
    virtual void plug() = 0;
    // Closes the transport's device or port and opens it again, as the service does after an
    // error; false when nothing opens.
    virtual bool reopen() = 0;
    rfsim::VirtualReader& reader() { return *reader_; }

  protected:
    explicit SimRig(std::unique_ptr<rfsim::Firmware> firmware)
        : reader_(std::make_shared<rfsim::VirtualReader>(std::move(firmware))) {}
    std::shared_ptr<rfsim::VirtualReader> reader_;
};

// A HID or raw USB reader on the simulated bus.
template <typename Transport, typename Device>
class BusRig : public SimRig {
  public:
    explicit BusRig(std::unique_ptr<rfsim::Firmware> firmware) : SimRig(std::move(firmware)) {
        device = bus.attach(std::make_shared<Device>(reader_));
        transport = std::make_unique<Transport>(bus);
        connected = transport->connectDevice();
    }
    void unplug() override { device->unplug(); }
    void plug() override { device->plug(); }
    bool reopen() override {
        transport->close();
        return transport->connectDevice();
    }

    rfsim::SimDeviceBus bus;
    std::shared_ptr<rfsim::SimDevice> device;
    std::unique_ptr<Transport> transport;
    bool connected = false;
};

struct VaHidRig : BusRig<Orvane::VAReaderHid, rfsim::VaHidDevice> {
    VaHidRig() : BusRig(std::make_unique<rfsim::VaFirmware>()) {}
    int identify() override { return transport->exchange(0x10); }
};

struct VbCh340Rig : BusRig<Orvane::VBReaderCH340, rfsim::Ch340Device> {
    VbCh340Rig()
        : BusRig(std::make_unique<rfsim::VaFirmware>(rfsim::VaFirmware::Options{"QX13 Zorla", 9600})) {}
    int identify() override { return transport->exchange(0x10); }
};

struct VcCh9326Rig : BusRig<Orvane::VCReaderCH9326, rfsim::Ch9326Device> {
    VcCh9326Rig() : BusRig(std::make_unique<rfsim::VcFirmware>()) {}
    int identify() override { return transport->exchange(0x16); }
};

struct VdHidRig : BusRig<Orvane::VDReaderHid, rfsim::VdHidDevice> {
    VdHidRig() : BusRig(std::make_unique<rfsim::VdFirmware>()) {}
    int identify() override {
        const std::uint8_t data[] = {0x00, 0x20};
        return transport->exchange(0xB0, Orvane::IVDReader::kReaderParams, data);
    }
};

// A serial reader on a pseudo-terminal, its port opened at `baud`.
template <typename Transport>
class PtyRig : public SimRig {
  public:
    PtyRig(std::unique_ptr<rfsim::Firmware> firmware, std::uint32_t baud)
        : SimRig(std::move(firmware)), host(reader_), transport(std::make_unique<Transport>()) {
        transport->port().setPort(host.portPath());
        transport->port().setBaudrate(baud);
        transport->port().open();
    }
    void unplug() override { host.unplug(); }
    void plug() override { host.plug(); }
    bool reopen() override {
        transport->port().close();
        try {
            transport->port().open();
            return true;
        } catch (...) {
            return false;
        }
    }

    rfsim::PtyReaderHost host;
    std::unique_ptr<Transport> transport;
};

struct VbSerialRig : PtyRig<Orvane::VBReaderSerial> {
    // A reader already switched to 57,600.
    VbSerialRig()
        : PtyRig(std::make_unique<rfsim::VaFirmware>(rfsim::VaFirmware::Options{"QX13", 57600}), 57600) {}
    int identify() override { return transport->exchange(0x10); }
};

struct VcSerialRig : PtyRig<Orvane::VCReaderSerial> {
    VcSerialRig()
        : PtyRig(std::make_unique<rfsim::VcFirmware>(rfsim::VcFirmware::Options{{0x02, 0x10}, 115200}),
                 115200) {}
    int identify() override { return transport->exchange(0x16); }
};
