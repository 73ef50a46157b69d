#include "card/page_tag/page_tag_type_a.hpp"

#include <algorithm>

#include "crypto/buffer.hpp"

namespace Orvane {

namespace {

// The page count of a request: num, but at least one page.
int pageCount(std::uint8_t num) {
    return std::max<int>(num, 1);
}

bool beyondLastPage(std::uint8_t page, int count) {
    return page + count > kPageCount;
}

}  // namespace

PageTagTypeA::PageTagTypeA(std::shared_ptr<IPageTagTypeAReader> reader)
    : iso14443a_(reader ? reader->iso14443a() : nullptr), reader_(std::move(reader)) {}

void PageTagTypeA::forget() {
    selected_ = false;
    uid_.fill(0);
    uidLen_ = 0;
}

bool PageTagTypeA::selectUid(const std::uint8_t* uid, int len) {
    needReselect_ = false;
    if (selected_) {
        iso14443a_->deselect();
        forget();
    }
    selected_ = uid != nullptr && iso14443a_->selectUid(uid, len, false, nullptr);
    if (selected_) {
        uidLen_ = static_cast<std::uint32_t>(std::clamp(len, 0, static_cast<int>(uid_.size())));
        std::copy_n(uid, uidLen_, uid_.begin());
    }
    return selected_;
}

bool PageTagTypeA::selectAny(TypeACardInfo& info) {
    needReselect_ = false;
    if (selected_) {
        iso14443a_->deselect();
        forget();
    }
    selected_ = iso14443a_->selectAny(info, false, nullptr);
    if (selected_) {
        uidLen_ = static_cast<std::uint32_t>(std::clamp(info.uidLen, 0, static_cast<int>(uid_.size())));
        std::copy_n(info.uid.begin(), uidLen_, uid_.begin());
    }
    return selected_;
}

void PageTagTypeA::halt() {
    iso14443a_->deselect();
    forget();
}

bool PageTagTypeA::reselect() {
    const bool ok = iso14443a_->selectUid(uid_.data(), static_cast<int>(uidLen_), false, nullptr);
    needReselect_ = !ok;
    return ok;
}

int PageTagTypeA::prepare(bool reSelect) {
    if (!selected_) return kNotSelected;
    if (needReselect_ && (!reSelect || !reselect())) return kTagLost;
    return 0;
}

int PageTagTypeA::afterFailure(bool reSelect, int result) {
    needReselect_ = true;
    if (reSelect && !reselect()) return kTagLost;
    return result;
}

int PageTagTypeA::read(bool reSelect, std::uint8_t page, std::uint8_t num, IBuffer& out) {
    const int count = pageCount(num);
    if (beyondLastPage(page, count)) return kBadRange;
    if (const int status = prepare(reSelect); status != 0) return status;
    const bool sized = reader_->readPages(page, count, out);
    const int expected = kPageSize * count;
    if (sized && out.size() == static_cast<std::uint32_t>(expected)) return expected;
    return afterFailure(reSelect, sized ? static_cast<int>(out.size()) : kShortData);
}

int PageTagTypeA::write(bool reSelect, std::uint8_t page, std::uint8_t num, const std::uint8_t* data,
                        int dataLen) {
    if (data == nullptr || dataLen <= 0) return kBadRange;
    const int count = pageCount(num);
    if (beyondLastPage(page, count)) return kBadRange;
    const int expected = kPageSize * count;
    if (dataLen < expected) return kShortData;
    if (const int status = prepare(reSelect); status != 0) return status;
    const int written = reader_->writePages(page, count, data);
    if (written == expected) return expected;
    return afterFailure(reSelect, written);
}

int PageTagTypeA::fastRead(bool reSelect, std::uint8_t page, std::uint8_t num, IBuffer& out) {
    const int count = pageCount(num);
    if (beyondLastPage(page, count)) return kBadRange;
    if (const int status = prepare(reSelect); status != 0) return status;
    const int requested = std::min(count, kMaxFastReadPages);
    const bool ok = reader_->fastRead(page, requested, out);
    const int expected = kPageSize * requested;
    if (ok && out.size() == static_cast<std::uint32_t>(expected)) return expected;
    return afterFailure(reSelect, ok ? static_cast<int>(out.size()) : kShortData);
}

bool PageTagTypeA::reselectIfNeeded() {
    return !needReselect_ || reselect();
}

bool PageTagTypeA::pwdAuth(const std::uint8_t* password, std::uint16_t& pack) {
    if (!reselectIfNeeded()) return false;
    if (reader_->pwdAuth(password, pack)) return true;
    needReselect_ = true;
    return false;
}

bool PageTagTypeA::getVersion(PageTagVersion& out) {
    if (!reselectIfNeeded()) return false;
    if (reader_->getVersion(out)) return true;
    needReselect_ = true;
    return false;
}

bool PageTagTypeA::readCounter(std::uint32_t& counter) {
    if (!reselectIfNeeded()) return false;
    if (reader_->readCounter(counter)) return true;
    needReselect_ = true;
    return false;
}

bool PageTagTypeA::readSignature(IBuffer& out) {
    if (!reselectIfNeeded()) return false;
    if (reader_->readSignature(out)) return true;
    needReselect_ = true;
    return false;
}

}  // namespace Orvane
