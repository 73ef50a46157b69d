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
    : selection_(reader ? reader->iso14443a() : nullptr), reader_(std::move(reader)) {}

bool PageTagTypeA::selectUid(const std::uint8_t* uid, int len) {
    return selection_.selectUid(uid, len);
}

bool PageTagTypeA::selectAny(TypeACardInfo& info) {
    return selection_.selectAny(info);
}

void PageTagTypeA::halt() {
    selection_.halt();
}

int PageTagTypeA::prepare(bool reSelect) {
    if (!selection_.isSelected()) return kNotSelected;
    if (selection_.needReselect() && (!reSelect || !selection_.reselect())) return kTagLost;
    return 0;
}

int PageTagTypeA::afterFailure(bool reSelect, int result) {
    selection_.markForReselect();
    if (reSelect && !selection_.reselect()) return kTagLost;
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
    return !selection_.needReselect() || selection_.reselect();
}

bool PageTagTypeA::pwdAuth(const std::uint8_t* password, std::uint16_t& pack) {
    if (!reselectIfNeeded()) return false;
    if (reader_->pwdAuth(password, pack)) return true;
    selection_.markForReselect();
    return false;
}

bool PageTagTypeA::getVersion(PageTagVersion& out) {
    if (!reselectIfNeeded()) return false;
    if (reader_->getVersion(out)) return true;
    selection_.markForReselect();
    return false;
}

bool PageTagTypeA::readCounter(std::uint32_t& counter) {
    if (!reselectIfNeeded()) return false;
    if (reader_->readCounter(counter)) return true;
    selection_.markForReselect();
    return false;
}

bool PageTagTypeA::readSignature(IBuffer& out) {
    if (!reselectIfNeeded()) return false;
    if (reader_->readSignature(out)) return true;
    selection_.markForReselect();
    return false;
}

}  // namespace Orvane
