#include "commands/entry_command.hpp"

#include <algorithm>

#include "card/iso14443a/rf_iso14443a.hpp"
#include "commands/entry/rf_reader_one.hpp"

EntryCommand::EntryCommand(std::shared_ptr<RfReaderOne> entry, EntryNeeds needs) : entry_(std::move(entry)) {
    // The task is stopped before the exchange mutex is taken: it holds rfLock while it waits for it.
    if (needs.stopsFinder) entry_->stopFindTask();
    switch (needs.card) {
        case EntryNeeds::Card::held:
            entry_->cardHold().beginCommand();
            holding_ = true;
            break;
        case EntryNeeds::Card::reset:
            entry_->cardHold().drop();
            break;
        case EntryNeeds::Card::untouched:
            break;
    }
    if (needs.exchange) exchange_ = entry_->lockExchange();
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
