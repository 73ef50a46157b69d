#include "reader/handshake_log.hpp"

#include <string>

#include "reader/device/iusb.hpp"
#include "reader/frame/iva_reader.hpp"
#include "reader/frame/ivc_tsm_reader.hpp"
#include "reader/frame/ivd_reader.hpp"
#include "reader/rf_reader.hpp"
#include "reader/transport/open_failure.hpp"
#include "reader/usb_reader_ids.hpp"

namespace Orvane {
namespace {

// The HID or USB handle behind the current transport; null for the serial types.
IUsb* usbHandleOf(const RfReader& reader) {
    if (reader.vaReader()) return dynamic_cast<IUsb*>(reader.vaReader());
    if (reader.vcReader()) return dynamic_cast<IUsb*>(reader.vcReader());
    if (reader.vdReader()) return dynamic_cast<IUsb*>(reader.vdReader());
    return nullptr;
}

// The exchange results of the frame families: -1 short, -2 malformed, -3 check bytes wrong, above 0
// the reader's status.
ProbeReport handshakeReport(int identified) {
    switch (identified) {
        case 0:
            return {ProbeOutcome::found, {}};
        case -1:
            return {ProbeOutcome::noAnswer, "nothing, or too little for a reply, to the identify command"};
        case -2:
            return {ProbeOutcome::wrongAnswer, "a reply that is no frame of the type's family"};
        case -3:
            return {ProbeOutcome::wrongAnswer, "a reply whose check bytes are wrong"};
        default:
            return {ProbeOutcome::wrongAnswer, "identify answered with status " + std::to_string(identified)};
    }
}

}  // namespace

void logHandshake(const RfReader& reader, int identified) {
    IUsb* handle = usbHandleOf(reader);
    const auto ids = usbReaderIdOf(reader.type());
    if (handle && handle->isOpen() && ids)
        logProbeReport(reader.type(), ids->vendorId, ids->productId, handshakeReport(identified));
}

}  // namespace Orvane
