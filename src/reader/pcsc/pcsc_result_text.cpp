// The PC/SC return codes as the log and /devices name them.
#include <cstdio>

#include "reader/pcsc/pcsc_api.hpp"

namespace Orvane::pcsc {

std::string resultText(Result code) {
    const char* name = nullptr;
    switch (code) {
        case kSuccess:
            name = "SCARD_S_SUCCESS";
            break;
        case kCancelled:
            name = "SCARD_E_CANCELLED";
            break;
        case kInvalidHandle:
            name = "SCARD_E_INVALID_HANDLE";
            break;
        case kUnknownReader:
            name = "SCARD_E_UNKNOWN_READER (reader unplugged)";
            break;
        case kTimeout:
            name = "SCARD_E_TIMEOUT";
            break;
        case kSharingViolation:
            name = "SCARD_E_SHARING_VIOLATION (another program holds the card)";
            break;
        case kNoSmartcard:
            name = "SCARD_E_NO_SMARTCARD (no card on the reader)";
            break;
        case kCommError:
            name = "SCARD_F_COMM_ERROR";
            break;
        case kReaderUnavailable:
            name = "SCARD_E_READER_UNAVAILABLE (reader unplugged)";
            break;
        case kNoService:
            name = "SCARD_E_NO_SERVICE (pcscd not running)";
            break;
        case kServiceStopped:
            name = "SCARD_E_SERVICE_STOPPED (pcscd stopped)";
            break;
        case kNoReadersAvailable:
            name = "SCARD_E_NO_READERS_AVAILABLE (no reader)";
            break;
        case kUnresponsiveCard:
            name = "SCARD_W_UNRESPONSIVE_CARD";
            break;
        case kUnpoweredCard:
            name = "SCARD_W_UNPOWERED_CARD";
            break;
        case kResetCard:
            name = "SCARD_W_RESET_CARD";
            break;
        case kRemovedCard:
            name = "SCARD_W_REMOVED_CARD (card removed)";
            break;
        default:
            break;
    }
    if (name != nullptr) return name;
    char text[32];
    std::snprintf(text, sizeof text, "PC/SC error 0x%08X", static_cast<unsigned>(code));
    return text;
}

}  // namespace Orvane::pcsc
