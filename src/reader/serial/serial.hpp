#pragma once
// A serial port on termios with the timeout model the readers rely on: a read or write waits until
// its deadline (constant + multiplier x byte count) and returns what it got by then; between two
// bytes a read waits at most the inter-byte timeout before checking the deadline again.
//
// Failures are exceptions (serial_errors.hpp), std::invalid_argument for bad settings.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "reader/serial/serial_errors.hpp"

namespace serial {

enum class ByteSize : std::uint8_t { five = 5, six = 6, seven = 7, eight = 8 };
// The numeric values are the parity and stop-bit codes of the byte-time formula.
enum class Parity : std::uint8_t { none = 0, odd = 1, even = 2, mark = 3, space = 4 };
enum class StopBits : std::uint8_t { one = 1, two = 2, onePointFive = 3 };
enum class FlowControl : std::uint8_t { none, software, hardware };

// Milliseconds, in this order.
struct Timeout {
    std::uint32_t interByte = 0;
    std::uint32_t readConstant = 0;
    std::uint32_t readMultiplier = 0;
    std::uint32_t writeConstant = 0;
    std::uint32_t writeMultiplier = 0;

    bool operator==(const Timeout&) const = default;
};

// One operation on a port as it went, for an observer such as a device trace.
struct PortEvent {
    enum class Kind { open, close, baud, write, read };
    Kind kind = Kind::open;
    std::string port;
    std::span<const std::uint8_t> bytes;  // written, or read
    std::size_t size = 0;                 // bytes asked to read
    std::uint32_t baud = 0;               // the rate set, or opened at
    long result = 0;                      // bytes moved, 0 for settings, -1 when the operation threw
};

// Sees every open, close, rate change, write and read of a port, on the thread that did it and
// after it was done. It must not throw: what it does never changes the operation.
class PortWatcher {
  public:
    virtual ~PortWatcher() = default;
    virtual void seen(const PortEvent& event) noexcept = 0;
};

class Serial {
  public:
    class SerialImpl;

    // Opens the port at once only when a name is given.
    explicit Serial(const std::string& port = "", std::uint32_t baudrate = 9600, Timeout timeout = {},
                    ByteSize bytesize = ByteSize::eight, Parity parity = Parity::none,
                    StopBits stopbits = StopBits::one, FlowControl flowcontrol = FlowControl::none);
    ~Serial();
    Serial(const Serial&) = delete;
    Serial& operator=(const Serial&) = delete;

    void open();
    void close();
    bool isOpen() const;

    // An open port is closed, renamed and opened again.
    void setPort(const std::string& port);
    std::string getPort() const;

    // Settings are applied at once to an open port.
    void setBaudrate(std::uint32_t baudrate);
    std::uint32_t getBaudrate() const;
    void setBytesize(ByteSize bytesize);
    void setParity(Parity parity);
    void setStopbits(StopBits stopbits);
    void setFlowcontrol(FlowControl flowcontrol);
    void setTimeout(const Timeout& timeout);
    Timeout getTimeout() const;
    // Time of one character on the line with the current settings.
    std::uint32_t byteTimeNs() const;

    void flush();        // wait until all output has been sent
    void flushInput();   // discard received, unread bytes
    void flushOutput();  // discard written, unsent bytes

    std::size_t read(std::uint8_t* buffer, std::size_t size);
    std::size_t write(const std::uint8_t* data, std::size_t length);

    // Set before the port is shared with other threads; null for none.
    void setWatcher(std::shared_ptr<PortWatcher> watcher) { watcher_ = std::move(watcher); }

  private:
    void tell(PortEvent::Kind kind, long result, std::span<const std::uint8_t> bytes = {},
              std::size_t size = 0) const;

    std::unique_ptr<SerialImpl> impl_;
    std::shared_ptr<PortWatcher> watcher_;
};

}  // namespace serial
