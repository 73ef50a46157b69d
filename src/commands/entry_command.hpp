#pragma once
// The common start of every reader and card handler, in one place: the request's reader slot
// (rfIdx), a share of the entry for the whole command (a GCODE 100 replacing it cannot free it
// under the command), the find task stopped where the command needs the reader to itself, the
// card hold, and the reader's exchange mutex. RfWork::onEntry runs it and answers memory
// exhaustion with 108.

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>

class RfReaderOne;

struct EntryNeeds {
    enum class Card {
        untouched,  // the command does not reach a card, or does not care for a selected one
        held,       // selects a card or works on the selected one: holds the card (see CardHold)
        reset,      // resets the reader or the field: a selected card is gone
    };
    bool stopsFinder = false;  // the find task is stopped first
    bool exchange = false;     // the command runs frames on the reader
    Card card = Card::untouched;
};

class EntryCommand {
  public:
    // Stops the finder, takes or ends the card hold, and locks the exchange mutex as `needs` say. A
    // command that holds the card also has the entry's card objects to itself (lockCardWork).
    EntryCommand(std::shared_ptr<RfReaderOne> entry, EntryNeeds needs);
    // Ends the card command: the hold goes on for the card kept, else it ends.
    ~EntryCommand();
    EntryCommand(const EntryCommand&) = delete;
    EntryCommand& operator=(const EntryCommand&) = delete;

    RfReaderOne& entry() const { return *entry_; }
    // A share of the entry, for work that goes on after this command returns.
    std::shared_ptr<RfReaderOne> entryShare() const { return entry_; }

    // A card command leaves this ISO 14443-A card selected (empty UID: none is selected).
    void keepTypeACard(std::span<const std::uint8_t> uid);

  private:
    std::shared_ptr<RfReaderOne> entry_;
    bool holding_ = false;
    std::unique_lock<std::mutex> cardWork_;  // taken first, let go last
    std::unique_lock<std::mutex> exchange_;
};
