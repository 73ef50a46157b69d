#pragma once
// The card's operating system as an APDU handler: parses the command, checks its class, removes
// and adds secure messaging, and hands the command to the handler installed for its INS. New
// command sets (personalisation, a purse) install more handlers; the file system and the state
// they work on are shared.

#include <functional>
#include <map>
#include <span>

#include "sim/card/cos/apdu.hpp"
#include "sim/card/cos/cos_state.hpp"
#include "sim/card/cos/secure_messaging.hpp"

namespace rfsim::cos {

// Commands of the interindustry class (CLA 0X) and proprietary ones (CLA 8X) are kept apart.
enum class CommandClass : std::uint8_t { interindustry, proprietary };

struct CosCommand {
    std::function<CosResponse(CosState&, const CosRequest&)> handler;
    bool secureMessaging = false;  // accepts CLA b3 (secure messaging)
    // The key that checks its MAC; none: the one secure_messaging.hpp names.
    SmKeyPicker smKey = {};
};

// Runs before every command, on the bytes as received; a status word other than 0 refuses the
// command with it.
using CommandGate = std::function<std::uint16_t(CosState&, std::span<const std::uint8_t>)>;

class CosCard {
  public:
    explicit CosCard(std::unique_ptr<DedicatedFile> mf) : state_(std::move(mf)) {}

    void install(CommandClass cls, std::uint8_t ins, CosCommand command);
    // One gate per card; a later one replaces it.
    void setGate(CommandGate gate) { gate_ = std::move(gate); }

    // One command APDU in, the response APDU (status word included) out. Never throws on what the
    // host sends.
    Bytes process(std::span<const std::uint8_t> apdu);

    CosState& state() { return state_; }
    const CosState& state() const { return state_; }

    // The last kReceivedKept commands as they came in, oldest first.
    static constexpr std::size_t kReceivedKept = 256;
    const std::vector<Bytes>& received() const { return received_; }
    void clearReceived() { received_.clear(); }

  private:
    CosResponse run(std::span<const std::uint8_t> apdu);

    CosState state_;
    std::vector<Bytes> received_;
    std::map<std::pair<CommandClass, std::uint8_t>, CosCommand> commands_;
    CommandGate gate_;
};

// The ISO/IEC 7816-4 commands of this card: SELECT, GET CHALLENGE, VERIFY, EXTERNAL and INTERNAL
// AUTHENTICATE, READ/UPDATE BINARY, READ/UPDATE/APPEND RECORD.
void installIsoCommands(CosCard& card);

// The FM-style personalisation commands (fm_commands.cpp): ERASE DF, CREATE FILE, WRITE KEY.
void installFmCommands(CosCard& card);

// The PBOC electronic deposit / purse commands (purse_commands.hpp), with the gate that cancels a
// purse transaction on any command that does not belong to it.
void installPurseCommands(CosCard& card);

}  // namespace rfsim::cos
