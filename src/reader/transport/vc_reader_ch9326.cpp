#include "reader/transport/vc_reader_ch9326.hpp"

#include <algorithm>

#include "reader/frame/vc_frame.hpp"
#include "reader/reader_family.hpp"
#include "reader/transport/open_failure.hpp"
#include "reader/transport/reply_collector.hpp"

namespace Orvane {
namespace {

constexpr int kChunk = 31;
constexpr int kReadTimeoutMs = 200;

}  // namespace

bool VCReaderCH9326::connectDevice() {
    if (!openDevice(kVendorId, kProductId)) {
        logProbeReport(kReaderVcCh9326, kVendorId, kProductId,
                       explainFailedOpen(bus(), kVendorId, kProductId));
        return false;
    }
    if (sendFeature(kBridgeSetup) == static_cast<int>(kBridgeSetup.size())) return true;
    logProbeReport(kReaderVcCh9326, kVendorId, kProductId,
                   {ProbeOutcome::wrongAnswer, "the CH9326 bridge did not take its UART set-up report"});
    return false;
}

int VCReaderCH9326::transceive(std::uint8_t* buf, int len, int maxLen) {
    if (!buf || len < 1 || maxLen < static_cast<int>(report_.size())) return -1;
    dropPendingInput(report_);
    // Output report: ID 0, byte count, up to 31 data bytes.
    for (int offset = 0; offset < len; offset += kChunk) {
        if (!hasDevice()) return -1;
        const int chunk = std::min(kChunk, len - offset);
        report_.fill(0);
        report_[1] = static_cast<std::uint8_t>(chunk);
        std::copy_n(buf + offset, chunk, report_.begin() + 2);
        if (writeReport(report_) != static_cast<int>(report_.size())) return -1;
    }

    // Input report: byte count, then the data bytes.
    ReplyCollector reply(buf, maxLen, vc_frame::replyLength);
    while (reply.wantsMore()) {
        if (!hasDevice()) break;
        const int got = readReport(report_, kReadTimeoutMs);
        if (got < 2) break;
        const int count = report_[0];
        if (count == 0 || count > kChunk) break;
        reply.append(report_.data() + 1, std::min(count, got - 1));  // only bytes the report carried
    }
    return reply.held();
}

}  // namespace Orvane
