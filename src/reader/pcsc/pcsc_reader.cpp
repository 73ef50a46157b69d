#include "reader/pcsc/pcsc_reader.hpp"

#include <fmt/printf.h>
#include <spdlog/spdlog.h>

#include <chrono>

#include "protocol/log_limit.hpp"
#include "reader/probe_log.hpp"
#include "reader/reader_family.hpp"

namespace Orvane {
namespace {

constexpr const char* kService = "pcscd";

// The parts of a reader state that say where the card is: presence bits and pcsc-lite's count of
// insertions and removals. In-use and exclusive bits come and go with connections and are no news.
std::uint32_t cardPart(std::uint32_t event) {
    constexpr std::uint32_t kCardBits = pcsc::state::kPresent | pcsc::state::kEmpty | pcsc::state::kUnknown |
                                        pcsc::state::kUnavailable | pcsc::state::kMute;
    return event & (kCardBits | 0xFFFF0000u);
}

bool readerMissing(std::uint32_t event) {
    return (event & (pcsc::state::kUnknown | pcsc::state::kUnavailable)) != 0;
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

// One warning line per failure, held to the service's log rate (a client can make a lost reader
// fail in a loop). The reader layer sits below the service's log helpers: the default logger.
void logFailure(const std::string& reader, pcsc::Result result, const char* what) {
    constexpr const char* kKind = "PC/SC reader %s: %s (%s)";
    const LogRateLimit::Verdict verdict = passLogLine(kKind);
    if (verdict.suppressed > 0)
        spdlog::warn(fmt::sprintf("PC/SC reader: %d lines held back", verdict.suppressed));
    if (verdict.write) spdlog::warn(fmt::sprintf(kKind, reader, pcsc::resultText(result), what));
}

}  // namespace

PcscReader::PcscReader(pcsc::PcscApi* api) : api_(api) {}

PcscReader::~PcscReader() {
    close();
}

bool PcscReader::fail(pcsc::Result result) {
    lastResult_ = result;
    if (pcsc::isReaderGone(result)) {
        logFailure(readerName_, result, "reader lost until it is opened again");
        dropCard();
        noteResult(true);
    } else if (pcsc::isCardGone(result)) {
        logFailure(readerName_, result, "card connection dropped");
        dropCard();
    } else {
        logFailure(readerName_, result, "exchange failed");
    }
    return false;
}

bool PcscReader::connectDevice() {
    close();
    forgetLoss();
    if (api_ == nullptr) {
        logProbe(kReaderPcsc, kService, ProbeOutcome::notPresent, "no PC/SC on this device bus");
        return false;
    }
    pcsc::Context context = 0;
    pcsc::Result result = api_->establishContext(context);
    if (result != pcsc::kSuccess) {
        lastResult_ = result;
        logProbe(kReaderPcsc, kService, ProbeOutcome::notPresent, pcsc::resultText(result));
        return false;
    }
    command_ = context;
    std::vector<std::string> readers;
    result = api_->listReaders(command_, readers);
    if (result != pcsc::kSuccess || !pickReader(readers)) {
        lastResult_ = result != pcsc::kSuccess ? result : pcsc::kUnknownReader;
        logProbe(kReaderPcsc, kService, ProbeOutcome::notPresent,
                 result != pcsc::kSuccess
                     ? pcsc::resultText(result)
                     : "no reader named like \"" + wanted_ + "\" among: " + joined(readers));
        close();
        return false;
    }
    pcsc::Context watch = 0;
    result = api_->establishContext(watch);
    if (result != pcsc::kSuccess) {
        lastResult_ = result;
        logProbe(kReaderPcsc, kService, ProbeOutcome::busy, "no second context: " + pcsc::resultText(result));
        close();
        return false;
    }
    watch_ = watch;
    lastResult_ = pcsc::kSuccess;
    logProbe(kReaderPcsc, kService, ProbeOutcome::found, readerName_);
    return true;
}

bool PcscReader::pickReader(const std::vector<std::string>& readers) {
    for (const std::string& name : readers) {
        if (name.find(wanted_) != std::string::npos) {
            readerName_ = name;
            return true;
        }
    }
    return false;
}

void PcscReader::close() {
    if (api_ == nullptr) return;
    dropCard();
    if (const pcsc::Context watch = watch_.exchange(0)) api_->releaseContext(watch);
    if (command_ != 0) api_->releaseContext(command_);
    command_ = 0;
    seen_ = -1;
}

void PcscReader::dropCard() {
    if (card_ != 0 && api_ != nullptr) api_->disconnect(card_, false);
    card_ = 0;
    atr_.clear();
}

PcscReader::Presence PcscReader::presence() {
    if (!isOpen() || deviceLost()) return Presence::lost;
    pcsc::ReaderState state{readerName_, pcsc::state::kUnaware, 0};
    const pcsc::Result result = api_->getStatusChange(command_, 0, std::span(&state, 1));
    if (result != pcsc::kSuccess && result != pcsc::kTimeout) {
        fail(result);
        return deviceLost() ? Presence::lost : Presence::absent;
    }
    if (readerMissing(state.event)) {
        fail(pcsc::kUnknownReader);
        return Presence::lost;
    }
    seen_ = cardPart(state.event);
    const bool present =
        (state.event & pcsc::state::kPresent) != 0 && (state.event & pcsc::state::kMute) == 0;
    if (!present) dropCard();
    return present ? Presence::present : Presence::absent;
}

bool PcscReader::connectCard() {
    if (!isOpen() || deviceLost()) return false;
    if (card_ != 0) {
        // A card taken off and put back leaves a dead connection behind: test it first.
        const pcsc::Result alive = api_->status(card_, atr_);
        if (alive == pcsc::kSuccess) return true;
        fail(alive);
        if (deviceLost()) return false;
        dropCard();
    }
    pcsc::Card card = 0;
    const pcsc::Result result = api_->connect(command_, readerName_, card, protocol_);
    if (result == pcsc::kNoSmartcard) {  // nothing on the reader: no failure to report
        lastResult_ = result;
        return false;
    }
    if (result != pcsc::kSuccess) return fail(result);
    card_ = card;
    const pcsc::Result status = api_->status(card_, atr_);
    if (status != pcsc::kSuccess) return fail(status);
    return true;
}

void PcscReader::disconnectCard(bool reset) {
    if (card_ != 0 && api_ != nullptr) api_->disconnect(card_, reset);
    card_ = 0;
    atr_.clear();
}

bool PcscReader::transmit(std::span<const std::uint8_t> command, std::vector<std::uint8_t>& response) {
    response.clear();
    if (card_ == 0 || deviceLost()) return false;
    const pcsc::Result result = api_->transmit(card_, protocol_, command, response);
    if (result != pcsc::kSuccess) {
        response.clear();
        return fail(result);
    }
    return true;
}

PcscReader::Wait PcscReader::waitForChange(std::uint32_t timeoutMs) {
    const pcsc::Context watch = watch_;
    if (watch == 0 || api_ == nullptr) return Wait::lost;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    pcsc::ReaderState state{readerName_, pcsc::state::kUnaware, 0};
    std::int64_t baseline = seen_;
    if (baseline < 0) {
        // Nothing seen yet: the state now is what a change is measured against.
        const pcsc::Result result = api_->getStatusChange(watch, 0, std::span(&state, 1));
        if (result != pcsc::kSuccess && result != pcsc::kTimeout) return Wait::lost;
        baseline = cardPart(state.event);
        seen_ = baseline;
    }
    state.current = static_cast<std::uint32_t>(baseline);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return Wait::timeout;
        const pcsc::Result result =
            api_->getStatusChange(watch, static_cast<std::uint32_t>(left.count()), std::span(&state, 1));
        if (result == pcsc::kTimeout) return Wait::timeout;
        if (result == pcsc::kCancelled) return Wait::cancelled;
        // The command side notes the loss at its next call; this thread leaves the flag alone.
        if (result != pcsc::kSuccess || readerMissing(state.event)) return Wait::lost;
        if (cardPart(state.event) != static_cast<std::uint32_t>(baseline)) {
            seen_ = cardPart(state.event);
            return Wait::changed;
        }
        state.current = state.event & ~pcsc::state::kChanged;  // wait on from what pcscd said now
    }
}

void PcscReader::cancelWait() {
    if (const pcsc::Context watch = watch_; watch != 0 && api_ != nullptr) api_->cancel(watch);
}

}  // namespace Orvane
