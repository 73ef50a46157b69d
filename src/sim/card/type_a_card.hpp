#pragma once
// An ISO/IEC 14443-3 type A card as the field sees it: the IDLE / READY / ACTIVE / HALT state
// machine with cascade levels, and the commands a card of a given kind understands once ACTIVE.
// Every method is one frame the card receives and returns its answer (nullopt = the card stays
// silent). All state sits behind the card's own mutex, so tests may inspect a card while the
// service's threads talk to it through a reader.

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace rfsim {

using Bytes = std::vector<std::uint8_t>;

enum class CardState : std::uint8_t { idle, ready, active, halt };

inline constexpr std::uint8_t kCascadeTag = 0x88;
// SAK bit 3 (0x04): the UID is not complete, another cascade level follows.
inline constexpr std::uint8_t kSakCascade = 0x04;

// A cascade-level UID part as it travels in ANTICOLLISION and SELECT: 4 bytes and their BCC.
using LevelBytes = std::array<std::uint8_t, 5>;

// Cascade level `level` (0-based) of a 4-, 7- or 10-byte UID: every level but the last starts with
// the cascade tag and carries 3 UID bytes, the last carries 4 (ISO/IEC 14443-3 6.5.4); BCC last.
LevelBytes uidLevel(std::span<const std::uint8_t> uid, int level);
// The 4 bytes and their BCC.
LevelBytes withBcc(std::span<const std::uint8_t, 4> bytes);

class TypeACard {
  public:
    // `uid` of 4, 7 or 10 bytes; `atqa` with its first byte on the air in the low half.
    TypeACard(Bytes uid, std::uint16_t atqa, std::uint8_t sak);
    virtual ~TypeACard() = default;
    TypeACard(const TypeACard&) = delete;
    TypeACard& operator=(const TypeACard&) = delete;

    const Bytes& uid() const { return uid_; }
    std::uint16_t atqa() const { return atqa_; }
    std::uint8_t sak() const { return sak_; }
    int cascadeLevels() const { return static_cast<int>(uid_.size() / 3); }  // 1, 2 or 3
    // The UID part of cascade level `level` (0-based), cascade tag included, and its BCC.
    LevelBytes levelBytes(int level) const { return uidLevel(uid_, level); }

    CardState state() const;
    // True while an ISO/IEC 14443-4 session is open (after RATS, until DESELECT).
    bool layer4() const;

    // ISO/IEC 14443-3 frames. REQA wakes IDLE cards, WUPA also HALT ones; both answer the ATQA.
    std::optional<std::uint16_t> request(bool wakeUp);
    // ANTICOLLISION of cascade level `level` with NVB 0x20: the whole UID part of that level.
    std::optional<LevelBytes> anticollision(int level);
    // SELECT of cascade level `level`: the SAK when the bytes are this card's, else silence (and a
    // card in READY goes back to IDLE, MF1S50yyX 8.2.3 "the unselected PICCs return to idle").
    std::optional<std::uint8_t> select(int level, const LevelBytes& bytes);
    // HLTA: an ACTIVE card goes to HALT; HLTA is never answered.
    void halt();
    // The card leaves the field or the field goes off: all volatile state is lost.
    void powerOff();

    // Commands of the card's kind, valid in ACTIVE state only; a card that does not understand one
    // behaves as ISO/IEC 14443-3 says for an unexpected frame (silence, back to IDLE or HALT).
    virtual std::optional<Bytes> rats();
    virtual std::optional<Bytes> exchangeApdu(std::span<const std::uint8_t> apdu);
    virtual bool deselect();
    virtual bool authenticate(int block, bool keyB, std::span<const std::uint8_t, 6> key);
    virtual std::optional<Bytes> readBlock(int block);
    virtual bool writeBlock(int block, std::span<const std::uint8_t, 16> data);
    // NFC Forum type 2 tag commands beyond READ (readBlock) and COMPATIBILITY_WRITE (writeBlock):
    // WRITE of one page, FAST_READ, PWD_AUTH (answers PACK), GET_VERSION, READ_CNT and READ_SIG.
    // Nullopt or false: the card sent NAK or stayed silent.
    virtual bool writePage(int page, std::span<const std::uint8_t, 4> data);
    virtual std::optional<Bytes> fastRead(int firstPage, int lastPage);
    virtual std::optional<Bytes> pwdAuth(std::span<const std::uint8_t, 4> password);
    virtual std::optional<Bytes> getVersion();
    virtual std::optional<Bytes> readCounter(int counter);
    virtual std::optional<Bytes> readSignature(int address);

  protected:
    // Callers hold mutex_.
    bool activeLocked() const { return state_ == CardState::active; }
    // An unexpected frame or a refused command: back to IDLE, or to HALT when woken from there.
    void rejectLocked();
    virtual void powerOffLocked();
    // An ACTIVE card went to HALT (HLTA).
    virtual void haltedLocked() {}
    // The field went off or the card left it (after powerOffLocked): what lasts only while the card
    // is powered is gone.
    virtual void fieldLostLocked() {}
    // A command the card does not understand: silence, back to IDLE or HALT.
    std::nullopt_t refuseLocked() {
        rejectLocked();
        return std::nullopt;
    }

    mutable std::mutex mutex_;
    bool layer4_ = false;

  private:
    const Bytes uid_;
    const std::uint16_t atqa_;
    const std::uint8_t sak_;
    CardState state_ = CardState::idle;
    int level_ = 0;          // cascade level being resolved in READY
    bool fromHalt_ = false;  // woken from HALT by WUPA
};

}  // namespace rfsim
