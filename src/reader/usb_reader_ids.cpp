#include "reader/usb_reader_ids.hpp"

#include <array>
#include <cstdio>

#include "reader/device/ch340.hpp"
#include "reader/reader_family.hpp"
#include "reader/transport/va_reader_hid.hpp"
#include "reader/transport/vc_reader_ch9326.hpp"
#include "reader/transport/vd_reader_hid.hpp"

namespace Orvane {
namespace {

constexpr std::array kIds{
    UsbReaderId{kReaderVcCh9326, VCReaderCH9326::kVendorId, VCReaderCH9326::kProductId, UsbLink::hid},
    UsbReaderId{kReaderVdHid, VDReaderHid::kVendorId, VDReaderHid::kProductId, UsbLink::hid},
    UsbReaderId{kReaderVaHid, VAReaderHid::kVendorId, VAReaderHid::kProductId, UsbLink::hid},
    UsbReaderId{kReaderVbCh340, ch340::kVendorId, ch340::kProductId, UsbLink::raw},
};

}  // namespace

std::span<const UsbReaderId> usbReaderIds() {
    return kIds;
}

std::optional<UsbReaderId> usbReaderIdOf(std::uint8_t readerType) {
    for (const UsbReaderId& id : kIds)
        if (id.readerType == readerType) return id;
    return std::nullopt;
}

std::string usbIdText(std::uint16_t vendorId, std::uint16_t productId) {
    char text[12];
    std::snprintf(text, sizeof text, "%04x:%04x", unsigned{vendorId}, unsigned{productId});
    return text;
}

bool isCh340HardwareId(const std::string& hardwareId) {
    const auto has = [&](const char* part) { return hardwareId.find(part) != std::string::npos; };
    return has("1a86:7523") || (has("VID_1A86") && has("PID_7523"));
}

}  // namespace Orvane
