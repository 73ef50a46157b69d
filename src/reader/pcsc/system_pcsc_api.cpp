// PcscApi over libpcsclite.
#include <PCSC/winscard.h>

#include <algorithm>
#include <string>

#include "reader/pcsc/pcsc_api.hpp"

namespace Orvane::pcsc {
namespace {

// The longest response an extended-length APDU can bring: 65536 data bytes and the status word.
constexpr DWORD kMaxResponse = 65536 + 2;

Result result(LONG code) {
    return static_cast<Result>(code);
}

const SCARD_IO_REQUEST* sendPci(Protocol protocol) {
    return protocol == Protocol::t0 ? SCARD_PCI_T0 : SCARD_PCI_T1;
}

class SystemPcscApi : public PcscApi {
  public:
    Result establishContext(Context& context) override {
        SCARDCONTEXT handle = 0;
        const LONG rv = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &handle);
        context = static_cast<Context>(handle);
        return result(rv);
    }

    Result releaseContext(Context context) override {
        return result(SCardReleaseContext(static_cast<SCARDCONTEXT>(context)));
    }

    Result listReaders(Context context, std::vector<std::string>& readers) override {
        readers.clear();
        // A reader plugged in between the two calls makes the list longer: ask again.
        for (int attempt = 0; attempt < 3; ++attempt) {
            DWORD length = 0;
            LONG rv = SCardListReaders(static_cast<SCARDCONTEXT>(context), nullptr, nullptr, &length);
            if (rv != SCARD_S_SUCCESS) return result(rv);
            std::string names(length, '\0');
            rv = SCardListReaders(static_cast<SCARDCONTEXT>(context), nullptr, names.data(), &length);
            if (rv == SCARD_E_INSUFFICIENT_BUFFER) continue;
            if (rv != SCARD_S_SUCCESS) return result(rv);
            // A multi-string: names ended by NUL, the list by an empty name.
            names.resize(std::min<std::size_t>(length, names.size()));
            for (std::size_t at = 0; at < names.size();) {
                const std::size_t end = names.find('\0', at);
                const std::size_t stop = end == std::string::npos ? names.size() : end;
                if (stop == at) break;
                readers.push_back(names.substr(at, stop - at));
                at = stop + 1;
            }
            return kSuccess;
        }
        return result(SCARD_E_INSUFFICIENT_BUFFER);
    }

    Result connect(Context context, const std::string& reader, Card& card, Protocol& protocol) override {
        SCARDHANDLE handle = 0;
        DWORD active = 0;
        const LONG rv = SCardConnect(static_cast<SCARDCONTEXT>(context), reader.c_str(), SCARD_SHARE_SHARED,
                                     SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &handle, &active);
        card = static_cast<Card>(handle);
        protocol = active == SCARD_PROTOCOL_T0 ? Protocol::t0 : Protocol::t1;
        return result(rv);
    }

    Result disconnect(Card card, bool reset) override {
        return result(
            SCardDisconnect(static_cast<SCARDHANDLE>(card), reset ? SCARD_RESET_CARD : SCARD_LEAVE_CARD));
    }

    Result status(Card card, std::vector<std::uint8_t>& atr) override {
        BYTE bytes[MAX_ATR_SIZE];
        DWORD atrLength = sizeof bytes;
        DWORD readerLength = 0;
        DWORD cardState = 0;
        DWORD protocol = 0;
        const LONG rv = SCardStatus(static_cast<SCARDHANDLE>(card), nullptr, &readerLength, &cardState,
                                    &protocol, bytes, &atrLength);
        atr.assign(bytes, bytes + std::min<DWORD>(atrLength, sizeof bytes));
        if (rv != SCARD_S_SUCCESS) atr.clear();
        return result(rv);
    }

    Result transmit(Card card, Protocol protocol, std::span<const std::uint8_t> command,
                    std::vector<std::uint8_t>& response) override {
        response.assign(kMaxResponse, 0);
        DWORD length = kMaxResponse;
        const LONG rv = SCardTransmit(static_cast<SCARDHANDLE>(card), sendPci(protocol), command.data(),
                                      static_cast<DWORD>(command.size()), nullptr, response.data(), &length);
        response.resize(rv == SCARD_S_SUCCESS ? std::min<DWORD>(length, kMaxResponse) : 0);
        return result(rv);
    }

    Result getStatusChange(Context context, std::uint32_t timeoutMs,
                           std::span<ReaderState> readers) override {
        std::vector<SCARD_READERSTATE> states(readers.size());
        for (std::size_t i = 0; i < readers.size(); ++i) {
            states[i].szReader = readers[i].reader.c_str();
            states[i].dwCurrentState = readers[i].current;
        }
        const LONG rv = SCardGetStatusChange(static_cast<SCARDCONTEXT>(context), timeoutMs, states.data(),
                                             static_cast<DWORD>(states.size()));
        for (std::size_t i = 0; i < readers.size(); ++i)
            readers[i].event = static_cast<std::uint32_t>(states[i].dwEventState);
        return result(rv);
    }

    Result cancel(Context context) override {
        return result(SCardCancel(static_cast<SCARDCONTEXT>(context)));
    }
};

}  // namespace

PcscApi& systemPcscApi() {
    static SystemPcscApi api;
    return api;
}

}  // namespace Orvane::pcsc
