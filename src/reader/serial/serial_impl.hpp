#pragma once
// The termios side of serial::Serial.

#include <cstdint>
#include <mutex>
#include <string>

#include "reader/serial/serial.hpp"

namespace serial {

class Serial::SerialImpl {
  public:
    SerialImpl(const std::string& port, std::uint32_t baudrate, ByteSize bytesize, Parity parity,
               StopBits stopbits, FlowControl flowcontrol);
    ~SerialImpl();

    void open();
    void close();
    bool isOpen() const { return isOpen_; }

    void setPort(const std::string& port) { port_ = port; }
    const std::string& port() const { return port_; }

    void setBaudrate(std::uint32_t baudrate);
    std::uint32_t baudrate() const { return baudrate_; }
    void setBytesize(ByteSize bytesize);
    void setParity(Parity parity);
    void setStopbits(StopBits stopbits);
    void setFlowcontrol(FlowControl flowcontrol);
    void setTimeout(const Timeout& timeout) { timeout_ = timeout; }
    const Timeout& timeout() const { return timeout_; }
    std::uint32_t byteTimeNs() const { return byteTimeNs_; }

    void flush();
    void flushInput();
    void flushOutput();

    std::size_t read(std::uint8_t* buffer, std::size_t size);
    std::size_t write(const std::uint8_t* data, std::size_t length);

    std::mutex readMutex;
    std::mutex writeMutex;

  private:
    template <typename T>
    void applySetting(T& setting, T value);
    void reconfigurePort();
    void setCustomBaudrate();
    void updateByteTime();

    std::string port_;
    int fd_ = -1;
    bool isOpen_ = false;
    std::uint32_t baudrate_;
    ByteSize bytesize_;
    Parity parity_;
    StopBits stopbits_;
    FlowControl flowcontrol_;
    Timeout timeout_;
    std::uint32_t byteTimeNs_ = 0;
};

}  // namespace serial
