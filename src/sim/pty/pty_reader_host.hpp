#pragma once
// A serial reader on a pseudo-terminal. The service opens portPath() as a serial port with real
// termios; the host thread plays the reader on the master side and answers only when the rate the
// service set on the line (read back from the pty's termios) is the rate the reader's UART runs
// at. Bytes sent at another rate are lost, as on a real line.

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "sim/firmware/virtual_reader.hpp"

namespace rfsim {

class PtyReaderHost {
  public:
    explicit PtyReaderHost(std::shared_ptr<VirtualReader> reader);
    ~PtyReaderHost();
    PtyReaderHost(const PtyReaderHost&) = delete;
    PtyReaderHost& operator=(const PtyReaderHost&) = delete;

    // False when no pseudo-terminal could be set up.
    bool ok() const { return master_ >= 0; }
    const std::string& portPath() const { return portPath_; }
    VirtualReader& reader() { return *reader_; }

    // The rate the service's side of the line is set to, 0 when unknown.
    std::uint32_t lineBaud() const;

    // Pulls the cable: the host stops and the line hangs up, so the service's reads fail.
    void unplug();

  private:
    void run();
    void stop();
    bool writeAll(const Bytes& bytes);

    std::shared_ptr<VirtualReader> reader_;
    int master_ = -1;
    int slave_ = -1;  // held open so the master never sees a hang-up between service opens
    int wake_[2] = {-1, -1};
    std::string portPath_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace rfsim
