#pragma once
// The serial side both serial transports share: the readers' timeouts, port parking, and the
// exchange that writes a request, reads a fixed head and then the rest its length field announces.
// Serial-layer exceptions end the step they come from; none leaves this class.

#include <cstddef>
#include <cstdint>
#include <string>

#include "reader/device/device_loss.hpp"
#include "reader/device/serial_port.hpp"
#include "reader/transport/reply_collector.hpp"

namespace Orvane {

class SerialReaderPort : public SerialPort, public DeviceLoss {
  public:
    // 1 ms between bytes, 200 ms for a read or a write.
    static constexpr serial::Timeout kReaderTimeout{1, 200, 0, 200, 0};

    // A parked port was found and closed again: each exchange opens it before and closes it after.
    bool parkedPort() const { return parkedPort_; }
    void setParkedPort(bool parked) { parkedPort_ = parked; }

    // Marks the port as this reader's while it is connected, so that searches for other readers
    // leave it alone (held_serial_ports); let go on release and with this object.
    void holdPort();
    void releasePort();
    // Another connected reader of this process works on `path`.
    bool portHeldElsewhere(const std::string& path) const;

    // Bytes read from the port so far: a handshake that failed tells by it whether anything came
    // back at all.
    std::size_t bytesReceived() const { return bytesReceived_; }

  protected:
    // `firstRead` bytes are read before the rest: at least the family's reply head.
    SerialReaderPort(ReplyLength replyLength, int firstRead, int readerType);
    ~SerialReaderPort();

    // Returns the bytes read, 0 when the request could not be written whole, -1 when nothing could
    // be sent (also for maxLen below the first read).
    int transceiveFramed(std::uint8_t* buf, int len, int maxLen);

  private:
    // Runs one serial-layer step; false when it threw. An error of a port whose device has gone
    // (EIO, ENXIO, ENODEV, a vanished node, a hang-up) is noted as the device lost.
    template <typename Step>
    bool attempt(Step&& step);
    int writeThenRead(std::uint8_t* buf, int len, int maxLen);
    std::size_t readSome(std::uint8_t* buffer, std::size_t size);

    ReplyLength replyLength_;
    int firstRead_;
    bool parkedPort_ = false;
    std::size_t bytesReceived_ = 0;
};

}  // namespace Orvane
