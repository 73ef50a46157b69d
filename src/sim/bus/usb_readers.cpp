#include "sim/bus/usb_readers.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "reader/bus/device_bus.hpp"

namespace rfsim {
namespace {

// A UART samples each bit mid-way: about 2 % rate difference is still read correctly.
bool ratesAgree(std::uint32_t a, std::uint32_t b) {
    if (a == 0 || b == 0) return false;
    return std::llabs(static_cast<long long>(a) - static_cast<long long>(b)) * 100 <=
           static_cast<long long>(b) * 2;
}

}  // namespace

// ---- VA HID -------------------------------------------------------------------------------------

int VaHidDevice::hidWrite(std::span<const std::uint8_t> report) {
    if (report.size() != 65 || report[0] != 0) return -1;  // one output report, no numbered reports
    const Bytes reply = reader().receive(report.subspan(1), true);
    std::lock_guard lock(linkMutex_);
    queueToHost(reply);
    return 65;
}

int VaHidDevice::hidRead(std::span<std::uint8_t> report) {
    std::lock_guard lock(linkMutex_);
    if (!hasReply()) return 0;  // nothing within the read timeout
    const Bytes chunk = takeFromReader(64);
    std::fill(report.begin(), report.end(), 0);
    std::copy_n(chunk.begin(), std::min(chunk.size(), report.size()), report.begin());
    return static_cast<int>(std::min<std::size_t>(64, report.size()));
}

// ---- CH9326 -------------------------------------------------------------------------------------

int Ch9326Device::hidSendFeature(std::span<const std::uint8_t> report) {
    static constexpr std::array<std::uint8_t, 6> kSetup{0x00, 0xFF, 0xC7, 0x83, 0xCC, 0x10};
    std::lock_guard lock(linkMutex_);
    if (std::equal(report.begin(), report.end(), kSetup.begin(), kSetup.end())) configured_ = true;
    return static_cast<int>(report.size());
}

int Ch9326Device::hidWrite(std::span<const std::uint8_t> report) {
    if (report.size() != 33 || report[0] != 0) return -1;
    const std::uint8_t count = report[1];
    if (count == 0 || count > 31) return 33;  // the bridge ignores a report without data
    bool configured;
    {
        std::lock_guard lock(linkMutex_);
        configured = configured_;
    }
    if (!configured) {
        reader().lineNoise();
        return 33;
    }
    const Bytes reply = reader().receive(report.subspan(2, count), false);
    std::lock_guard lock(linkMutex_);
    queueToHost(reply);
    return 33;
}

int Ch9326Device::hidRead(std::span<std::uint8_t> report) {
    std::lock_guard lock(linkMutex_);
    if (!hasReply() || report.size() < 2) return 0;
    const Bytes chunk = takeFromReader(std::min<std::size_t>(31, report.size() - 1));
    std::fill(report.begin(), report.end(), 0);
    report[0] = static_cast<std::uint8_t>(chunk.size());
    std::copy(chunk.begin(), chunk.end(), report.begin() + 1);
    return static_cast<int>(std::min<std::size_t>(32, report.size()));
}

// ---- VD feature reports ---------------------------------------------------------------------------

int VdHidDevice::hidSendFeature(std::span<const std::uint8_t> report) {
    if (report.size() != 255 || report[0] != 6) return -1;
    const Bytes reply = reader().receive(report.subspan(1), true);
    std::lock_guard lock(linkMutex_);
    queueToHost(reply);
    return 255;
}

int VdHidDevice::hidGetFeature(std::span<std::uint8_t> report) {
    if (report.size() < 2 || report[0] != 6) return -1;
    std::lock_guard lock(linkMutex_);
    if (!hasReply()) return -1;  // not ready: the device stalls the control read
    const Bytes chunk = takeFromReader(std::min<std::size_t>(254, report.size() - 1));
    std::copy(chunk.begin(), chunk.end(), report.begin() + 1);
    return static_cast<int>(chunk.size() + 1);
}

// ---- CH340 ----------------------------------------------------------------------------------------

std::uint32_t ch340RateOf(std::uint16_t index) {
    const unsigned divisor = index >> 8;
    const unsigned prescaler = index & 0x07;
    if (divisor == 0 || prescaler > 3) return 0;
    const unsigned long long ticks = (256ull - divisor) * 256ull << (3 * (3 - prescaler));
    return static_cast<std::uint32_t>(1532620800ull / ticks);
}

int Ch340Device::usbControl(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                            std::uint16_t index, std::span<std::uint8_t>) {
    // Vendor write 0x9A to the register pair 0x1312 sets the UART divisor and prescaler; other
    // vendor requests (line control, handshake lines) are accepted and have no effect here.
    if (requestType != 0x40) return Orvane::usb_error::kPipe;
    if (request == 0x9A && value == 0x1312) {
        const std::uint32_t rate = ch340RateOf(index);
        if (rate == 0) return Orvane::usb_error::kPipe;
        std::lock_guard lock(linkMutex_);
        chipBaud_ = rate;
    }
    return 0;
}

int Ch340Device::usbReset() {
    std::lock_guard lock(linkMutex_);
    chipBaud_ = 9600;
    takeFromReader(SIZE_MAX);
    return 0;
}

std::uint32_t Ch340Device::chipBaud() {
    std::lock_guard lock(linkMutex_);
    return chipBaud_;
}

int Ch340Device::usbBulk(std::uint8_t endpoint, std::span<std::uint8_t> data, int& transferred) {
    transferred = 0;
    if (endpoint == 0x02) {
        if (ratesAgree(chipBaud(), reader().baud())) {
            const Bytes reply = reader().receive(data, false);
            std::lock_guard lock(linkMutex_);
            queueToHost(reply);
        } else {
            reader().lineNoise();
        }
        transferred = static_cast<int>(data.size());
        return 0;
    }
    if (endpoint == 0x82) {
        std::lock_guard lock(linkMutex_);
        if (!hasReply()) return Orvane::usb_error::kTimeout;
        const Bytes chunk = takeFromReader(data.size());
        std::copy(chunk.begin(), chunk.end(), data.begin());
        transferred = static_cast<int>(chunk.size());
        return 0;
    }
    return Orvane::usb_error::kPipe;
}

std::optional<UsbIds> usbIdsOfType(int type) {
    switch (type) {
        case 1:
            return kVdHidIds;
        case 3:
            return kCh9326Ids;
        case 4:
            return kVaHidIds;
        case 6:
            return kCh340Ids;
        default:
            return std::nullopt;
    }
}

}  // namespace rfsim
