#pragma once
// One reader's page tag: remembers the selected tag and applies the page-range limits and the
// reselect rule on top of the reader's page access.
//
// A failed operation leaves the tag outside the state it was in (a tag answers a refused command
// with NAK and falls back to IDLE or HALT), so `needReselect` is set; read, write and fastRead then
// select it again by its UID when the caller allows it, the other operations always do.

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "card/iso14443a/type_a_selection.hpp"
#include "card/page_tag/ipage_tag_reader.hpp"

namespace Orvane {

class PageTagTypeA {
  public:
    // Results of read, write and fastRead besides the byte counts.
    enum Status : int {
        kBadRange = -1,   // page + count beyond page 255, or no data to write
        kShortData = -2,  // write: data shorter than 4 x count; reads: the buffer cannot be sized
        kNotSelected = -3,
        kTagLost = -4,  // reselection needed but not allowed, or failed
    };
    // The most pages one FAST_READ asks for.
    static constexpr int kMaxFastReadPages = 16;

    explicit PageTagTypeA(std::shared_ptr<IPageTagTypeAReader> reader);

    bool selectUid(const std::uint8_t* uid, int len);
    bool selectAny(TypeACardInfo& info);
    void halt();
    bool isSelected() const { return selection_.isSelected(); }
    std::span<const std::uint8_t> uid() const { return selection_.uid(); }
    bool needReselect() const { return selection_.needReselect(); }

    // `num` pages from `page` (at least one): 4 x count, a partial byte count or a Status.
    int read(bool reSelect, std::uint8_t page, std::uint8_t num, IBuffer& out);
    int write(bool reSelect, std::uint8_t page, std::uint8_t num, const std::uint8_t* data, int dataLen);
    // As read, with one FAST_READ of at most kMaxFastReadPages pages.
    int fastRead(bool reSelect, std::uint8_t page, std::uint8_t num, IBuffer& out);

    bool pwdAuth(const std::uint8_t* password, std::uint16_t& pack);
    bool getVersion(PageTagVersion& out);
    bool readCounter(std::uint32_t& counter);
    bool readSignature(IBuffer& out);

  private:
    // The selected tag and the reselect rule: 0 or a Status.
    int prepare(bool reSelect);
    // After a failed transfer: the tag is selected again when allowed; `result` or kTagLost.
    int afterFailure(bool reSelect, int result);
    // The reselection the tag operations other than read and write make first.
    bool reselectIfNeeded();

    TypeASelection selection_;
    std::shared_ptr<IPageTagTypeAReader> reader_;
};

}  // namespace Orvane
