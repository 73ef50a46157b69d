// Frame building and checking per family, against the simulator's plain loops as the baseline, and
// one identify round trip through a pseudo-terminal.
//   build/bin/frames_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "reader/frame/check_sums.hpp"
#include "reader/frame/va_frame.hpp"
#include "reader/frame/vc_frame.hpp"
#include "reader/frame/vd_frame.hpp"
#include "reader/transport/vb_reader_serial.hpp"
#include "reader/transport/vc_reader_serial.hpp"
#include "sim/firmware/check_bytes.hpp"
#include "sim/firmware/va_firmware.hpp"
#include "sim/firmware/vc_firmware.hpp"
#include "sim/firmware/vd_firmware.hpp"
#include "sim/pty/pty_reader_host.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes payload(std::size_t n) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 31 + 7);
    return bytes;
}

// A sound reply of each family with `n` data bytes, built by the simulated firmware.
Bytes vaReply(std::size_t n) {
    rfsim::VaFirmware firmware({std::string(n, 'x'), 0});
    Bytes request(6);
    request[3] = 0x10;
    Orvane::va_frame::sealRequest(request, 0);
    return firmware.answer(request);
}

Bytes vcReply(std::size_t n) {
    Bytes reply{0xAA, 0x55, 0, 0, static_cast<std::uint8_t>((n + 1) >> 8), static_cast<std::uint8_t>(n + 1),
                0x16, 0};
    const Bytes data = payload(n);
    reply.insert(reply.end(), data.begin(), data.end());
    reply.push_back(Orvane::check_sums::sum8(std::span(reply).subspan(2)));
    return reply;
}

Bytes vdReply(std::size_t n) {
    Bytes reply{0x55, 0, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)};
    const Bytes data = payload(n);
    reply.insert(reply.end(), data.begin(), data.end());
    const auto [c1, c2] = Orvane::vd_frame::checkBytes(reply);
    reply.push_back(c1);
    reply.push_back(c2);
    return reply;
}

void BM_VaBuild(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    Bytes frame(Orvane::va_frame::kCapacity);
    const Bytes data = payload(n);
    std::copy(data.begin(), data.end(), frame.begin() + 4);
    for (auto _ : state) {
        frame[3] = 0x10;
        benchmark::DoNotOptimize(Orvane::va_frame::sealRequest(frame, n));
    }
}
BENCHMARK(BM_VaBuild)->Arg(0)->Arg(16)->Arg(254);

void BM_VaCheck(benchmark::State& state) {
    const Bytes reply = vaReply(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(Orvane::va_frame::checkReply(reply));
}
BENCHMARK(BM_VaCheck)->Arg(0)->Arg(16)->Arg(254);

// Baseline: the simulator's bit-by-bit CRC over the same bytes as a 254-byte check.
void BM_BaselineCrcBitwise(benchmark::State& state) {
    const Bytes reply = vaReply(254);
    for (auto _ : state)
        benchmark::DoNotOptimize(rfsim::check_bytes::crcCcitt(std::span(reply).subspan(2, reply.size() - 4)));
}
BENCHMARK(BM_BaselineCrcBitwise);

void BM_VcBuild(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    auto frame = std::make_unique<Bytes>(Orvane::vc_frame::kCapacity);
    for (auto _ : state)
        benchmark::DoNotOptimize(Orvane::vc_frame::sealRequest(*frame, static_cast<std::uint16_t>(n), 0));
}
BENCHMARK(BM_VcBuild)->Arg(0)->Arg(16)->Arg(4096);

void BM_VcCheck(benchmark::State& state) {
    const Bytes reply = vcReply(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(Orvane::vc_frame::checkReply(reply, 0x16));
}
BENCHMARK(BM_VcCheck)->Arg(0)->Arg(16)->Arg(4096);

// Baseline: a plain byte loop for the 4 KiB VC sum.
void BM_BaselineSumLoop(benchmark::State& state) {
    const Bytes reply = vcReply(4096);
    for (auto _ : state)
        benchmark::DoNotOptimize(rfsim::check_bytes::additive(std::span(reply).subspan(2, reply.size() - 3)));
}
BENCHMARK(BM_BaselineSumLoop);

void BM_VdBuild(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    auto frame = std::make_unique<Bytes>(Orvane::vd_frame::kCapacity + 3);
    (*frame)[1] = 0xB0;
    for (auto _ : state)
        benchmark::DoNotOptimize(Orvane::vd_frame::sealRequest(*frame, n));
}
BENCHMARK(BM_VdBuild)->Arg(2)->Arg(16)->Arg(4096);

void BM_VdCheck(benchmark::State& state) {
    const Bytes reply = vdReply(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(Orvane::vd_frame::checkReply(reply));
}
BENCHMARK(BM_VdCheck)->Arg(0)->Arg(16)->Arg(4096);

// Baseline: the simulator's plain loop for the 4 KiB VD check bytes.
void BM_BaselineVdPairLoop(benchmark::State& state) {
    const Bytes reply = vdReply(4096);
    for (auto _ : state)
        benchmark::DoNotOptimize(rfsim::check_bytes::vdPair(std::span(reply).first(reply.size() - 2)));
}
BENCHMARK(BM_BaselineVdPairLoop);

// One identify through the real serial transport, a pseudo-terminal and the simulated firmware.
template <typename Transport, typename Firmware>
void identifyRoundTrip(benchmark::State& state, typename Firmware::Options options, std::uint32_t baud,
                       std::uint8_t command) {
    auto reader = std::make_shared<rfsim::VirtualReader>(std::make_unique<Firmware>(options));
    rfsim::PtyReaderHost host(reader);
    auto transport = std::make_unique<Transport>();
    transport->port().setPort(host.portPath());
    transport->port().setBaudrate(baud);
    transport->port().open();
    for (auto _ : state) {
        if (transport->exchange(command) != 0) {
            state.SkipWithError("identify failed");
            break;
        }
    }
}

void BM_IdentifyRoundTripVbSerial(benchmark::State& state) {
    identifyRoundTrip<Orvane::VBReaderSerial, rfsim::VaFirmware>(state, {"QX13 Zorla RF reader V2.1", 57600},
                                                                 57600, 0x10);
}
BENCHMARK(BM_IdentifyRoundTripVbSerial)->UseRealTime();

void BM_IdentifyRoundTripVcSerial(benchmark::State& state) {
    identifyRoundTrip<Orvane::VCReaderSerial, rfsim::VcFirmware>(state, {{0x01, 0x25}, 115200}, 115200, 0x16);
}
BENCHMARK(BM_IdentifyRoundTripVcSerial)->UseRealTime();

}  // namespace
