#include "reader/transport/vc_reader_serial.hpp"

#include "reader/reader_family.hpp"

namespace Orvane {

static_assert(vc_frame::kMinReply >= vc_frame::kReplyHead);

VCReaderSerial::VCReaderSerial()
    : SerialReaderPort(vc_frame::replyLength, static_cast<int>(vc_frame::kMinReply), kReaderVcSerial) {
    try {
        port().setBaudrate(115200);
    } catch (...) {
    }
}

}  // namespace Orvane
