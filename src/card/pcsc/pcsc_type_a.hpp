#pragma once
// The card on a PC/SC reader (type 7) as the type A card objects see it. The reader finds, selects
// and activates the card itself; this object connects to it through pcscd, reads its UID with the
// reader's GET DATA (FF CA 00 00 00) and its kind from the ATR, and passes APDUs on with
// SCardTransmit. Mifare Classic, page tags and CPU cards on type 7 all work through it.
//
// "Selecting" a card connects to it; deselecting disconnects with a reset, so the card starts
// afresh at its next activation as a card sent HLT or DESELECT does. The caller holds the reader's
// exchange mutex.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "card/iso14443a/iiso14443a_reader.hpp"
#include "card/pcsc/pcsc_card_kind.hpp"

class RfReader;

class PcscTypeA : public Orvane::IIso14443AReader {
  public:
    explicit PcscTypeA(std::shared_ptr<RfReader> reader);

    // One card at most: a PC/SC slot holds one card (the reader picks one when more are near).
    int findCards(std::vector<Orvane::TypeACardInfo>& cards, int limit) override;
    // The card on the reader when its UID is this one; `activate` needs an ISO 14443-4 card, whose
    // stand-in ATS goes to `ats`.
    bool selectUid(const std::uint8_t* uid, int uidLen, bool activate,
                   Orvane::IBuffer* ats = nullptr) override;
    bool selectAny(Orvane::TypeACardInfo& info, bool activate, Orvane::IBuffer* ats = nullptr) override;
    // One APDU; `response` gets the card's whole answer, status word included.
    bool rawExchange(const std::uint8_t* request, int len, Orvane::IBuffer& response) override;
    bool deselect() override;

    // One command of the reader's storage-card set: true when it answered 90 00, `data` then holds
    // the answer without its status word.
    bool storageCommand(std::span<const std::uint8_t> command, std::vector<std::uint8_t>& data);

    RfReader& reader() const { return *reader_; }

  private:
    // Connects to the card on the reader and fills `info`; false when there is none or a card
    // that must have a UID did not give one.
    bool readCard(Orvane::TypeACardInfo& info, Orvane::pcsc::CardKind& kind);
    bool take(Orvane::pcsc::CardKind kind, bool activate, Orvane::IBuffer* ats);

    std::shared_ptr<RfReader> reader_;
    std::vector<std::uint8_t> response_;
};
