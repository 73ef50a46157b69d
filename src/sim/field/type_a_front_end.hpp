#pragma once
// The ISO 14443-A side of a reader's RF front end, as its firmware drives it: sends the frames of
// one firmware command to the field and turns the cards' answers into the command's status and
// reply data. The family command tables (type_a_commands.hpp) only parse and format. Runs inside
// the firmware's command handlers, so it needs no lock of its own.

#include <memory>
#include <optional>

#include "sim/field/virtual_field.hpp"
#include "sim/firmware/firmware.hpp"

namespace rfsim {

// Statuses of the card commands in every family (never 0x10 or 0x18, which mean success to a VA
// host).
inline constexpr std::uint8_t kStatusNoCard = 0x03;       // no card answered in time
inline constexpr std::uint8_t kStatusAuthFailed = 0x04;   // the card did not complete authentication
inline constexpr std::uint8_t kStatusCardRefused = 0x05;  // the card answered NAK
inline constexpr std::uint8_t kStatusUidError = 0x06;     // BCC of an anticollision answer wrong

class TypeAFrontEnd {
  public:
    TypeAFrontEnd(const Firmware& firmware, std::shared_ptr<VirtualField> field)
        : firmware_(firmware), field_(std::move(field)), seenResets_(firmware.state().fieldResets) {}

    // ATQA, first byte on the air first. A request that finds nobody is sent once more: a card
    // still ACTIVE from an earlier selection drops to IDLE on the first one and answers the second.
    Reply request(bool wakeUp);
    // The 4 bytes of cascade level `level` the anticollision ends on (BCC checked and dropped).
    Reply anticollision(int level);
    // SELECT of `bytes` (4) at cascade level `level`: one SAK byte.
    Reply select(int level, std::span<const std::uint8_t> bytes);
    // SELECT of the level-1 bytes the last anticollision found.
    Reply selectFound();
    // All cascade levels run by the reader, selecting each level that ends in a cascade tag: the
    // whole UID, without the tags. The last level stays unselected (selectUid finishes it).
    Reply findUid();
    // SELECT of every cascade level of `uid`, continuing where findUid stopped for that UID: the
    // SAK of the last level.
    Reply selectUid(std::span<const std::uint8_t> uid);
    // Request, cascade, select and RATS in one go: the level-1 bytes followed by the ATS.
    Reply activate(bool wakeUp);
    // HLTA is never answered, so it always succeeds.
    Reply halt();
    Reply rats();
    Reply deselect();
    Reply exchange(std::span<const std::uint8_t> apdu);
    Reply authenticate(int block, bool keyB, std::span<const std::uint8_t> key);
    Reply readBlock(int block);
    Reply writeBlock(int block, std::span<const std::uint8_t> data);
    // Page tag commands of the active tag: FAST_READ, PWD_AUTH, GET_VERSION, READ_CNT, READ_SIG.
    Reply fastRead(int firstPage, int lastPage);
    Reply pwdAuth(std::span<const std::uint8_t> password);
    Reply getVersion();
    Reply readCounter(int counter);
    Reply readSignature(int address);

  private:
    // Runs `command` on the active card: its answer as reply data, a NAK or silence as a refusal.
    template <typename Command>
    Reply tagAnswer(Command command);
    // False when the reader is set to another card interface: type A cards hear nothing then.
    // Applies field resets done by the reader commands since the last card command.
    bool ready();
    std::shared_ptr<TypeACard> activeCard() { return ready() ? field_->activeCard() : nullptr; }

    const Firmware& firmware_;
    std::shared_ptr<VirtualField> field_;
    std::int64_t seenResets_;
    std::optional<LevelBytes> found_;  // level 1 of the last anticollision
    struct Resolved {
        Bytes uid;
        int level;  // the unselected last level
    };
    std::optional<Resolved> resolved_;
};

}  // namespace rfsim
