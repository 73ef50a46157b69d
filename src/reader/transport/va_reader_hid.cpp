#include "reader/transport/va_reader_hid.hpp"

#include <algorithm>

namespace Orvane {
namespace {

constexpr int kBlock = 64;
constexpr int kReadTimeoutMs = 200;

}  // namespace

int VAReaderHid::transceive(std::uint8_t* buf, int len, int maxLen) {
    if (!buf || len < 1 || maxLen <= kBlock) return -1;
    for (int offset = 0; offset < len; offset += kBlock) {
        HidDevice* device = hidDevice();
        if (!device) return -1;
        const int chunk = std::min(kBlock, len - offset);
        report_.fill(0);
        std::copy_n(buf + offset, chunk, report_.begin() + 1);
        if (device->write(report_) != static_cast<int>(report_.size())) return -1;
    }

    // Input reports carry no report ID; whatever a read returns is reply bytes.
    int held = 0;
    int expected = 6;  // until LEN is in
    while (held < expected) {
        HidDevice* device = hidDevice();
        if (!device) break;
        const int got = device->readTimeout(report_, kReadTimeoutMs);
        if (got <= 0) break;
        const int take = std::min({got, static_cast<int>(report_.size()), maxLen - held});
        std::copy_n(report_.begin(), take, buf + held);
        held += take;
        if (held >= 4) {
            expected = buf[2] + 5;
            if (expected > maxLen) break;
        }
        if (held == maxLen) break;
    }
    return std::min(held, expected);
}

}  // namespace Orvane
