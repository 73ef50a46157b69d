#pragma once
// The ISO 14443-A searcher of one reader: finds, selects, activates and deselects type A cards
// and exchanges raw ISO 14443-4 frames, each step as commands of the reader's frame family.
// Page tags, Mifare Classic and type A CPU cards all work through this object.
//
// Every operation first needs the reader in ISO 14443-A mode (it does not force a reader set to
// another protocol). The caller holds the reader's exchangeMutex.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "card/iso14443a/cascade.hpp"
#include "card/iso14443a/iiso14443a_reader.hpp"

class RfReader;

class RfIso14443A : public Orvane::IIso14443AReader {
  public:
    // A field never holds more cards than this; a reader reporting more is not believed.
    static constexpr int kMaxCardsPerSearch = 64;

    explicit RfIso14443A(std::shared_ptr<RfReader> reader);

    int findCards(std::vector<Orvane::TypeACardInfo>& cards, int limit) override;
    bool selectUid(const std::uint8_t* uid, int uidLen, bool activate,
                   Orvane::IBuffer* ats = nullptr) override;
    bool selectAny(Orvane::TypeACardInfo& info, bool activate, Orvane::IBuffer* ats = nullptr) override;
    bool rawExchange(const std::uint8_t* request, int len, Orvane::IBuffer& response) override;
    bool deselect() override;
    // Puts the card selected last back to rest, as a search leaves the cards it found: an
    // ISO 14443-4 card is deselected, any other is sent HLTA (which only an active card obeys).
    bool haltCard();

    bool iso4Active() const { return state_.iso4Active; }
    const std::array<std::uint8_t, 4>& cl1Uid() const { return state_.cl1Uid; }
    const std::shared_ptr<RfReader>& reader() const { return reader_; }

  private:
    // Runs `step` on the reader's family link once the reader is in ISO 14443-A mode; `failed` when
    // the reader has no type A family or refuses the mode.
    template <typename Result, typename Step>
    Result withFamily(Result failed, Step&& step);
    // Before a new selection or listing: forget the authenticated sector and release an
    // ISO 14443-4 card.
    void leaveCard();

    std::shared_ptr<RfReader> reader_;
    typea::TypeAState state_;
};
