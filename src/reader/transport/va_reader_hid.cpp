#include "reader/transport/va_reader_hid.hpp"

#include <algorithm>

#include "reader/frame/va_frame.hpp"
#include "reader/reader_family.hpp"
#include "reader/transport/open_failure.hpp"
#include "reader/transport/reply_collector.hpp"

namespace Orvane {
namespace {

constexpr int kBlock = 64;
constexpr int kReadTimeoutMs = 200;

}  // namespace

bool VAReaderHid::connectDevice() {
    if (openDevice(kVendorId, kProductId)) return true;
    logProbeReport(kReaderVaHid, kVendorId, kProductId, explainFailedOpen(bus(), kVendorId, kProductId));
    return false;
}

int VAReaderHid::transceive(std::uint8_t* buf, int len, int maxLen) {
    if (!buf || len < 1 || maxLen <= kBlock) return -1;
    dropPendingInput(report_);
    for (int offset = 0; offset < len; offset += kBlock) {
        if (!hasDevice()) return -1;
        const int chunk = std::min(kBlock, len - offset);
        report_.fill(0);
        std::copy_n(buf + offset, chunk, report_.begin() + 1);
        if (writeReport(report_) != static_cast<int>(report_.size())) return -1;
    }

    // Input reports carry no report ID; whatever a read returns is reply bytes.
    // The shortest reply is assumed until LEN is in.
    ReplyCollector reply(buf, maxLen, va_frame::replyLength, static_cast<int>(va_frame::kMinReply));
    while (reply.wantsMore()) {
        if (!hasDevice()) break;
        const int got = readReport(report_, kReadTimeoutMs);
        if (got <= 0) break;
        reply.append(report_.data(), std::min(got, static_cast<int>(report_.size())));
    }
    return std::min(reply.held(), reply.expected());
}

}  // namespace Orvane
