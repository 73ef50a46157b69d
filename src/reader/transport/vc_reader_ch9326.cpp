#include "reader/transport/vc_reader_ch9326.hpp"

#include <algorithm>

namespace Orvane {
namespace {

constexpr int kChunk = 31;
constexpr int kReadTimeoutMs = 200;

}  // namespace

bool VCReaderCH9326::connectDevice() {
    if (!openDevice(kVendorId, kProductId)) return false;
    return hidDevice()->sendFeatureReport(kBridgeSetup) == static_cast<int>(kBridgeSetup.size());
}

int VCReaderCH9326::transceive(std::uint8_t* buf, int len, int maxLen) {
    if (!buf || len < 1 || maxLen < static_cast<int>(report_.size())) return -1;
    // Output report: ID 0, byte count, up to 31 data bytes.
    for (int offset = 0; offset < len; offset += kChunk) {
        HidDevice* device = hidDevice();
        if (!device) return -1;
        const int chunk = std::min(kChunk, len - offset);
        report_.fill(0);
        report_[1] = static_cast<std::uint8_t>(chunk);
        std::copy_n(buf + offset, chunk, report_.begin() + 2);
        if (device->write(report_) != static_cast<int>(report_.size())) return -1;
    }

    // Input report: byte count, then the data bytes.
    int held = 0;
    int expected = -1;  // until LEN is in
    while (expected < 0 || held < expected) {
        HidDevice* device = hidDevice();
        if (!device) break;
        const int got = device->readTimeout(report_, kReadTimeoutMs);
        if (got < 2) break;
        const int count = report_[0];
        if (count == 0 || count > kChunk) break;
        // Only bytes the report really carried, and never past the caller's buffer.
        const int take = std::min({count, got - 1, maxLen - held});
        std::copy_n(report_.begin() + 1, take, buf + held);
        held += take;
        if (held >= 7) {
            expected = (buf[4] << 8 | buf[5]) + 8;
            if (expected > maxLen) break;
        }
        if (held == maxLen) break;
    }
    return held;
}

}  // namespace Orvane
