#pragma once
// The RF field of one reader and the type A cards in it. Tests place and remove cards while the
// service's threads talk to the reader, so the card list has its own lock. Every frame the reader
// sends reaches every card in the field, as on the air; the answers are combined as a reader's
// receiver sees them.

#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "sim/card/type_a_card.hpp"

namespace rfsim {

// Why a card was or was not placed.
enum class Placement {
    placed,
    noCard,    // null
    uidTaken,  // a card with the same UID is there already: two such cards could never be told apart
    full,      // the field holds kMaxCards already
};

class VirtualField {
  public:
    // Far more than fit on a reader's antenna, and few enough that every frame can reach them all.
    static constexpr std::size_t kMaxCards = 64;

    // A placed card powers up in IDLE.
    Placement placeCard(std::shared_ptr<TypeACard> card);
    // True when the card was placed.
    bool place(std::shared_ptr<TypeACard> card) { return placeCard(std::move(card)) == Placement::placed; }
    // Takes the card with this UID off the field; it loses power and all volatile state.
    bool remove(std::span<const std::uint8_t> uid);
    void clear();
    std::vector<std::shared_ptr<TypeACard>> cards() const;

    // The reader switched its field off and on: every card powers up again in IDLE.
    void powerCycle();

    // REQA or WUPA. Several answering cards superpose their ATQAs; the reader reads the collided
    // bits as ones, so the result is their bitwise OR.
    std::optional<std::uint16_t> request(bool wakeUp);
    // The bit-frame anticollision of one cascade level, run by the reader to its end: at every
    // collision the reader continues with the cards that sent a 1 (bits in air order, least
    // significant first), so the card with the "highest" UID part in that order wins. The losers
    // stay in READY.
    std::optional<LevelBytes> anticollision(int level);
    // SELECT: the SAK of the card with these bytes; every other card in READY goes back to IDLE.
    std::optional<std::uint8_t> select(int level, const LevelBytes& bytes);
    void halt();
    // The card in ACTIVE state, which takes the commands of its kind; null when there is none.
    std::shared_ptr<TypeACard> activeCard() const;

  private:
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<TypeACard>> cards_;
};

// True when `a` wins the bit-frame anticollision against `b`.
bool winsAnticollision(const LevelBytes& a, const LevelBytes& b);

}  // namespace rfsim
