#pragma once
// What the card's operating system remembers between commands: the file tree, the current DF and
// EF, the last challenge and the security state reached in the current DF, the purse transaction
// under way and whether the card is blocked, plus the fault switches.

#include <algorithm>
#include <memory>
#include <optional>

#include "sim/card/cos/des.hpp"
#include "sim/card/cos/files.hpp"
#include "sim/card/cos/purse_session.hpp"

namespace rfsim::cos {

struct SecurityState {
    bool externalAuth = false;  // an EXTERNAL AUTHENTICATE succeeded
    bool pinVerified = false;   // a VERIFY succeeded
    std::uint8_t level = 0;     // set by a key that names the level it reaches (personalised keys)
};

// Faults a test can switch on to see how the host copes.
struct CosFaults {
    bool badResponseMac = false;  // every response MAC goes out with its first byte inverted
};

// The last challenge: 4 or 8 bytes; a 4-byte one is used as an 8-byte block padded with 4 zero
// bytes, both as the EXTERNAL AUTHENTICATE plaintext and as the secure-messaging IV.
struct Challenge {
    Bytes bytes;
    Block block() const {
        Block b{};
        std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), 8), b.begin());
        return b;
    }
};

struct CosState {
    explicit CosState(std::unique_ptr<DedicatedFile> mf) : mf(std::move(mf)), currentDf(this->mf.get()) {}

    // ISO/IEC 7816-4 §5.4: the security status of a DF is lost when another DF becomes current.
    void enterDf(DedicatedFile* df) {
        if (df != currentDf) security = {};
        currentDf = df;
        currentEf = nullptr;
    }
    // A new ISO/IEC 14443-4 session (RATS) or a power loss: the card starts over in the MF.
    void resetSession() {
        currentDf = mf.get();
        currentEf = nullptr;
        challenge.reset();
        security = {};
        purse.reset();
    }
    // The challenge, taken: each one serves a single authentication or secure-messaging command.
    std::optional<Challenge> takeChallenge() {
        auto taken = std::move(challenge);
        challenge.reset();
        return taken;
    }

    std::unique_ptr<DedicatedFile> mf;
    DedicatedFile* currentDf;
    ElementaryFile* currentEf = nullptr;
    std::optional<Challenge> challenge;
    SecurityState security;
    // The purse transaction under way, if any.
    std::optional<PurseSession> purse;
    // CARD BLOCK was accepted: from then on the card refuses every command, across sessions.
    bool cardBlocked = false;
    CosFaults faults;
};

}  // namespace rfsim::cos
