#pragma once
// A serial reader on a pseudo-terminal. The service opens portPath() as a serial port with real
// termios; the host thread plays the reader on the master side and answers only when the rate the
// service set on the line (read back from the pty's termios) is the rate the reader's UART runs
// at. Bytes sent at another rate are lost, as on a real line.
//
// portPath() is a symbolic link to the pseudo-terminal, in a folder of its own: the service
// remembers the port a reader was found on, and a replugged reader comes back on a new
// pseudo-terminal behind the same path, as a USB-serial adapter comes back as the same ttyUSB.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "sim/firmware/virtual_reader.hpp"

namespace rfsim {

// Answers the bytes heard on the line, at the rate the line is set to, in place of the reader's
// firmware (a reader played from a trace or by another process).
using LineResponder = std::function<Bytes(std::span<const std::uint8_t> bytes, std::uint32_t lineBaud)>;

class PtyReaderHost {
  public:
    // With `respond`, the reader's cable still decides whether the line is up, but every byte is
    // answered by `respond`, whatever the rate.
    explicit PtyReaderHost(std::shared_ptr<VirtualReader> reader, LineResponder respond = {});
    ~PtyReaderHost();
    PtyReaderHost(const PtyReaderHost&) = delete;
    PtyReaderHost& operator=(const PtyReaderHost&) = delete;

    // False when no pseudo-terminal could be set up.
    bool ok() const { return ok_; }
    const std::string& portPath() const { return portPath_; }
    VirtualReader& reader() { return *reader_; }

    // The rate the service's side of the line is set to, 0 when unknown or unplugged.
    std::uint32_t lineBaud() const;

    // Pulls the cable: the reader is unplugged, the host stops and the line hangs up, so the
    // service's reads and writes fail (EIO), and the port path is gone until plug(). The host also
    // hangs up by itself when the reader is unplugged some other way (an unplug in the middle of
    // an exchange).
    void unplug();
    // Plugs the cable back in: a new pseudo-terminal behind the same path and a reader just powered
    // up. A port the service opened before stays dead; it has to open the path again. False when
    // no pseudo-terminal could be set up.
    bool plug();

  private:
    bool openLine();
    void hangUp();
    // Starts the host thread on the reader's current connection; hangs up when it is unplugged.
    void start();
    void stop();
    void run();
    bool writeAll(const Bytes& bytes);

    Bytes answer(std::span<const std::uint8_t> bytes);

    std::shared_ptr<VirtualReader> reader_;
    LineResponder respond_;
    bool ok_ = false;
    std::string folder_;
    std::string portPath_;
    std::mutex controlMutex_;     // one unplug or plug at a time
    mutable std::mutex fdMutex_;  // the line's descriptors, changed by a hang-up on the host thread
    int master_ = -1;
    int slave_ = -1;  // held open so the master never sees a hang-up between service opens
    int wake_[2] = {-1, -1};
    std::uint64_t lineConnection_ = 0;  // the reader's connection the line belongs to
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace rfsim
