// CPU card APDUs end to end on a simulated type-5 reader (VC family on a serial line, here a
// pseudo-terminal), with the service running in this process:
//   - one READ BINARY as command 311 over the WebSocket;
//   - the same APDU on the card stack alone (card object, ISO 14443-A layer, frames, serial
//     transport) over an identical reader, no session: the transport exchange time of that round
//     trip, so its ratio to the first is the service's share;
//   - a MAC-protected read whose key the client holds, the client answering every key request at
//     once, against the same read with the key sent along: the key provider's cost.
//   build/bin/cpu_apdu_bench --benchmark_repetitions=10 --benchmark_report_aggregates_only=true

#include <benchmark/benchmark.h>
#include <spdlog/spdlog.h>

#include <memory>

#include "card/cpu/cpu_cos_typea.hpp"
#include "card/cpu/des_crypt.hpp"
#include "card/iso14443a/rf_iso14443a.hpp"
#include "crypto/hex.hpp"
#include "crypto/providers.hpp"
#include "sim/card/cpu_card.hpp"
#include "sim/field/type_a_commands.hpp"
#include "sim_service.hpp"
#include "support/hex_bytes.hpp"

using nlohmann::json;

namespace {

const Bytes kUid = hexBytes("04112233445566");
const std::string kSmKey = "606162636465666768696A6B6C6D6E6F";
const Bytes kSelectApp = hexBytes("00A4040008F05246444F434B01");
const Bytes kReadFree = hexBytes("00B0810010");  // 16 bytes of the freely readable file

json readBinary(int p1, json safe = nullptr) {
    json request = {{"rfIdx", 0}, {"cla", 0}, {"ins", 0xB0},  {"p1", p1},
                    {"p2", 0},    {"le", 16}, {"lcData", ""}, {"incLe", true}};
    if (!safe.is_null()) request["safe"] = std::move(safe);
    return request;
}

json macKey(bool provider) {
    json key = {{"alg", 2}, {"param", provider ? "" : kSmKey}};
    if (provider) key["provider"] = true;
    return {{"enc", false}, {"mac", true}, {"key", key}};
}

// The service with one logged-in client, slot 0 on a type-5 reader, the application selected.
struct ServiceRig {
    ServiceRig() {
        spdlog::set_level(spdlog::level::warn);
        Orvane::loadCryptoProviders();
        service.readers.add(kReaderVcSerial);
        auto field = std::make_shared<rfsim::VirtualField>();
        rfsim::attachField(service.readers.reader(kReaderVcSerial), field);
        field->place(rfsim::makeCpuCard(kUid));
        client = std::make_unique<SimClient>(service);
        ok = service.ready() && client->loggedIn() &&
             client->call(100, {{"rfIdx", 0}, {"devType", kReaderVcSerial}}).value("err", -1) == 0 &&
             client->call(105, {{"rfIdx", 0}, {"open", true}}, std::chrono::seconds(30)).value("retval", 0) ==
                 1 &&
             client->call(300, {{"rfIdx", 0}, {"uid", Orvane::hexEncode(kUid)}}).value("retval", 0) == 1 &&
             client->call(310, {{"rfIdx", 0}, {"apdu", Orvane::hexEncode(kSelectApp)}}).value("retval", 0) ==
                 1;
    }

    // A 311 whose key requests the client answers at once, as a page holding the key would.
    json callAnsweringKeys(json request) {
        const std::string ack = client->send(311, std::move(request));
        while (auto message = client->next()) {
            if (!message->contains("imp")) {
                if ((*message)["ack"] == ack) return *message;
                continue;
            }
            auto data = Orvane::hexDecode((*message)["data"].get<std::string>()).value();
            const auto iv = Orvane::hexDecode((*message)["iv"].get<std::string>()).value_or(Bytes{});
            const std::uint16_t sw =
                Orvane::desCrypt(cipher, (*message)["type"].get<std::uint8_t>(), hexBytes(kSmKey),
                                 iv.size() == 8 ? iv.data() : nullptr, data);
            client->ws().sendText(json{
                {"imp", 0}, {"ack", (*message)["ack"]}, {"retval", sw}, {"data", Orvane::hexEncode(data)}}
                                      .dump());
        }
        return nullptr;
    }

    SimService service;
    std::unique_ptr<SimClient> client;
    Orvane::Cipher cipher;
    bool ok = false;
};

ServiceRig& serviceRig() {
    static ServiceRig instance;
    return instance;
}

// The card stack on its own reader of the same type: what one APDU costs below the session.
struct StackRig {
    StackRig() {
        RfReader::forgetLastGoodPorts();
        auto field = std::make_shared<rfsim::VirtualField>();
        rfsim::attachField(*sim.add(kReaderVcSerial).reader, field);
        field->place(rfsim::makeCpuCard(kUid));
        reader->setType(kReaderVcSerial);
        std::vector<std::uint8_t> response;
        ok = reader->open(false) && card.activate(kUid.data(), static_cast<int>(kUid.size())) &&
             card.rawApdu(kSelectApp, response);
    }

    SimReaders sim;
    std::shared_ptr<RfReader> reader = std::make_shared<RfReader>(sim.bus);
    Orvane::CpuCosTypeA card{std::make_shared<RfIso14443A>(reader)};
    bool ok = false;
};

StackRig& stackRig() {
    static StackRig instance;
    return instance;
}

void BM_Apdu311OverTheWebSocket(benchmark::State& state) {
    ServiceRig& r = serviceRig();
    if (!r.ok) return state.SkipWithError("service or reader did not come up");
    for (auto _ : state) {
        if (r.client->call(311, readBinary(0x81)).value("retval", 0) != 0x0090)
            return state.SkipWithError("the read failed");
    }
}

void BM_ApduOnTheCardStack(benchmark::State& state) {
    StackRig& r = stackRig();
    if (!r.ok) return state.SkipWithError("reader or card did not come up");
    std::vector<std::uint8_t> response;
    for (auto _ : state) {
        if (!r.card.rawApdu(kReadFree, response) || response.size() != 18)
            return state.SkipWithError("the read failed");
    }
}

void BM_MacReadKeySentAlong(benchmark::State& state) {
    ServiceRig& r = serviceRig();
    if (!r.ok) return state.SkipWithError("service or reader did not come up");
    for (auto _ : state) {
        if (r.client->call(311, readBinary(0x83, macKey(false))).value("retval", 0) != 0x0090)
            return state.SkipWithError("the read failed");
    }
}

void BM_MacReadKeyOnTheClient(benchmark::State& state) {
    ServiceRig& r = serviceRig();
    if (!r.ok) return state.SkipWithError("service or reader did not come up");
    for (auto _ : state) {
        if (r.callAnsweringKeys(readBinary(0x83, macKey(true))).value("retval", 0) != 0x0090)
            return state.SkipWithError("the read failed");
    }
}

}  // namespace

BENCHMARK(BM_Apdu311OverTheWebSocket)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_ApduOnTheCardStack)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_MacReadKeySentAlong)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_MacReadKeyOnTheClient)->Unit(benchmark::kMicrosecond)->UseRealTime();
