#include "commands/entry_command.hpp"

#include <algorithm>

#include "card/iso14443a/rf_iso14443a.hpp"
#include "commands/entry/rf_reader_one.hpp"

EntryCommand::EntryCommand(std::shared_ptr<RfReaderOne> entry, EntryNeeds needs) : entry_(std::move(entry)) {
    // Before everything else: a command waiting here holds nothing the finder or others need.
    if (needs.card == EntryNeeds::Card::held) cardWork_ = entry_->lockCardWork();
    // The task is stopped before the exchange mutex is taken: it holds rfLock while it waits for it.
    if (needs.stopsFinder) entry_->stopFindTask();
    if (needs.card == EntryNeeds::Card::reset) entry_->cardHold().drop();
    if (needs.exchange) exchange_ = entry_->lockExchange();
    // Last, so that nothing can throw between the start of the hold and this object's end. A pass
    // waiting for the exchange mutex meanwhile sees the hold once it gets it.
    if (needs.card == EntryNeeds::Card::held) {
        entry_->cardHold().beginCommand();
        holding_ = true;
    }
}

EntryCommand::~EntryCommand() {
    if (holding_) entry_->cardHold().endCommandReleasing();
}

void EntryCommand::keepTypeACard(std::span<const std::uint8_t> uid) {
    if (!holding_ || uid.empty()) return;
    Orvane::TypeACardInfo info;
    const std::size_t length = std::min(uid.size(), info.uid.size());
    std::copy_n(uid.begin(), length, info.uid.begin());
    info.uidLen = static_cast<int>(length);
    entry_->cardHold().endCommandHolding(CardId::ofTypeA(info),
                                         [iso = entry_->iso14443A()] { iso->haltCard(); });
    holding_ = false;
}
