#include "reader/transport/vd_reader_hid.hpp"

#include <algorithm>
#include <chrono>
#include <thread>

#include "reader/frame/vd_frame.hpp"
#include "reader/reader_family.hpp"
#include "reader/transport/open_failure.hpp"
#include "reader/transport/reply_collector.hpp"

namespace Orvane {
namespace {

constexpr int kChunk = 254;
constexpr auto kPollWindow = std::chrono::milliseconds(200);
constexpr auto kPollPause = std::chrono::milliseconds(1);

}  // namespace

bool VDReaderHid::connectDevice() {
    if (openDevice(kVendorId, kProductId)) return true;
    logProbeReport(kReaderVdHid, kVendorId, kProductId, explainFailedOpen(bus(), kVendorId, kProductId));
    return false;
}

int VDReaderHid::transceive(std::uint8_t* buf, int len, int maxLen) {
    if (!buf || len < 1 || maxLen < static_cast<int>(report_.size())) return -1;
    for (int offset = 0; offset < len; offset += kChunk) {
        if (!hasDevice()) return -1;
        const int chunk = std::min(kChunk, len - offset);
        report_.fill(0);
        report_[0] = kReportId;
        std::copy_n(buf + offset, chunk, report_.begin() + 1);
        if (sendFeature(report_) != static_cast<int>(report_.size())) return -1;
    }

    ReplyCollector reply(buf, maxLen, vd_frame::replyLength);
    while (reply.wantsMore()) {
        const int got = pollReport();
        if (got <= 1) break;  // nothing came within the window, or an empty report
        reply.append(report_.data() + 1, std::min(got - 1, kChunk));
    }
    return reply.held();
}

// The reader answers a feature-report read with an error until its reply is ready; retry for up
// to 200 ms. Returns the report's byte count (ID included), or the last error.
int VDReaderHid::pollReport() {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        if (!hasDevice()) return -1;
        report_[0] = kReportId;
        const int got = getFeature(report_);
        if (got >= 0) return got;
        if (std::chrono::steady_clock::now() - start >= kPollWindow) return got;
        std::this_thread::sleep_for(kPollPause);
    }
}

}  // namespace Orvane
