#pragma once
// The transport of reader type 7: one PC/SC reader reached through pcscd. Opening it establishes a
// context, lists pcscd's readers and takes the first whose name contains the wanted part (any
// reader when none is wanted). The card on it is connected in shared mode when a command needs it
// and its APDUs go through SCardTransmit.
//
// Two contexts: the command context, used under the reader's exchange mutex, and the watch
// context, on which the finder blocks in SCardGetStatusChange without that mutex. pcsc-lite
// serialises the calls of one context, so a wait on the command context would stall every command
// until a card moved; SCardCancel on the watch context ends the wait from any thread.
//
// "Reader gone" (unplugged, pcscd stopped) is kept apart from "card gone" (taken off the reader):
// the first marks the device lost until the reader is opened again, the second only drops the
// card's connection.

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "reader/device/device_loss.hpp"
#include "reader/pcsc/pcsc_api.hpp"

namespace Orvane {

class PcscReader : public DeviceLoss {
  public:
    enum class Presence { absent, present, lost };
    enum class Wait { changed, timeout, cancelled, lost };

    // `api` null: this bus offers no PC/SC (every open fails).
    explicit PcscReader(pcsc::PcscApi* api);
    ~PcscReader();
    PcscReader(const PcscReader&) = delete;
    PcscReader& operator=(const PcscReader&) = delete;

    // The part of a reader name to look for (code 103's addr); empty takes the first reader.
    void setWantedName(std::string part) { wanted_ = std::move(part); }
    const std::string& wantedName() const { return wanted_; }

    // Opens afresh: contexts, reader list, the reader; a failure is logged with its reason.
    bool connectDevice();
    void close();
    bool isOpen() const { return command_ != 0; }
    const std::string& readerName() const { return readerName_; }
    // What the last failed PC/SC call answered (kSuccess after a success).
    pcsc::Result lastResult() const { return lastResult_; }

    // Whether a card is on the reader now (no wait). Notes the state for waitForChange.
    Presence presence();
    // Connects the card on the reader unless a live connection exists; reads its ATR.
    bool connectCard();
    bool cardConnected() const { return card_ != 0; }
    const std::vector<std::uint8_t>& atr() const { return atr_; }
    // Ends the card connection; `reset` resets the card, ending its session.
    void disconnectCard(bool reset);
    // One APDU to the connected card; `response` gets the whole answer, status word included.
    bool transmit(std::span<const std::uint8_t> command, std::vector<std::uint8_t>& response);

    // Blocks on the watch context until a card is put on or taken off the reader (compared with
    // the state presence() or the last wait noted), at most `timeoutMs`. Other state changes (a
    // program connecting to the card) are waited through. Called by the finder thread only.
    Wait waitForChange(std::uint32_t timeoutMs);
    // Ends a waitForChange in progress (any thread).
    void cancelWait();

  private:
    bool fail(pcsc::Result result);
    void dropCard();
    bool pickReader(const std::vector<std::string>& readers);

    pcsc::PcscApi* api_;
    std::string wanted_;
    std::string readerName_;
    pcsc::Context command_ = 0;
    std::atomic<pcsc::Context> watch_{0};
    pcsc::Card card_ = 0;
    pcsc::Protocol protocol_ = pcsc::Protocol::t1;
    std::vector<std::uint8_t> atr_;
    pcsc::Result lastResult_ = pcsc::kSuccess;
    // The reader state last seen (event counter and presence bits); -1 none yet.
    std::atomic<std::int64_t> seen_{-1};
};

}  // namespace Orvane
