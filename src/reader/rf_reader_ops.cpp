// Reader-level commands of RfReader: protocol selection, beep, LEDs, RF reset, version text.
#include <cstdio>

#include "reader/frame/iva_reader.hpp"
#include "reader/frame/ivc_tsm_reader.hpp"
#include "reader/frame/ivd_reader.hpp"
#include "reader/frame/va_frame.hpp"
#include "reader/reader_text.hpp"
#include "reader/rf_reader.hpp"

namespace {

using Orvane::IVDReader;

bool isVcType(std::uint8_t type) {
    return type == kReaderVcCh9326 || type == kReaderVcSerial;
}

bool isVaType(std::uint8_t type) {
    return type == kReaderVbSerial || type == kReaderVaHid || type == kReaderVbCh340;
}

// How each family names a protocol: the letter of VC command 0x3A, the value of VD command 0xBD.
struct ProtocolCodes {
    std::uint8_t mode;
    std::uint8_t vcLetter;
    std::uint8_t vdValue;
};

constexpr ProtocolCodes kProtocolCodes[] = {
    {Orvane::rf_mode::kIso14443A, 0x41, 0},
    {Orvane::rf_mode::kIso14443B, 0x42, 1},
    {Orvane::rf_mode::kIso15693, 0x31, 2},
};

// Null for anything but a single known mode bit.
const ProtocolCodes* protocolCodes(std::uint8_t mode) {
    for (const ProtocolCodes& codes : kProtocolCodes) {
        if (codes.mode == mode) return &codes;
    }
    return nullptr;
}

int vcCommand(Orvane::IVCTsmReader* vc, std::uint8_t command, std::uint8_t data) {
    const std::uint8_t bytes[] = {data};
    return vc ? vc->exchange(command, bytes) : -1;
}

}  // namespace

bool RfReader::setProtocol(std::uint8_t mode, bool force) {
    if ((rfMode_ & mode) != 0) return true;
    if (!force && rfMode_ != 0) return false;
    const ProtocolCodes* codes = protocolCodes(mode);
    if (isVcType(type_)) {
        if (!codes) return false;
        rfMode_ = 0;  // the front end is in an unknown state until the reader confirms
        if (vcCommand(vc_, 0x3A, codes->vcLetter) != 0) return false;
    } else if (type_ == kReaderVdHid) {
        if (!codes || !vd_) return false;
        const std::uint8_t data[] = {codes->vdValue};
        if (vd_->exchange(0xBD, IVDReader::kReaderParams, data) != 0) return false;
    } else {
        return false;  // the VA readers know ISO 14443-A only
    }
    rfMode_ = mode;
    return true;
}

bool RfReader::beep(std::uint8_t ms) {
    switch (type_) {
        case kReaderVdHid: {
            if (!vd_) return false;
            const std::uint8_t data[] = {0x00, ms};
            return vd_->exchange(0xB4, IVDReader::kReaderParams, data) == 0;
        }
        case kReaderVbSerial:
        case kReaderVbCh340: {
            const std::uint8_t data[] = {ms};
            return va_ && va_->exchange(0x1B, data) == 0;
        }
        case kReaderVaHid: {
            // This reader counts the beep in units of about 3 ms.
            const std::uint8_t data[] = {static_cast<std::uint8_t>(ms * 171 / 512)};
            return va_ && va_->exchange(0x1B, data) == 0;
        }
        case kReaderVcCh9326:
        case kReaderVcSerial:
            return vcCommand(vc_, 0x1D, static_cast<std::uint8_t>(ms / 2)) == 0;  // units of 2 ms
        default:
            return false;
    }
}

bool RfReader::setLed(bool on) {
    return setLeds(1, on ? 1 : 0);
}

bool RfReader::setLeds(std::uint8_t yellow, std::uint8_t green) {
    if (!isVcType(type_)) return false;
    // Both commands go out even when the first fails, so the second LED still follows the request.
    const bool first = vcCommand(vc_, 0x6A, yellow ? 0x03 : 0x00) == 0;
    const bool second = vcCommand(vc_, 0x6A, green ? 0x02 : 0x01) == 0;
    return first && second;
}

bool RfReader::resetField() {
    authSector_ = 255;  // a field reset ends every card's authentication
    if (isVaType(type_)) {
        if (va_) va_->exchange(0x2D);  // not every VA firmware acknowledges it
        return true;
    }
    if (isVcType(type_)) return vcCommand(vc_, 0x05, 0x05) == 0;
    if (type_ == kReaderVdHid && vd_) {
        const std::uint8_t data[] = {0x00, 0x01};
        return vd_->exchange(0x4E, IVDReader::kReaderParams, data) == 0;
    }
    return false;
}

bool RfReader::readVersion(std::string& text) {
    if (isVaType(type_)) {
        if (!va_ || va_->exchange(0x10) != 0) return false;
        const auto reply = va_->replyData();
        if (!reply.empty())
            text = Orvane::validUtf8Text(Orvane::va_frame::rebrandProductText(
                {reinterpret_cast<const char*>(reply.data()), reply.size()}));
        return true;
    }
    if (isVcType(type_)) {
        if (!vc_ || vc_->exchange(0x16) != 0) return false;
        const auto reply = vc_->replyData();
        const bool twoBytes = reply.size() == 2;
        char version[16];
        std::snprintf(version, sizeof version, "ver:%02X%02X", twoBytes ? reply[0] : 0,
                      twoBytes ? reply[1] : 0);
        text = version;
        return true;
    }
    if (type_ == kReaderVdHid && vd_) {
        const std::uint8_t versionLength[] = {0x00, 0x20};
        if (vd_->exchange(0xB0, IVDReader::kReaderParams, versionLength) != 0) return false;
        const auto reply = vd_->replyData();
        // Shorter answers carry no version text.
        if (reply.size() > 17)
            text = Orvane::validUtf8Text({reinterpret_cast<const char*>(reply.data()), reply.size()});
        return true;
    }
    return false;
}
