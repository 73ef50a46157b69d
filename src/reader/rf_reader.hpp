#pragma once
// The one object through which everything reaches a physical reader: holds the reader type, owns
// the transport of that type, finds and opens the device (probing every type when asked to
// detect), runs the family handshake and the reader-level commands. Card objects send their own
// frames through the family interface of the current type and consult rfMode and authSector.
//
// No lock here: the reader entry keeps its finder and the session's commands apart (exchangeMutex
// is held by whoever runs frames on this reader). Nothing thrown by the serial layer leaves it.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "reader/irf_reader.hpp"
#include "reader/reader_family.hpp"

namespace Orvane {
class IVAReader;
class IVCTsmReader;
class IVDReader;
class VAReaderHid;
class VBReaderCH340;
class VBReaderSerial;
class VCReaderCH9326;
class VCReaderSerial;
class VDReaderHid;
class DeviceBus;
class PcscReader;
class ReaderTypeGate;
}  // namespace Orvane

class RfReader : public Orvane::IRfReader {
  public:
    // Transports are created on the given bus (the process's current bus by default).
    RfReader();
    explicit RfReader(Orvane::DeviceBus& bus);
    ~RfReader() override;
    RfReader(const RfReader&) = delete;
    RfReader& operator=(const RfReader&) = delete;

    // --- IRfReader
    bool setProtocol(std::uint8_t mode, bool force) override;
    bool open() override { return open(true); }
    void close() override;
    bool beep(std::uint8_t ms) override;
    bool setLed(bool on) override;
    bool resetField() override;

    // --- reader entry and command handlers
    bool setType(std::uint8_t kind);
    bool setPortName(std::uint8_t kind, const std::string& name);
    bool open(bool flag);
    bool connect();
    bool connectDetect();
    // The same, touching a type's devices only when the gate admits the type.
    bool open(bool flag, Orvane::ReaderTypeGate& gate);
    bool connectDetect(Orvane::ReaderTypeGate& gate);
    bool readVersion(std::string& text);
    // Yellow and green LEDs of the VC readers (one LED command each).
    bool setLeds(std::uint8_t yellow, std::uint8_t green);

    // The device behind the reader went away at its last exchange (unplugged): every exchange
    // fails at once until it is plugged back and the reader opened again.
    bool deviceLost() const;

    std::uint8_t type() const { return type_; }
    bool autoDetect() const { return autoDetect_; }
    bool keepOpen() const { return keepOpen_; }
    void setKeepOpen(bool keep) { keepOpen_ = keep; }
    std::uint8_t rfMode() const { return rfMode_; }
    std::uint8_t authSector() const { return authSector_; }
    void setAuthSector(std::uint8_t sector) { authSector_ = sector; }

    // The family interface of the current type, null when the type belongs to another family.
    Orvane::IVAReader* vaReader() const { return va_; }
    Orvane::IVCTsmReader* vcReader() const { return vc_; }
    Orvane::IVDReader* vdReader() const { return vd_; }
    // The PC/SC transport of type 7, null for the other types.
    Orvane::PcscReader* pcscReader() const;

    // Type 7's finder waits for a card to come or go instead of searching at intervals.
    bool edgeTriggered() const;
    // Blocks until a card comes or goes, up to `timeoutMs`: 1 one did, 0 nothing did (timeout or
    // a cancel), -1 the reader or pcscd is gone. Only for the finder thread of an edge-triggered
    // reader.
    int waitCardChange(std::uint32_t timeoutMs);
    // Ends a waitCardChange in progress (any thread).
    void cancelCardWait();

    // Held by whoever exchanges frames with this reader, from the first request to the last reply:
    // the session handlers around a command's reader work, the card finder around one pass. The
    // reader and card objects never take it themselves.
    std::mutex& exchangeMutex() { return exchangeMutex_; }

    // Port names the serial port searches remembered (process-wide, one per serial family).
    static std::string lastGoodPort(std::uint8_t kind);
    static void forgetLastGoodPorts();  // tests

  private:
    struct Transports;

    bool connectAdmitted(Orvane::ReaderTypeGate& gate);

    bool keepOpen_ = true;
    bool autoDetect_ = false;
    std::uint8_t type_ = kReaderNone;
    std::uint8_t rfMode_ = 0;
    std::uint8_t authSector_ = 255;
    Orvane::IVAReader* va_ = nullptr;
    Orvane::IVCTsmReader* vc_ = nullptr;
    Orvane::IVDReader* vd_ = nullptr;
    std::unique_ptr<Transports> transports_;
    std::mutex exchangeMutex_;
};
