#include "card/iso14443a/type_a_selection.hpp"

#include <algorithm>

namespace Orvane {

void TypeASelection::deselectHeld() {
    needReselect_ = false;
    if (!selected_) return;
    reader_->deselect();
    selected_ = false;
    uid_.fill(0);
    uidLen_ = 0;
}

void TypeASelection::keep(const std::uint8_t* uid, int len) {
    uidLen_ = static_cast<std::uint32_t>(std::clamp(len, 0, static_cast<int>(uid_.size())));
    std::copy_n(uid, uidLen_, uid_.begin());
}

bool TypeASelection::selectUid(const std::uint8_t* uid, int len) {
    deselectHeld();
    selected_ = uid != nullptr && reader_->selectUid(uid, len, false, nullptr);
    if (selected_) keep(uid, len);
    return selected_;
}

bool TypeASelection::selectAny(TypeACardInfo& info) {
    deselectHeld();
    selected_ = reader_->selectAny(info, false, nullptr);
    if (selected_) keep(info.uid.data(), info.uidLen);
    return selected_;
}

void TypeASelection::halt() {
    reader_->deselect();
    selected_ = false;
    uid_.fill(0);
    uidLen_ = 0;
}

bool TypeASelection::reselect() {
    const bool ok = reader_->selectUid(uid_.data(), static_cast<int>(uidLen_), false, nullptr);
    needReselect_ = !ok;
    return ok;
}

}  // namespace Orvane
