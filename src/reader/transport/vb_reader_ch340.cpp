#include "reader/transport/vb_reader_ch340.hpp"

#include "reader/device/ch340.hpp"
#include "reader/frame/va_frame.hpp"
#include "reader/reader_family.hpp"
#include "reader/transport/open_failure.hpp"

namespace Orvane {
namespace {

constexpr unsigned kTimeoutMs = 200;

}  // namespace

bool VBReaderCH340::connectDevice() {
    if (isOpen()) return true;
    if (!openDevice(ch340::kVendorId, ch340::kProductId)) {
        logProbeReport(kReaderVbCh340, ch340::kVendorId, ch340::kProductId,
                       explainFailedOpen(bus(), ch340::kVendorId, ch340::kProductId));
        return false;
    }
    if (const int claimed = claimInterface(0); claimed != 0) {
        close();
        logProbeReport(kReaderVbCh340, ch340::kVendorId, ch340::kProductId, explainFailedClaim(claimed, 0));
        return false;
    }
    return true;
}

int VBReaderCH340::transceive(std::uint8_t* buf, int len, int maxLen) {
    if (!buf || len < 1 || maxLen < static_cast<int>(va_frame::kMinReply)) return -1;
    if (bulkWrite(ch340::kEndpointOut, buf, len, kTimeoutMs) != len) return -1;
    return bulkRead(ch340::kEndpointIn, buf, maxLen, kTimeoutMs);
}

}  // namespace Orvane
