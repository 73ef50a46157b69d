#include "card/pcsc/pcsc_page_tag.hpp"

#include <algorithm>
#include <array>
#include <vector>

#include "card/page_tag/page_steps.hpp"
#include "card/pcsc/pcsc_type_a.hpp"

namespace {
constexpr std::uint8_t kFourPages = 4 * Orvane::kPageSize;
}  // namespace

PcscPageTag::PcscPageTag(std::shared_ptr<PcscTypeA> card) : card_(std::move(card)) {}

std::shared_ptr<Orvane::IIso14443AReader> PcscPageTag::iso14443a() {
    return card_;
}

bool PcscPageTag::readFour(std::uint8_t page, std::uint8_t* out) {
    const std::uint8_t read[] = {0xFF, 0xB0, 0x00, page, kFourPages};
    std::vector<std::uint8_t> data;
    if (!card_->storageCommand(read, data) || data.size() != kFourPages) return false;
    std::copy(data.begin(), data.end(), out);
    return true;
}

bool PcscPageTag::writeOne(std::uint8_t page, const std::uint8_t* data) {
    std::array<std::uint8_t, 5 + Orvane::kPageSize> update{0xFF, 0xD6, 0x00, page, Orvane::kPageSize};
    std::copy_n(data, Orvane::kPageSize, update.begin() + 5);
    std::vector<std::uint8_t> answer;
    return card_->storageCommand(update, answer);
}

bool PcscPageTag::readPages(std::uint8_t first, int count, Orvane::IBuffer& out) {
    return Orvane::readPagesByFour(
        first, count, out, [this](std::uint8_t page, std::uint8_t* four) { return readFour(page, four); });
}

int PcscPageTag::writePages(std::uint8_t first, int count, const std::uint8_t* data) {
    return Orvane::writePagesOneByOne(
        first, count, data,
        [this](std::uint8_t page, const std::uint8_t* bytes) { return writeOne(page, bytes); });
}
