#pragma once
// A reader's firmware: takes complete request frames, checks them as the reader does, runs the
// command and builds the reply frame. One subclass per frame family supplies the framing and the
// reader-level commands; everything else goes through the command table, which is also how cards
// come in: whoever models the cards in the field installs their commands with setCommand, and the
// handlers see the reader state (protocol selected, field resets) through state().

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/firmware/recent_history.hpp"

namespace rfsim {

using Bytes = std::vector<std::uint8_t>;

// Card interface the reader's RF front end is set to.
enum class Protocol : std::uint8_t { iso14443A, iso14443B, iso15693 };

struct Request {
    std::uint8_t command = 0;
    std::span<const std::uint8_t> params;  // VD family: the five-byte parameter block
    std::span<const std::uint8_t> data;
};

struct Reply {
    std::uint8_t status = 0;
    Bytes data;
};

// Nullopt: the reader does not answer this request.
using CommandHandler = std::function<std::optional<Reply>(const Request&)>;

// How many of the latest beeps, LED commands and command codes a reader keeps: a host polling
// without pause sends thousands of frames a second, and a simulator runs for days.
inline constexpr std::size_t kKeptHistory = 1024;
using ByteHistory = RecentHistory<std::uint8_t, kKeptHistory>;

struct ReaderState {
    std::uint32_t baud = 0;  // UART rate of a serial reader; 0 for a reader without a UART
    Protocol protocol = Protocol::iso14443A;
    ByteHistory beeps;  // duration codes in the family's unit
    ByteHistory leds;   // LED command data bytes in order
    std::int64_t fieldResets = 0;
    std::int64_t framesAnswered = 0;
    std::int64_t framesRejected = 0;  // bad check bytes or framing: dropped without an answer
    ByteHistory commands;             // command codes of accepted frames, in order; total() counts all
};

class Firmware {
  public:
    virtual ~Firmware() = default;

    // Length of the request frame that starts `head`: nullopt while more bytes are needed to tell,
    // 0 when no frame can start at head[0].
    virtual std::optional<std::size_t> requestLength(std::span<const std::uint8_t> head) const = 0;

    // Answers one complete request frame; empty when the reader stays silent.
    Bytes answer(std::span<const std::uint8_t> frame);

    // The reader is powered up again (plugged back in): its UART runs at its power-on rate, the RF
    // front end is back at ISO 14443-A, and the field was off, so the cards start over. The records
    // of what the reader did are kept.
    void powerOn();

    // Adds or replaces the handler of a command.
    void setCommand(std::uint8_t command, CommandHandler handler) { commands_[command] = std::move(handler); }

    ReaderState& state() { return state_; }
    const ReaderState& state() const { return state_; }

  protected:
    // Nullopt when the frame's header or check bytes are wrong.
    virtual std::optional<Request> parse(std::span<const std::uint8_t> frame) const = 0;
    virtual Bytes buildReply(std::span<const std::uint8_t> frame, const Request& request,
                             const Reply& reply) const = 0;
    // Status of a command the firmware does not know.
    virtual std::uint8_t unknownCommandStatus() const = 0;

    ReaderState state_;
    std::uint32_t powerOnBaud_ = 0;  // set by a family whose reader has a UART

  private:
    std::map<std::uint8_t, CommandHandler> commands_;
};

// Status bytes the simulated firmware uses for refusals (the readers' own values are theirs to
// choose; only 0 means success to the host, and 0x10/0x18 too in the VA family).
inline constexpr std::uint8_t kStatusUnknownCommand = 0x01;
inline constexpr std::uint8_t kStatusBadParameter = 0x02;

}  // namespace rfsim
