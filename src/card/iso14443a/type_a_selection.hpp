#pragma once
// The type A card a card object works on: selected by UID or by whichever answers, its UID kept
// (at most 10 bytes) so that a card a failed transfer put to rest can be selected again.

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "card/iso14443a/iiso14443a_reader.hpp"

namespace Orvane {

class TypeASelection {
  public:
    explicit TypeASelection(std::shared_ptr<IIso14443AReader> reader) : reader_(std::move(reader)) {}

    // A card selected before is deselected first.
    bool selectUid(const std::uint8_t* uid, int len);
    bool selectAny(TypeACardInfo& info);
    void halt();
    // Selects the kept UID again; the need to reselect stays when that fails.
    bool reselect();

    bool isSelected() const { return selected_; }
    std::span<const std::uint8_t> uid() const { return {uid_.data(), uidLen_}; }
    bool needReselect() const { return needReselect_; }
    // A transfer failed: the card is at rest until it is selected again.
    void markForReselect() { needReselect_ = true; }

  private:
    void deselectHeld();
    void keep(const std::uint8_t* uid, int len);

    std::shared_ptr<IIso14443AReader> reader_;
    bool needReselect_ = false;
    bool selected_ = false;
    std::array<std::uint8_t, 10> uid_{};
    std::uint32_t uidLen_ = 0;
};

}  // namespace Orvane
