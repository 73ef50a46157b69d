#pragma once
// A pcscd stand-in for unit tests: a list of readers, a card on the first one answering APDUs
// through a function, scripted results for the calls a test makes fail, every APDU sent kept.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "reader/bus/device_bus.hpp"
#include "reader/pcsc/pcsc_api.hpp"
#include "support/hex_bytes.hpp"

class FakePcsc : public Orvane::pcsc::PcscApi {
  public:
    using Result = Orvane::pcsc::Result;

    std::vector<std::string> readerNames{"ACME CL Reader 00 00", "ACME CL Reader 01 00"};
    Bytes atr = hexBytes("3B8F8001804F0CA000000306030001000000006A");
    bool cardPresent = true;
    std::uint32_t insertions = 1;  // pcsc-lite's event counter in the upper half of the state
    // The card's answer to an APDU (status word included).
    std::function<Bytes(const Bytes&)> card = [](const Bytes&) { return hexBytes("9000"); };
    // Results to give instead of success, per call name ("establish", "list", "connect",
    // "transmit", "status", "wait"), first in first out.
    std::map<std::string, std::deque<Result>> failures;
    // Reader states getStatusChange reports on the watch, one per call; empty: the card state now.
    std::deque<std::uint32_t> waitEvents;
    std::vector<Bytes> sent;
    int cancels = 0;
    int contexts = 0;

    std::uint32_t stateNow() const {
        return (insertions << 16) |
               (cardPresent ? Orvane::pcsc::state::kPresent : Orvane::pcsc::state::kEmpty);
    }

    Result establishContext(Orvane::pcsc::Context& context) override {
        if (const Result r = next("establish")) return r;
        context = ++contexts;
        return 0;
    }
    Result releaseContext(Orvane::pcsc::Context) override { return 0; }
    Result listReaders(Orvane::pcsc::Context, std::vector<std::string>& readers) override {
        if (const Result r = next("list")) return r;
        readers = readerNames;
        return readers.empty() ? Orvane::pcsc::kNoReadersAvailable : 0;
    }
    Result connect(Orvane::pcsc::Context, const std::string&, Orvane::pcsc::Card& handle,
                   Orvane::pcsc::Protocol& protocol) override {
        if (const Result r = next("connect")) return r;
        if (!cardPresent) return Orvane::pcsc::kNoSmartcard;
        handle = 77;
        protocol = Orvane::pcsc::Protocol::t1;
        return 0;
    }
    Result disconnect(Orvane::pcsc::Card, bool) override { return 0; }
    Result status(Orvane::pcsc::Card, std::vector<std::uint8_t>& out) override {
        if (const Result r = next("status")) return r;
        if (!cardPresent) return Orvane::pcsc::kRemovedCard;
        out = atr;
        return 0;
    }
    Result transmit(Orvane::pcsc::Card, Orvane::pcsc::Protocol, std::span<const std::uint8_t> command,
                    std::vector<std::uint8_t>& response) override {
        sent.emplace_back(command.begin(), command.end());
        if (const Result r = next("transmit")) return r;
        response = card(sent.back());
        return 0;
    }
    Result getStatusChange(Orvane::pcsc::Context, std::uint32_t,
                           std::span<Orvane::pcsc::ReaderState> readers) override {
        if (const Result r = next("wait")) return r;
        for (auto& reader : readers) {
            if (reader.current != Orvane::pcsc::state::kUnaware && !waitEvents.empty()) {
                reader.event = waitEvents.front();
                waitEvents.pop_front();
            } else {
                reader.event = stateNow();
            }
        }
        return 0;
    }
    Result cancel(Orvane::pcsc::Context) override {
        ++cancels;
        return 0;
    }

  private:
    Result next(const std::string& call) {
        auto& queue = failures[call];
        if (queue.empty()) return 0;
        const Result r = queue.front();
        queue.pop_front();
        return r;
    }
};

// A device bus with no USB or serial devices and `pcsc` as its PC/SC service.
class PcscOnlyBus : public Orvane::DeviceBus {
  public:
    explicit PcscOnlyBus(Orvane::pcsc::PcscApi& pcsc) : pcsc_(pcsc) {}
    std::unique_ptr<Orvane::HidDevice> openHid(std::uint16_t, std::uint16_t) override { return nullptr; }
    std::unique_ptr<Orvane::UsbDevice> openUsb(std::uint16_t, std::uint16_t) override { return nullptr; }
    std::unique_ptr<Orvane::HidDevice> wrapHid(std::intptr_t, int) override { return nullptr; }
    std::unique_ptr<Orvane::UsbDevice> wrapUsb(std::intptr_t) override { return nullptr; }
    std::vector<serial::PortInfo> listSerialPorts() override { return {}; }
    Orvane::pcsc::PcscApi* pcscApi() override { return &pcsc_; }

  private:
    Orvane::pcsc::PcscApi& pcsc_;
};
