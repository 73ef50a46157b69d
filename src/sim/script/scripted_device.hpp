#pragma once
// A USB reader whose every operation is answered by a ReaderScript. Each call becomes a request
// line (with the reader type and the device's ids), and the answer is applied as the library would
// return it: a result, bytes into the caller's buffer (never more than it holds), a transferred
// count. An operation without an answer behaves as on a reader that has stopped answering: writes
// are taken, reads time out, and the device no longer opens.

#include <memory>
#include <optional>
#include <string>

#include "sim/bus/sim_device.hpp"
#include "sim/bus/usb_readers.hpp"
#include "sim/script/reader_script.hpp"

namespace rfsim {

// "10c4:0210", as a trace names the device.
std::string usbDeviceName(const UsbIds& ids);

class ScriptedDevice : public SimDevice {
  public:
    ScriptedDevice(int type, UsbIds ids, std::shared_ptr<VirtualReader> reader,
                   std::shared_ptr<ReaderScript> script);

    bool hostOpen() override;
    void hostClose() override;
    int hidWrite(std::span<const std::uint8_t> report) override;
    int hidRead(std::span<std::uint8_t> report) override;
    int hidSendFeature(std::span<const std::uint8_t> report) override;
    int hidGetFeature(std::span<std::uint8_t> report) override;
    int usbBulk(std::uint8_t endpoint, std::span<std::uint8_t> data, int& transferred) override;
    int usbControl(std::uint8_t requestType, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                   std::span<std::uint8_t> data) override;
    int usbReset() override;
    int usbInterface(InterfaceRequest request, int interfaceNumber) override;

  private:
    struct Answer {
        int result = 0;
        Bytes in;
        std::optional<int> transferred;
    };
    std::optional<Answer> ask(nlohmann::json request);
    // Bytes of the answer into `buffer` from its start, the rest zeroed; the count copied.
    static std::size_t fill(std::span<std::uint8_t> buffer, const Bytes& in);

    const int type_;
    const std::string name_;
    const bool hid_;
    std::shared_ptr<ReaderScript> script_;
};

}  // namespace rfsim
