#include "reader/rf_reader.hpp"

#include <initializer_list>

#include "reader/bus/system_device_bus.hpp"
#include "reader/ch340_baud_setup.hpp"
#include "reader/frame/va_opcodes.hpp"
#include "reader/frame/vc_opcodes.hpp"
#include "reader/frame/vd_opcodes.hpp"
#include "reader/handshake_log.hpp"
#include "reader/pcsc/pcsc_reader.hpp"
#include "reader/reader_type_gate.hpp"
#include "reader/rf_reader_ports.hpp"
#include "reader/transport/va_reader_hid.hpp"
#include "reader/transport/vb_reader_ch340.hpp"
#include "reader/transport/vb_reader_serial.hpp"
#include "reader/transport/vc_reader_ch9326.hpp"
#include "reader/transport/vc_reader_serial.hpp"
#include "reader/transport/vd_reader_hid.hpp"

// The transport of the current type (the others stay null) and the port names the client gave the
// two serial types; the names outlive type changes.
struct RfReader::Transports {
    explicit Transports(Orvane::DeviceBus& devices) : bus(devices) {}

    void clear() {
        vaHid.reset();
        vbCh340.reset();
        vbSerial.reset();
        vcCh9326.reset();
        vcSerial.reset();
        vdHid.reset();
        pcsc.reset();
    }

    // The HID or USB handle of the current transport, null for the serial types.
    Orvane::IUsb* usbHandle() const {
        if (vaHid) return vaHid.get();
        if (vbCh340) return vbCh340.get();
        if (vcCh9326) return vcCh9326.get();
        if (vdHid) return vdHid.get();
        return nullptr;
    }

    // Whether the current transport's device went away at its last operation.
    bool deviceLost() const {
        for (const Orvane::DeviceLoss* loss : std::initializer_list<const Orvane::DeviceLoss*>{
                 vaHid.get(), vbCh340.get(), vbSerial.get(), vcCh9326.get(), vcSerial.get(), vdHid.get(),
                 pcsc.get()})
            if (loss != nullptr && loss->deviceLost()) return true;
        return false;
    }

    Orvane::DeviceBus& bus;
    std::unique_ptr<Orvane::VAReaderHid> vaHid;
    std::unique_ptr<Orvane::VBReaderCH340> vbCh340;
    std::unique_ptr<Orvane::VBReaderSerial> vbSerial;
    std::string vbSerialPort;
    std::unique_ptr<Orvane::VCReaderCH9326> vcCh9326;
    std::unique_ptr<Orvane::VCReaderSerial> vcSerial;
    std::string vcSerialPort;
    std::unique_ptr<Orvane::VDReaderHid> vdHid;
    std::unique_ptr<Orvane::PcscReader> pcsc;
    std::string pcscName;  // part of the PC/SC reader's name
};

bool RfReader::deviceLost() const {
    return transports_->deviceLost();
}

namespace {

// Reader types in the order detection probes them.
// PC/SC comes last: its readers are whatever pcscd lists, the others answer their own handshakes.
constexpr std::uint8_t kProbeOrder[] = {kReaderVcCh9326, kReaderVdHid,    kReaderVaHid, kReaderVbCh340,
                                        kReaderVcSerial, kReaderVbSerial, kReaderPcsc};

constexpr std::uint32_t kCh340WorkingRate = 57600;

template <typename T>
T* make(std::unique_ptr<T>& slot, auto&&... args) {
    slot = std::make_unique<T>(args...);
    return slot.get();
}

bool portOpen(Orvane::SerialPort& transport) {
    try {
        return transport.port().isOpen();
    } catch (...) {
        return false;
    }
}

void closePort(Orvane::SerialReaderPort& transport) {
    transport.setParkedPort(false);
    try {
        transport.port().close();
    } catch (...) {
    }
}

constexpr int kNoTransport = -100;  // no exchange was made

// The family's identify command: 0 when a reader of that family answered, else the exchange's
// result (a status byte, or -1 short, -2 malformed, -3 check bytes wrong).
int identify(const RfReader& reader) {
    switch (familyOf(reader.type())) {
        case ReaderFamily::va:
            return reader.vaReader() ? reader.vaReader()->exchange(Orvane::va::kIdentify) : kNoTransport;
        case ReaderFamily::vc:
            return reader.vcReader() ? reader.vcReader()->exchange(Orvane::vc::kIdentify) : kNoTransport;
        case ReaderFamily::vd:
            return reader.vdReader()
                       ? reader.vdReader()->exchange(Orvane::vd::kIdentify, Orvane::vd::kReaderParams,
                                                     Orvane::vd::kIdentifyData)
                       : kNoTransport;
        case ReaderFamily::pcsc:  // no identify command: pcscd listing the reader is the answer
            return reader.pcscReader() && reader.pcscReader()->isOpen() ? 0 : kNoTransport;
        case ReaderFamily::none:
            break;
    }
    return kNoTransport;
}

// Whether a reader of the type answered its family's identify command; a HID or USB reader's
// outcome goes to the open log.
bool handshake(const RfReader& reader) {
    const int identified = identify(reader);
    Orvane::logHandshake(reader, identified);
    return identified == 0;
}

}  // namespace

RfReader::RfReader() : RfReader(Orvane::currentDeviceBus()) {}

RfReader::RfReader(Orvane::DeviceBus& bus) : transports_(std::make_unique<Transports>(bus)) {}

RfReader::~RfReader() {
    close();
    transports_->clear();
}

bool RfReader::setType(std::uint8_t kind) {
    rfMode_ = 0;
    authSector_ = 255;
    transports_->clear();
    va_ = nullptr;
    vc_ = nullptr;
    vd_ = nullptr;

    type_ = kind == kReaderNone ? std::uint8_t{kReaderVcCh9326} : kind;
    autoDetect_ = kind == kReaderNone;
    Transports& t = *transports_;
    switch (type_) {
        case kReaderVdHid:
            vd_ = make(t.vdHid, t.bus);
            return true;
        case kReaderVbSerial:
            va_ = make(t.vbSerial);
            return true;
        case kReaderVcCh9326:
            vc_ = make(t.vcCh9326, t.bus);
            return true;
        case kReaderVaHid:
            va_ = make(t.vaHid, t.bus);
            return true;
        case kReaderVcSerial:
            vc_ = make(t.vcSerial);
            return true;
        case kReaderVbCh340:
            va_ = make(t.vbCh340, t.bus);
            return true;
        case kReaderPcsc:
            make(t.pcsc, t.bus.pcscApi())->setWantedName(t.pcscName);
            return true;
        default:
            return false;  // no transport: every connect fails until a valid type is set
    }
}

bool RfReader::setPortName(std::uint8_t kind, const std::string& name) {
    if (kind == kReaderVbSerial) {
        transports_->vbSerialPort = name;
        return true;
    }
    if (kind == kReaderVcSerial) {
        transports_->vcSerialPort = name;
        return true;
    }
    if (kind == kReaderPcsc) {
        transports_->pcscName = name;
        if (transports_->pcsc) transports_->pcsc->setWantedName(name);
        return true;
    }
    return false;
}

bool RfReader::connect() {
    Transports& t = *transports_;
    bool connected = false;
    bool keepsMode = false;  // a serial port found open again: the reader is where it was left
    switch (type_) {
        case kReaderVdHid:
            connected = t.vdHid && t.vdHid->connectDevice();
            break;
        case kReaderVbSerial:
            if (t.vbSerial) {
                keepsMode = portOpen(*t.vbSerial);
                connected = keepsMode || t.vbSerial->parkedPort() ||
                            Orvane::connectVbSerialPort(*t.vbSerial, t.bus, t.vbSerialPort, keepOpen_);
            }
            break;
        case kReaderVcCh9326:
            connected = t.vcCh9326 && t.vcCh9326->connectDevice();
            break;
        case kReaderVaHid:
            connected = t.vaHid && t.vaHid->connectDevice();
            break;
        case kReaderVcSerial:
            connected =
                t.vcSerial && (portOpen(*t.vcSerial) || t.vcSerial->parkedPort() ||
                               Orvane::connectVcSerialPort(*t.vcSerial, t.bus, t.vcSerialPort, keepOpen_));
            break;
        case kReaderVbCh340:
            // The rate set-up runs on every connect: the reader may have been power-cycled.
            connected = t.vbCh340 && t.vbCh340->connectDevice() &&
                        Orvane::setUpCh340Rate(*t.vbCh340, kCh340WorkingRate);
            break;
        case kReaderPcsc:
            connected = t.pcsc && t.pcsc->connectDevice();
            break;
        default:
            break;
    }
    if (!connected) {
        close();
        return false;
    }
    // A parked or still open port is this reader's again, as a port found by a search is.
    if (type_ == kReaderVbSerial) t.vbSerial->holdPort();
    if (type_ == kReaderVcSerial) t.vcSerial->holdPort();
    // The VA readers speak ISO 14443-A only, so opening one selects it; a PC/SC reader's cards are
    // reached through the type A card objects whatever their type.
    if ((familyOf(type_) == ReaderFamily::va && !keepsMode) || type_ == kReaderPcsc)
        rfMode_ = Orvane::rf_mode::kIso14443A;
    return true;
}

bool RfReader::connectDetect() {
    Orvane::OpenGate gate;
    return connectDetect(gate);
}

bool RfReader::connectAdmitted(Orvane::ReaderTypeGate& gate) {
    if (!gate.admit(type_)) return false;
    if (connect()) return true;
    gate.probeFailed(type_);
    return false;
}

bool RfReader::connectDetect(Orvane::ReaderTypeGate& gate) {
    if (connectAdmitted(gate)) return true;
    if (!autoDetect_) return false;
    const bool skipCh9326 = type_ == kReaderVcCh9326;  // it was just tried
    for (const std::uint8_t kind : kProbeOrder) {
        if (kind == kReaderVcCh9326 && skipCh9326) continue;
        if (!gate.admit(kind)) continue;  // another entry drives it: its device is not touched
        setType(kind);                    // a fresh transport for every probe
        close();
        if (connect()) {
            autoDetect_ = true;
            return true;
        }
        gate.probeFailed(kind);
    }
    setType(kReaderVcCh9326);
    autoDetect_ = true;  // the next open probes again
    return false;
}

bool RfReader::open(bool flag) {
    Orvane::OpenGate gate;
    return open(flag, gate);
}

bool RfReader::open(bool flag, Orvane::ReaderTypeGate& gate) {
    if (!connectDetect(gate) && !flag) return false;
    if (handshake(*this)) return true;
    // One more round: a reader that was replugged or reset answers the second time.
    close();
    if (!connectDetect(gate)) return false;
    if (handshake(*this)) return true;
    close();
    return false;
}

void RfReader::close() {
    rfMode_ = 0;
    authSector_ = 255;
    // Only the transport of the current type exists.
    Transports& t = *transports_;
    if (Orvane::IUsb* handle = t.usbHandle()) closeTransport(*handle);
    if (t.vbSerial) {
        closePort(*t.vbSerial);
        t.vbSerial->releasePort();
    }
    if (t.vcSerial) {
        closePort(*t.vcSerial);
        t.vcSerial->releasePort();
    }
    if (t.pcsc) t.pcsc->close();
}

Orvane::PcscReader* RfReader::pcscReader() const {
    return transports_->pcsc.get();
}

bool RfReader::edgeTriggered() const {
    return transports_->pcsc && transports_->pcsc->isOpen();
}

int RfReader::waitCardChange(std::uint32_t timeoutMs) {
    Orvane::PcscReader* pcsc = transports_->pcsc.get();
    if (!pcsc) return -1;
    switch (pcsc->waitForChange(timeoutMs)) {
        case Orvane::PcscReader::Wait::changed:
            return 1;
        case Orvane::PcscReader::Wait::lost:
            return -1;
        default:
            return 0;
    }
}

void RfReader::cancelCardWait() {
    if (Orvane::PcscReader* pcsc = transports_->pcsc.get()) pcsc->cancelWait();
}

std::string RfReader::lastGoodPort(std::uint8_t kind) {
    return Orvane::lastGoodSerialPort(kind);
}

void RfReader::forgetLastGoodPorts() {
    Orvane::forgetLastGoodSerialPorts();
}
