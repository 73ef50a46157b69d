// Reader-level commands of RfReader: protocol selection, beep, LEDs, RF reset, version text.
#include <cstdio>

#include "reader/frame/iva_reader.hpp"
#include "reader/frame/ivc_tsm_reader.hpp"
#include "reader/frame/ivd_reader.hpp"
#include "reader/frame/va_frame.hpp"
#include "reader/frame/va_opcodes.hpp"
#include "reader/frame/vc_opcodes.hpp"
#include "reader/frame/vd_opcodes.hpp"
#include "reader/pcsc/pcsc_reader.hpp"
#include "reader/reader_text.hpp"
#include "reader/rf_reader.hpp"

namespace {

namespace va = Orvane::va;
namespace vc = Orvane::vc;
namespace vd = Orvane::vd;

// How the VC and VD families name a protocol in their protocol commands.
struct ProtocolCodes {
    std::uint8_t mode;
    std::uint8_t vcLetter;
    std::uint8_t vdValue;
};

constexpr ProtocolCodes kProtocolCodes[] = {
    {Orvane::rf_mode::kIso14443A, vc::kProtocolIso14443A, vd::kProtocolIso14443A},
    {Orvane::rf_mode::kIso14443B, vc::kProtocolIso14443B, vd::kProtocolIso14443B},
    {Orvane::rf_mode::kIso15693, vc::kProtocolIso15693, vd::kProtocolIso15693},
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
    switch (familyOf(type_)) {
        case ReaderFamily::vc:
            if (!codes) return false;
            rfMode_ = 0;  // the front end is in an unknown state until the reader confirms
            if (vcCommand(vc_, vc::kSetProtocol, codes->vcLetter) != 0) return false;
            break;
        case ReaderFamily::vd: {
            if (!codes || !vd_) return false;
            const std::uint8_t data[] = {codes->vdValue};
            if (vd_->exchange(vd::kSetProtocol, vd::kReaderParams, data) != 0) return false;
            break;
        }
        case ReaderFamily::pcsc:  // the reader picks the card's protocol itself; its cards are type A objects
            if (mode != Orvane::rf_mode::kIso14443A) return false;
            break;
        case ReaderFamily::va:  // the VA readers know ISO 14443-A only
        case ReaderFamily::none:
            return false;
    }
    rfMode_ = mode;
    return true;
}

bool RfReader::beep(std::uint8_t ms) {
    switch (familyOf(type_)) {
        case ReaderFamily::vd: {
            if (!vd_) return false;
            const std::uint8_t data[] = {0x00, ms};
            return vd_->exchange(vd::kBeep, vd::kReaderParams, data) == 0;
        }
        case ReaderFamily::va: {
            // The HID reader counts the beep in units of about 3 ms, the others in milliseconds.
            const std::uint8_t data[] = {isVbType(type_) ? ms : static_cast<std::uint8_t>(ms * 171 / 512)};
            return va_ && va_->exchange(va::kBeep, data) == 0;
        }
        case ReaderFamily::vc:
            return vcCommand(vc_, vc::kBeep, static_cast<std::uint8_t>(ms / 2)) == 0;  // units of 2 ms
        case ReaderFamily::pcsc:  // PC/SC has no beeper command; vendor escapes differ per reader
        case ReaderFamily::none:
            break;
    }
    return false;
}

bool RfReader::setLed(bool on) {
    return setLeds(1, on ? 1 : 0);
}

bool RfReader::setLeds(std::uint8_t yellow, std::uint8_t green) {
    if (familyOf(type_) != ReaderFamily::vc) return false;
    // Both commands go out even when the first fails, so the second LED still follows the request.
    const bool first = vcCommand(vc_, vc::kLed, yellow ? vc::kLedYellowOn : vc::kLedYellowOff) == 0;
    const bool second = vcCommand(vc_, vc::kLed, green ? vc::kLedGreenOn : vc::kLedGreenOff) == 0;
    return first && second;
}

bool RfReader::resetField() {
    authSector_ = 255;  // a field reset ends every card's authentication
    switch (familyOf(type_)) {
        case ReaderFamily::va:
            if (va_) va_->exchange(va::kRfReset);  // not every VA firmware acknowledges it
            return true;
        case ReaderFamily::vc:
            return vcCommand(vc_, vc::kRfReset, vc::kRfResetData) == 0;
        case ReaderFamily::vd:
            return vd_ && vd_->exchange(vd::kRfReset, vd::kReaderParams, vd::kRfResetData) == 0;
        case ReaderFamily::pcsc:  // pcscd drives the field; nothing resets it from here
        case ReaderFamily::none:
            break;
    }
    return false;
}

bool RfReader::readVersion(std::string& text) {
    switch (familyOf(type_)) {
        case ReaderFamily::va: {
            if (!va_ || va_->exchange(va::kIdentify) != 0) return false;
            const auto reply = va_->replyData();
            if (!reply.empty())
                text = Orvane::validUtf8Text(Orvane::va_frame::rebrandProductText(
                    {reinterpret_cast<const char*>(reply.data()), reply.size()}));
            return true;
        }
        case ReaderFamily::vc: {
            if (!vc_ || vc_->exchange(vc::kIdentify) != 0) return false;
            const auto reply = vc_->replyData();
            const bool twoBytes = reply.size() == 2;
            char version[16];
            std::snprintf(version, sizeof version, "ver:%02X%02X", twoBytes ? reply[0] : 0,
                          twoBytes ? reply[1] : 0);
            text = version;
            return true;
        }
        case ReaderFamily::vd: {
            if (!vd_ || vd_->exchange(vd::kIdentify, vd::kReaderParams, vd::kIdentifyData) != 0) return false;
            const auto reply = vd_->replyData();
            // Shorter answers carry no version text.
            if (reply.size() > 17)
                text = Orvane::validUtf8Text({reinterpret_cast<const char*>(reply.data()), reply.size()});
            return true;
        }
        case ReaderFamily::pcsc: {  // the reader's name as pcscd lists it
            const Orvane::PcscReader* pcsc = pcscReader();
            if (!pcsc || !pcsc->isOpen()) return false;
            text = Orvane::validUtf8Text(pcsc->readerName());
            return true;
        }
        case ReaderFamily::none:
            break;
    }
    return false;
}
