// Feeds arbitrary reader replies to the three frame families, both straight into the exchange
// routines and through the HID/USB transports as arbitrary reports. Any result is fine; what must
// not happen is a write past the caller's buffer, a read past the reply, a result outside the
// family's values, or a hang. Every input is also read as a reply head by each family's
// replyLength, whose answer must lie between the head and the largest frame.
//
// Input: byte 0 picks the path, byte 1 (for transports) a reply capacity; the rest is cut into
// reports, each a length byte followed by that many bytes (0xFF: the call fails).

#include <algorithm>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "reader/frame/iva_reader.hpp"
#include "reader/frame/ivc_tsm_reader.hpp"
#include "reader/frame/ivd_reader.hpp"
#include "reader/frame/va_opcodes.hpp"
#include "reader/frame/vc_opcodes.hpp"
#include "reader/frame/vd_opcodes.hpp"
#include "reader/transport/va_reader_hid.hpp"
#include "reader/transport/vb_reader_ch340.hpp"
#include "reader/transport/vc_reader_ch9326.hpp"
#include "reader/transport/vd_reader_hid.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace va_frame = Orvane::va_frame;
namespace vc_frame = Orvane::vc_frame;
namespace vd_frame = Orvane::vd_frame;

struct Script {
    std::deque<Bytes> reports;  // an empty Bytes with `failed` set is an error result
    std::deque<bool> failed;
    int failuresLeft = 3;  // a failing feature read costs the VD poll a millisecond: keep runs fast

    // The next report into `out`: its size, -1 for an error, 0 when the script has ended.
    int next(std::span<std::uint8_t> out, bool keepFirstByte) {
        if (reports.empty()) return 0;
        const Bytes bytes = std::move(reports.front());
        const bool fail = failed.front();
        reports.pop_front();
        failed.pop_front();
        if (fail) return failuresLeft-- > 0 ? -1 : 0;
        const std::size_t offset = keepFirstByte ? 1 : 0;
        const std::size_t n = std::min(bytes.size(), out.size() - offset);
        std::copy_n(bytes.begin(), n, out.begin() + static_cast<std::ptrdiff_t>(offset));
        return static_cast<int>(n + offset);
    }
};

class FuzzHid : public Orvane::HidDevice {
  public:
    explicit FuzzHid(Script& script) : script_(script) {}
    int write(std::span<const std::uint8_t> report) override { return static_cast<int>(report.size()); }
    int readTimeout(std::span<std::uint8_t> report, int) override { return script_.next(report, false); }
    int sendFeatureReport(std::span<const std::uint8_t> report) override {
        return static_cast<int>(report.size());
    }
    int getFeatureReport(std::span<std::uint8_t> report) override { return script_.next(report, true); }

  private:
    Script& script_;
};

class FuzzUsb : public Orvane::UsbDevice {
  public:
    explicit FuzzUsb(Script& script) : script_(script) {}
    int detachKernelDriver(int) override { return 0; }
    int attachKernelDriver(int) override { return 0; }
    int claimInterface(int) override { return 0; }
    int releaseInterface(int) override { return 0; }
    int bulkTransfer(std::uint8_t endpoint, std::span<std::uint8_t> data, int& transferred,
                     unsigned) override {
        transferred = static_cast<int>(data.size());
        if (!(endpoint & 0x80)) return 0;
        const int got = script_.next(data, false);
        transferred = std::max(got, 0);
        return got < 0 ? Orvane::usb_error::kIo : 0;
    }
    int controlTransfer(std::uint8_t, std::uint8_t, std::uint16_t, std::uint16_t, std::span<std::uint8_t>,
                        unsigned) override {
        return 0;
    }
    int resetDevice() override { return 0; }

  private:
    Script& script_;
};

class FuzzBus : public Orvane::DeviceBus {
  public:
    explicit FuzzBus(Script& script) : script_(script) {}
    std::unique_ptr<Orvane::HidDevice> openHid(std::uint16_t, std::uint16_t) override {
        return std::make_unique<FuzzHid>(script_);
    }
    std::unique_ptr<Orvane::UsbDevice> openUsb(std::uint16_t, std::uint16_t) override {
        return std::make_unique<FuzzUsb>(script_);
    }
    std::unique_ptr<Orvane::HidDevice> wrapHid(std::intptr_t, int) override { return nullptr; }
    std::unique_ptr<Orvane::UsbDevice> wrapUsb(std::intptr_t) override { return nullptr; }
    std::vector<serial::PortInfo> listSerialPorts() override { return {}; }

  private:
    Script& script_;
};

Script parseScript(std::span<const std::uint8_t> bytes) {
    Script script;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::uint8_t length = bytes[i++];
        const bool fail = length == 0xFF;
        const std::size_t n = fail ? 0 : std::min<std::size_t>(length, bytes.size() - i);
        script.reports.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(i),
                                    bytes.begin() + static_cast<std::ptrdiff_t>(i + n));
        script.failed.push_back(fail);
        i += n;
    }
    return script;
}

// A transport that answers with the input itself, bounded by the capacity as transports are.
template <typename Family>
class Replay final : public Family {
  public:
    explicit Replay(std::span<const std::uint8_t> reply) : reply_(reply) {}
    int transceive(std::uint8_t* buf, int, int maxLen) override {
        const std::size_t n = std::min(reply_.size(), static_cast<std::size_t>(maxLen));
        std::copy_n(reply_.begin(), n, buf);
        return static_cast<int>(n);
    }

  private:
    std::span<const std::uint8_t> reply_;
};

void require(bool condition) {
    if (!condition) __builtin_trap();
}

// A head shorter than the family's gives no length; any other gives one from the head's size up to
// the family's frame capacity.
void checkReplyLength(std::span<const std::uint8_t> head,
                      std::optional<std::size_t> (*replyLength)(std::span<const std::uint8_t>),
                      std::size_t headBytes, std::size_t capacity) {
    const auto length = replyLength(head);
    require(length.has_value() == (head.size() >= headBytes));
    if (length) require(*length >= headBytes && *length <= capacity);
}

void checkReplyLengths(std::span<const std::uint8_t> head) {
    checkReplyLength(head, va_frame::replyLength, va_frame::kReplyHead, va_frame::kCapacity);
    checkReplyLength(head, vc_frame::replyLength, vc_frame::kReplyHead, vc_frame::kCapacity);
    checkReplyLength(head, vd_frame::replyLength, vd_frame::kReplyHead, vd_frame::kCapacity);
}

// Results are 0..255 or -1..-3; a success exposes reply data inside the frame buffer.
template <typename Family>
void checkResult(Family& family, int result, std::size_t capacity, std::size_t dataOffset) {
    require(result >= -3 && result <= 255);
    if (result != 0) return;
    const auto data = family.replyData();
    require(dataOffset + data.size() <= capacity);
    volatile std::uint8_t sink = 0;
    for (const std::uint8_t byte : data)
        sink = sink ^ byte;  // reads stay inside the buffer
}

// Calls transceive with a heap buffer of exactly maxLen bytes, so a write beyond it is caught.
template <typename Transport>
void transceiveExact(Transport& transport, int maxLen, int requestLength) {
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(maxLen), 0x10);
    const int result = transport.transceive(buffer.data(), std::min(requestLength, maxLen), maxLen);
    require(result <= maxLen);
}

template <typename Transport, typename Exchange>
void throughTransport(std::span<const std::uint8_t> rest, int maxLen, int minMaxLen, Exchange exchange) {
    Script script = parseScript(rest);
    Script copy = script;
    FuzzBus bus(script);
    auto transport = std::make_unique<Transport>(bus);
    transport->connectDevice();
    exchange(*transport);
    script = copy;
    transceiveExact(*transport, std::max(maxLen, minMaxLen), 8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    checkReplyLengths(input);
    if (size < 2) return 0;
    checkReplyLengths(input.subspan(1));  // the reply of the direct paths
    const std::span<const std::uint8_t> rest = input.subspan(2);
    const int maxLen = 6 + input[1] * 2;

    switch (input[0] % 7) {
        case 0: {
            auto va = std::make_unique<Replay<Orvane::IVAReader>>(input.subspan(1));
            checkResult(*va, va->exchange(Orvane::va::kIdentify), Orvane::va_frame::kCapacity, 4);
            break;
        }
        case 1: {
            auto vc = std::make_unique<Replay<Orvane::IVCTsmReader>>(input.subspan(1));
            checkResult(*vc, vc->exchange(Orvane::vc::kIdentify), Orvane::vc_frame::kCapacity, 8);
            break;
        }
        case 2: {
            auto vd = std::make_unique<Replay<Orvane::IVDReader>>(input.subspan(1));
            checkResult(
                *vd,
                vd->exchange(Orvane::vd::kIdentify, Orvane::vd::kReaderParams, Orvane::vd::kIdentifyData),
                Orvane::vd_frame::kCapacity, 4);
            break;
        }
        case 3:
            throughTransport<Orvane::VAReaderHid>(rest, maxLen, 65, [](auto& t) {
                checkResult(t, t.exchange(Orvane::va::kIdentify), Orvane::va_frame::kCapacity, 4);
            });
            break;
        case 4:
            throughTransport<Orvane::VCReaderCH9326>(rest, maxLen, 33, [](auto& t) {
                checkResult(t, t.exchange(Orvane::vc::kIdentify), Orvane::vc_frame::kCapacity, 8);
            });
            break;
        case 5:
            throughTransport<Orvane::VDReaderHid>(rest, maxLen, 255, [](auto& t) {
                checkResult(
                    t,
                    t.exchange(Orvane::vd::kIdentify, Orvane::vd::kReaderParams, Orvane::vd::kIdentifyData),
                    Orvane::vd_frame::kCapacity, 4);
            });
            break;
        case 6:
            throughTransport<Orvane::VBReaderCH340>(rest, maxLen, 6, [](auto& t) {
                checkResult(t, t.exchange(Orvane::va::kIdentify), Orvane::va_frame::kCapacity, 4);
            });
            break;
    }
    return 0;
}
