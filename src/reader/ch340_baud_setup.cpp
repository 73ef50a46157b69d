#include "reader/ch340_baud_setup.hpp"

#include <string>

#include "reader/device/ch340.hpp"
#include "reader/frame/va_frame.hpp"
#include "reader/frame/va_opcodes.hpp"
#include "reader/reader_family.hpp"
#include "reader/transport/open_failure.hpp"
#include "reader/transport/vb_reader_ch340.hpp"

namespace Orvane {
namespace {

constexpr std::uint32_t kPowerOnRate = 9600;  // the reader's UART after power-on

// What went wrong last while moving to a rate, for the open log.
struct RateAttempt {
    VBReaderCH340& reader;
    bool bridgeRefused = false;  // the bridge did not take a rate request
    int lastReply = 0;           // the last rate command's exchange result

    bool bridgeTo(std::uint32_t baud) {
        bridgeRefused = reader.setCh340Baud(baud, 0) != 0;
        return !bridgeRefused;
    }
    bool readerTo(std::span<const std::uint8_t> rate) {
        lastReply = reader.exchange(va::kSetBaud, rate);
        return lastReply == 0;
    }
};

bool moveToRate(RateAttempt& attempt, std::uint32_t baud, std::span<const std::uint8_t> rate) {
    // 1. The reader may already run at the rate (opened before in this power cycle).
    if (!attempt.bridgeTo(baud)) return false;
    if (attempt.readerTo(rate)) return true;

    // 2. Tell it at its power-on rate, reset the bridge (drops what the switch left in its FIFO),
    //    then follow with the bridge and confirm at the new rate.
    if (!attempt.bridgeTo(kPowerOnRate)) return false;
    if (!attempt.readerTo(rate)) return false;
    attempt.reader.resetDevice();
    if (!attempt.bridgeTo(baud)) return false;
    if (attempt.readerTo(rate)) return true;

    // 3. No confirmation: ask once more at the power-on rate and leave the bridge freshly reset for
    //    the next attempt.
    if (!attempt.bridgeTo(kPowerOnRate)) return false;
    if (!attempt.readerTo(rate)) return false;
    attempt.reader.resetDevice();
    return false;
}

ProbeReport failedRateReport(const RateAttempt& attempt, std::uint32_t baud) {
    if (attempt.bridgeRefused) return {ProbeOutcome::noAnswer, "the CH340 bridge refused a rate request"};
    if (attempt.lastReply == 0)
        return {ProbeOutcome::noAnswer, "the reader took the rate command and then did not answer at " +
                                            std::to_string(baud) + " baud"};
    if (attempt.lastReply == -1)
        return {ProbeOutcome::noAnswer, "nothing, or too little for a reply, to the rate command"};
    return {ProbeOutcome::wrongAnswer,
            "the rate command was answered with result " + std::to_string(attempt.lastReply)};
}

}  // namespace

bool setUpCh340Rate(VBReaderCH340& reader, std::uint32_t baud) {
    const auto code = va_frame::baudCode(baud);
    if (!code) return false;
    const std::uint8_t rate[] = {*code};
    RateAttempt attempt{reader};
    if (moveToRate(attempt, baud, rate)) return true;
    logProbeReport(kReaderVbCh340, ch340::kVendorId, ch340::kProductId, failedRateReport(attempt, baud));
    return false;
}

}  // namespace Orvane
