// Reading a whole Mifare Classic 1K card end to end: 16 commands 207 (one per sector, Key A) over
// a WebSocket to the service running in this process, through a simulated type-4 (VA HID) reader
// with the card in its field. The reader link times every exchange in the same run, so the report
// shows how much of a card read is spent outside the transport exchanges (JSON, WebSocket, session,
// card logic). Baseline: 16 commands 210, which never reach the reader.
//   build/bin/mifare_read_bench --benchmark_repetitions=10 --benchmark_report_aggregates_only=true

#include <benchmark/benchmark.h>
#include <spdlog/spdlog.h>

#include <chrono>
#include <memory>

#include "sim/bus/usb_readers.hpp"
#include "sim/card/mifare_classic_card.hpp"
#include "sim/field/type_a_commands.hpp"
#include "sim/firmware/va_firmware.hpp"
#include "sim_service.hpp"

using nlohmann::json;
using Clock = std::chrono::steady_clock;

namespace {

// A VA HID reader whose link measures the exchanges: an exchange runs from its first output report
// to the last input report read before the next output report.
class TimedVaHidDevice : public rfsim::VaHidDevice {
  public:
    using VaHidDevice::VaHidDevice;

    int hidWrite(std::span<const std::uint8_t> report) override {
        const auto now = Clock::now();
        if (reading_) closeExchange();
        if (!writing_) start_ = now;
        writing_ = true;
        return VaHidDevice::hidWrite(report);
    }
    int hidRead(std::span<std::uint8_t> report) override {
        const int result = VaHidDevice::hidRead(report);
        writing_ = false;
        reading_ = true;
        lastRead_ = Clock::now();
        return result;
    }

    // Time in exchanges since the last call, and how many there were.
    std::pair<Clock::duration, int> take() {
        if (reading_) closeExchange();
        const auto result = std::pair(total_, count_);
        total_ = {};
        count_ = 0;
        return result;
    }

  private:
    void closeExchange() {
        total_ += lastRead_ - start_;
        ++count_;
        reading_ = false;
    }

    bool writing_ = false;
    bool reading_ = false;
    Clock::time_point start_, lastRead_;
    Clock::duration total_{};
    int count_ = 0;
};

// The service, one logged-in client with reader slot 0 open on the timed reader, a 1K card selected.
struct Rig {
    Rig() {
        spdlog::set_level(spdlog::level::warn);
        auto reader = std::make_shared<rfsim::VirtualReader>(std::make_unique<rfsim::VaFirmware>());
        device = std::make_shared<TimedVaHidDevice>(reader);
        service.readers.bus.attach(device);
        auto field = std::make_shared<rfsim::VirtualField>();
        rfsim::attachField(*reader, field);
        field->place(rfsim::makeMifare1K({0x01, 0x02, 0x03, 0x04}));
        client = std::make_unique<SimClient>(service);
        ok = service.ready() && client->loggedIn() &&
             client->call(100, {{"rfIdx", 0}, {"devType", 4}}).value("err", -1) == 0 &&
             client->call(105, {{"rfIdx", 0}, {"open", true}}).value("retval", 0) == 1 &&
             client->call(201, {{"rfIdx", 0}, {"uid", "01020304"}}).value("retval", false);
    }

    SimService service;
    std::shared_ptr<TimedVaHidDevice> device;
    std::unique_ptr<SimClient> client;
    bool ok = false;
};

Rig& rig() {
    static Rig instance;
    return instance;
}

json readSector(int sector) {
    return {{"rfIdx", 0}, {"reSelect", true}, {"sector", sector}, {"pwd", "FFFFFFFFFFFF"},
            {"pos", 0},   {"num", 0},         {"keyB", false},    {"fill", false}};
}

void BM_ReadWhole1KCard(benchmark::State& state) {
    Rig& r = rig();
    if (!r.ok) {
        state.SkipWithError("service or reader did not come up");
        return;
    }
    r.device->take();
    Clock::duration elapsed{}, exchanges{};
    int exchangeCount = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        for (int sector = 0; sector < 16; ++sector) {
            if (r.client->call(207, readSector(sector)).value("retval", 0) != 64) {
                state.SkipWithError("a sector read failed");
                return;
            }
        }
        elapsed += Clock::now() - start;
        const auto [time, count] = r.device->take();
        exchanges += time;
        exchangeCount += count;
    }
    const double elapsedUs = std::chrono::duration<double, std::micro>(elapsed).count();
    const double exchangeUs = std::chrono::duration<double, std::micro>(exchanges).count();
    state.counters["exchange_us"] = benchmark::Counter(exchangeUs, benchmark::Counter::kAvgIterations);
    state.counters["exchanges"] = benchmark::Counter(exchangeCount, benchmark::Counter::kAvgIterations);
    state.counters["outside_share"] = elapsedUs > 0 ? 1.0 - exchangeUs / elapsedUs : 0.0;
}

// Baseline: the same number of round trips with a command that stays in the service.
void BM_SixteenCommandsWithoutReader(benchmark::State& state) {
    Rig& r = rig();
    if (!r.ok) {
        state.SkipWithError("service or reader did not come up");
        return;
    }
    for (auto _ : state) {
        for (int i = 0; i < 16; ++i)
            benchmark::DoNotOptimize(r.client->call(210, {{"rfIdx", 0}, {"power", "FF078069"}}));
    }
}

}  // namespace

BENCHMARK(BM_ReadWhole1KCard)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SixteenCommandsWithoutReader)->Unit(benchmark::kMillisecond)->UseRealTime();
