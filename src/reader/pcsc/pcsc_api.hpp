#pragma once
// The seam between the PC/SC reader transport and pcsc-lite. The transport reaches pcscd only
// through a PcscApi: the system one calls libpcsclite, unit tests put a fake in its place. Header
// only and free of winscard.h, so a fake needs neither the library nor its types.
//
// Results are the PC/SC return codes (SCARD_S_SUCCESS, SCARD_E_*, SCARD_W_*), as 32-bit values.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace Orvane::pcsc {

using Result = std::uint32_t;
using Context = std::intptr_t;  // SCARDCONTEXT
using Card = std::intptr_t;     // SCARDHANDLE

// The return codes this code tells apart (PCSC5 return codes; pcsclite.h).
inline constexpr Result kSuccess = 0;
inline constexpr Result kCancelled = 0x80100002;
inline constexpr Result kInvalidHandle = 0x80100003;
inline constexpr Result kUnknownReader = 0x80100009;
inline constexpr Result kTimeout = 0x8010000A;
inline constexpr Result kSharingViolation = 0x8010000B;
inline constexpr Result kNoSmartcard = 0x8010000C;
inline constexpr Result kCommError = 0x80100013;
inline constexpr Result kReaderUnavailable = 0x80100017;
inline constexpr Result kNoService = 0x8010001D;
inline constexpr Result kServiceStopped = 0x8010001E;
inline constexpr Result kNoReadersAvailable = 0x8010002E;
inline constexpr Result kUnresponsiveCard = 0x80100066;
inline constexpr Result kUnpoweredCard = 0x80100067;
inline constexpr Result kResetCard = 0x80100068;
inline constexpr Result kRemovedCard = 0x80100069;

// Reader state bits of SCardGetStatusChange (SCARD_STATE_*); pcsc-lite counts card insertions and
// removals in the upper 16 bits of the event state.
namespace state {
inline constexpr std::uint32_t kUnaware = 0x0000;
inline constexpr std::uint32_t kChanged = 0x0002;
inline constexpr std::uint32_t kUnknown = 0x0004;
inline constexpr std::uint32_t kUnavailable = 0x0008;
inline constexpr std::uint32_t kEmpty = 0x0010;
inline constexpr std::uint32_t kPresent = 0x0020;
inline constexpr std::uint32_t kMute = 0x0200;
}  // namespace state

// The transmission protocol a card connection uses (SCARD_PROTOCOL_T0 / T1).
enum class Protocol : std::uint32_t { t0 = 1, t1 = 2 };

// One reader watched by getStatusChange: `current` is what the caller knows, `event` what pcscd
// says now.
struct ReaderState {
    std::string reader;
    std::uint32_t current = state::kUnaware;
    std::uint32_t event = 0;
};

class PcscApi {
  public:
    virtual ~PcscApi() = default;
    // SCardEstablishContext with scope SYSTEM.
    virtual Result establishContext(Context& context) = 0;
    virtual Result releaseContext(Context context) = 0;
    // SCardListReaders: the reader names, in pcscd's order.
    virtual Result listReaders(Context context, std::vector<std::string>& readers) = 0;
    // SCardConnect in shared mode, T=0 or T=1 as the card offers.
    virtual Result connect(Context context, const std::string& reader, Card& card, Protocol& protocol) = 0;
    // SCardDisconnect; `reset` resets the card, else it is left as it is.
    virtual Result disconnect(Card card, bool reset) = 0;
    // SCardStatus: the card's ATR.
    virtual Result status(Card card, std::vector<std::uint8_t>& atr) = 0;
    // SCardTransmit: `response` gets everything the card answered, status word included.
    virtual Result transmit(Card card, Protocol protocol, std::span<const std::uint8_t> command,
                            std::vector<std::uint8_t>& response) = 0;
    // SCardGetStatusChange: waits up to `timeoutMs` for a reader's state to differ from `current`.
    virtual Result getStatusChange(Context context, std::uint32_t timeoutMs,
                                   std::span<ReaderState> readers) = 0;
    // SCardCancel: ends a getStatusChange waiting on `context` (from any thread).
    virtual Result cancel(Context context) = 0;
};

// libpcsclite, shared by the process.
PcscApi& systemPcscApi();

// "SCARD_E_NO_SERVICE (pcscd not running)" and the like, for logs and /devices.
std::string resultText(Result result);

// pcscd has gone or is not there: nothing on this machine can reach a PC/SC reader now.
constexpr bool isServiceGone(Result result) {
    return result == kNoService || result == kServiceStopped;
}

// The reader itself went away (unplugged) or pcscd with it.
constexpr bool isReaderGone(Result result) {
    return isServiceGone(result) || result == kUnknownReader || result == kReaderUnavailable ||
           result == kNoReadersAvailable;
}

// The card left the field (or was reset by another program): its connection is dead.
constexpr bool isCardGone(Result result) {
    return result == kRemovedCard || result == kResetCard || result == kNoSmartcard ||
           result == kUnpoweredCard || result == kUnresponsiveCard || result == kInvalidHandle;
}

}  // namespace Orvane::pcsc
