#pragma once
// A reader as its link sees it: bytes in, bytes out. Assembles request frames from the bytes that
// arrive, lets the firmware answer, and applies the injected faults to the answer. Safe to drive
// from a link thread while a test changes faults or reads the state.

#include <functional>
#include <memory>
#include <mutex>

#include "sim/firmware/firmware.hpp"

namespace rfsim {

enum class Fault {
    none,
    silence,       // no answer
    truncate,      // only the first `keep` bytes of the answer
    corruptCheck,  // last check byte inverted
    replace,       // the given bytes instead of the answer
};

class VirtualReader {
  public:
    explicit VirtualReader(std::unique_ptr<Firmware> firmware) : firmware_(std::move(firmware)) {}

    // Bytes arriving from the host. A report-based link passes `packet` = true: the rest of a
    // report after a complete frame is padding and is dropped. Returns the bytes the reader sends.
    Bytes receive(std::span<const std::uint8_t> bytes, bool packet);
    // Bytes that arrived garbled (a rate mismatch on the line): lost, and any frame in progress too.
    void lineNoise();

    // UART rate the firmware runs at (0 when there is none).
    std::uint32_t baud() const;

    // The next `count` answers (all, when count < 0) are changed by `fault`.
    void setFault(Fault fault, int count = -1, std::size_t keep = 0, Bytes replacement = {});
    void clearFault() { setFault(Fault::none); }

    // Runs `action` on the firmware under the reader's lock (install commands, read state).
    void withFirmware(const std::function<void(Firmware&)>& action);
    ReaderState state() const;

  private:
    Bytes applyFault(Bytes answer);

    mutable std::mutex mutex_;
    std::unique_ptr<Firmware> firmware_;
    Bytes pending_;
    Fault fault_ = Fault::none;
    int faultCount_ = -1;
    std::size_t keep_ = 0;
    Bytes replacement_;
};

}  // namespace rfsim
