#include "reader/transport/vc_reader_serial.hpp"

namespace Orvane {

VCReaderSerial::VCReaderSerial() : SerialReaderPort(kVcReplyHead, 8) {
    try {
        port().setBaudrate(115200);
    } catch (...) {
    }
}

}  // namespace Orvane
