#pragma once
// A reader as its link sees it: bytes in, bytes out. Assembles request frames from the bytes that
// arrive, lets the firmware answer, and applies the injected faults to the answer. Safe to drive
// from a link thread while a test changes faults or reads the state.
//
// The reader also has a cable: unplugged, it hears nothing and answers nothing. Each plug-in is a
// new connection (links fail handles opened on an earlier one) and a new power-on of the firmware.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

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

    // Pulls the cable: nothing is heard or answered until plug(), and a frame in progress is lost.
    // A command handler may call it: the answer to its request then never leaves.
    void unplug();
    // Plugs the cable back in: a new connection, and the firmware powers up again (Firmware::powerOn)
    // before it next hears a byte or shows its state. No effect while plugged.
    void plug();
    bool plugged() const;
    // The number of the current connection, nullopt while unplugged. It changes on every unplug,
    // so a link can tell whether a handle it opened still reaches the reader it was opened on.
    std::optional<std::uint64_t> connection() const;
    // True while plugged and still on connection `opened`.
    bool connected(std::uint64_t opened) const;

    // The cable comes out after the next complete request frame has arrived: the firmware handles
    // the request, but its answer never leaves the reader.
    void unplugAfterNextRequest();

    // Runs `action` on the firmware under the reader's lock (install commands, read state).
    void withFirmware(const std::function<void(Firmware&)>& action);
    ReaderState state() const;

  private:
    Bytes applyFault(Bytes answer);
    // Called with mutex_ held: catches the firmware up with a replug (a frame in progress is lost,
    // the reader powers up). False while unplugged.
    bool followPlug() const;
    bool takeUnplugAfterRequest();

    mutable std::mutex mutex_;
    std::unique_ptr<Firmware> firmware_;
    // Caught up with a replug also by the readers of the state, hence mutable.
    mutable Bytes pending_;
    Fault fault_ = Fault::none;
    int faultCount_ = -1;
    std::size_t keep_ = 0;
    Bytes replacement_;
    mutable std::uint64_t firmwareConnection_ = 0;  // the connection the firmware and pending_ are on

    // The cable has a lock of its own: a command handler, which runs under mutex_, may pull it.
    mutable std::mutex plugMutex_;
    bool plugged_ = true;
    bool unplugAfterRequest_ = false;
    std::uint64_t connection_ = 0;
};

}  // namespace rfsim
