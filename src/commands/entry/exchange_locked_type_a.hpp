#pragma once
// The reader's ISO 14443-A interface with the reader's exchange mutex taken around each call, for
// card objects whose commands may wait between two exchanges (for a key provider's answer): such a
// wait must never hold the mutex, yet no exchange of theirs may overlap the finder's or another
// command's. The card hold keeps the finder off the card between the exchanges.

#include <memory>

#include "card/iso14443a/iiso14443a_reader.hpp"
#include "commands/entry/find_task.hpp"

class ExchangeLockedTypeA : public Orvane::IIso14443AReader {
  public:
    ExchangeLockedTypeA(std::shared_ptr<Orvane::IIso14443AReader> reader, std::shared_ptr<FinderState> finder)
        : reader_(std::move(reader)), finder_(std::move(finder)) {}

    int findCards(std::vector<Orvane::TypeACardInfo>& cards, int limit) override {
        const auto lock = finder_->lockForCommand();
        return reader_->findCards(cards, limit);
    }
    bool selectUid(const std::uint8_t* uid, int uidLen, bool activate, Orvane::IBuffer* ats) override {
        const auto lock = finder_->lockForCommand();
        return reader_->selectUid(uid, uidLen, activate, ats);
    }
    bool selectAny(Orvane::TypeACardInfo& info, bool activate, Orvane::IBuffer* ats) override {
        const auto lock = finder_->lockForCommand();
        return reader_->selectAny(info, activate, ats);
    }
    bool rawExchange(const std::uint8_t* request, int len, Orvane::IBuffer& response) override {
        const auto lock = finder_->lockForCommand();
        return reader_->rawExchange(request, len, response);
    }
    bool deselect() override {
        const auto lock = finder_->lockForCommand();
        return reader_->deselect();
    }

  private:
    std::shared_ptr<Orvane::IIso14443AReader> reader_;
    std::shared_ptr<FinderState> finder_;
};
