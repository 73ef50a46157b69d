#include "reader/device/usb.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>

#include "reader/device/ch340.hpp"

namespace Orvane {
namespace {

// Full-speed bulk packets; a per-packet header sits at the start of each.
constexpr int kPacketSize = 64;

bool isInEndpoint(std::uint8_t endpoint) {
    return (endpoint & 0x80) != 0;
}

}  // namespace

bool Usb::open(int sysDevice, int interfaceNumber) {
    if (device_) return true;
    device_ = bus_.wrapUsb(sysDevice);
    if (!device_) return false;
    if (interfaceNumber >= 0 && claimInterface(interfaceNumber) != 0) {
        device_.reset();
        return false;
    }
    return true;
}

bool Usb::openDevice(std::uint16_t vendorId, std::uint16_t productId) {
    if (!device_) device_ = bus_.openUsb(vendorId, productId);
    return device_ != nullptr;
}

void Usb::close() {
    for (int& n : claimed_) {
        if (n < 0) continue;
        if (device_) {
            device_->releaseInterface(n);
            device_->attachKernelDriver(n);
        }
        n = -1;
    }
    device_.reset();
    continuationMs_ = 0;
    headerLength_ = 0;
    forgetLoss();
}

int Usb::noted(int result) {
    noteResult(result == usb_error::kNoDevice);
    return result;
}

int Usb::claimInterface(int n) {
    if (n < 0 || n >= kMaxInterfaces || !device_) return kNoHandle;
    if (std::find(claimed_.begin(), claimed_.end(), n) != claimed_.end()) return 0;
    device_->detachKernelDriver(n);  // there may be no kernel driver bound
    const int result = device_->claimInterface(n);
    if (result != 0) return result;
    const auto free = std::find(claimed_.begin(), claimed_.end(), -1);
    if (free != claimed_.end()) *free = n;
    return 0;
}

int Usb::bulkWrite(std::uint8_t endpoint, const std::uint8_t* data, int length, unsigned timeoutMs) {
    if (!device_) return kNoHandle;
    if (!data || length < 0) return usb_error::kInvalidParam;
    int transferred = 0;
    // An OUT transfer only reads the buffer.
    const int result = noted(
        device_->bulkTransfer(endpoint, {const_cast<std::uint8_t*>(data), static_cast<std::size_t>(length)},
                              transferred, timeoutMs));
    return result < 0 ? result : std::clamp(transferred, 0, length);
}

int Usb::bulkRead(std::uint8_t endpoint, std::uint8_t* buffer, int length, unsigned timeoutMs) {
    if (!device_) return kNoHandle;
    if (!buffer || length < 0) return usb_error::kInvalidParam;
    int transferred = 0;
    const int result = noted(
        device_->bulkTransfer(endpoint, {buffer, static_cast<std::size_t>(length)}, transferred, timeoutMs));
    if (result < 0) return result;
    transferred = std::clamp(transferred, 0, length);
    if (!isInEndpoint(endpoint) || continuationMs_ == 0) return transferred;
    return bulkReadMore(endpoint, buffer, length, stripHeaders(buffer, transferred), timeoutMs);
}

int Usb::bulkReadMore(std::uint8_t endpoint, std::uint8_t* buffer, int length, int held, unsigned timeoutMs) {
    const auto pause = std::chrono::milliseconds(continuationMs_);
    // A device that keeps sending header-only packets would never time out: the continuation
    // rounds end at the caller's timeout at the latest.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    if (held == 0) std::this_thread::sleep_for(pause);
    // One packet at a time through a scratch buffer: its header bytes need room the caller's
    // buffer does not reserve.
    std::array<std::uint8_t, kPacketSize> packet{};
    while (held < length && std::chrono::steady_clock::now() < deadline) {
        int got = 0;
        const int result =
            noted(device_->bulkTransfer(endpoint, packet, got, static_cast<unsigned>(continuationMs_)));
        if (result < 0 && result != usb_error::kTimeout) return result;
        const int data =
            std::min(stripHeaders(packet.data(), std::clamp(got, 0, kPacketSize)), length - held);
        std::copy_n(packet.begin(), data, buffer + held);
        held += data;
        if (result == usb_error::kTimeout) break;
        if (data == 0) std::this_thread::sleep_for(pause);
    }
    return held;
}

// Removes the header bytes at the start of every packet, in place; returns the data count.
int Usb::stripHeaders(std::uint8_t* data, int count) const {
    if (headerLength_ <= 0) return count;
    int kept = 0;
    for (int packet = 0; packet < count; packet += kPacketSize) {
        const int end = std::min(packet + kPacketSize, count);
        const int start = std::min(packet + headerLength_, end);
        std::copy(data + start, data + end, data + kept);
        kept += end - start;
    }
    return kept;
}

int Usb::setCh340Baud(std::uint32_t baud, int continuationMs) {
    const auto index = ch340::baudIndex(baud);
    if (!index) return -2;
    if (!device_) return kNoHandle;
    const int result =
        noted(device_->controlTransfer(ch340::kRequestType, ch340::kWriteRegisters, ch340::kBaudRegisters,
                                       *index, {}, ch340::kControlTimeoutMs));
    continuationMs_ = continuationMs;
    headerLength_ = 0;
    return result < 0 ? result : 0;
}

int Usb::resetDevice() {
    return device_ ? noted(device_->resetDevice()) : kNoHandle;
}

void Usb::setContinuation(int timeoutMs, int headerLength) {
    continuationMs_ = std::max(timeoutMs, 0);
    headerLength_ = std::clamp(headerLength, 0, kPacketSize - 1);
}

}  // namespace Orvane
