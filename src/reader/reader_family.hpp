#pragma once
// Reader types as clients number them, and the frame family each type speaks: everything that
// picks a family's commands asks familyOf, so a new type is added in one place.

#include <cstdint>

enum ReaderType : std::uint8_t {
    kReaderNone = 0,
    kReaderVdHid = 1,     // VD family on HID 10C4:0210
    kReaderVbSerial = 2,  // VA family on a CH340 serial port (tty)
    kReaderVcCh9326 = 3,  // VC family on CH9326 HID 1A86:E010
    kReaderVaHid = 4,     // VA family on HID 0483:5751
    kReaderVcSerial = 5,  // VC family on a serial port, 115,200 baud
    kReaderVbCh340 = 6,   // VA family on CH340 USB 1A86:7523 driven raw
    kReaderPcsc = 7,      // any PC/SC reader, through pcscd
};

// pcsc: no frames of its own; cards are reached with the PC/SC APDUs of the reader's driver.
enum class ReaderFamily { none, va, vc, vd, pcsc };

// The family of a reader type; none for kReaderNone and numbers no reader has.
constexpr ReaderFamily familyOf(std::uint8_t type) {
    switch (type) {
        case kReaderVdHid:
            return ReaderFamily::vd;
        case kReaderVbSerial:
        case kReaderVaHid:
        case kReaderVbCh340:
            return ReaderFamily::va;
        case kReaderVcCh9326:
        case kReaderVcSerial:
            return ReaderFamily::vc;
        case kReaderPcsc:
            return ReaderFamily::pcsc;
        default:
            return ReaderFamily::none;
    }
}

// The VA-family readers behind a CH340 bridge (serial or raw USB). Their firmware differs from the
// HID one: beeps count milliseconds, and a new Mifare authentication needs the card selected anew.
constexpr bool isVbType(std::uint8_t type) {
    return type == kReaderVbSerial || type == kReaderVbCh340;
}
