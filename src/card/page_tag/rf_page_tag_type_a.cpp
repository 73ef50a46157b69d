#include "card/page_tag/rf_page_tag_type_a.hpp"

#include <algorithm>
#include <array>
#include <span>

#include "card/iso14443a/rf_iso14443a.hpp"
#include "card/page_tag/page_steps.hpp"
#include "crypto/buffer.hpp"
#include "reader/frame/iva_reader.hpp"
#include "reader/frame/ivc_tsm_reader.hpp"
#include "reader/frame/ivd_reader.hpp"
#include "reader/frame/va_opcodes.hpp"
#include "reader/frame/vc_opcodes.hpp"
#include "reader/frame/vd_opcodes.hpp"
#include "reader/rf_reader.hpp"

namespace {

constexpr int kReadBytes = 4 * Orvane::kPageSize;  // READ answers 4 pages
constexpr int kWriteBytes = 16;                    // COMPATIBILITY_WRITE takes 16 bytes

}  // namespace

RfPageTagTypeA::RfPageTagTypeA(std::shared_ptr<RfIso14443A> iso14443a) : iso14443a_(std::move(iso14443a)) {}

std::shared_ptr<Orvane::IIso14443AReader> RfPageTagTypeA::iso14443a() {
    return iso14443a_;
}

RfReader& RfPageTagTypeA::reader() const {
    return *iso14443a_->reader();
}

bool RfPageTagTypeA::inTypeAMode() {
    return reader().setProtocol(Orvane::rf_mode::kIso14443A, false);
}

bool RfPageTagTypeA::readFour(std::uint8_t page, std::uint8_t* out) {
    if (!inTypeAMode()) return false;
    const auto take = [out](std::span<const std::uint8_t> reply) {
        if (reply.size() != static_cast<std::size_t>(kReadBytes)) return false;
        std::copy(reply.begin(), reply.end(), out);
        return true;
    };
    if (auto* vd = reader().vdReader())
        return vd->exchange(Orvane::vd::kMifareRead, Orvane::vd::mifareParams(page)) == 0 &&
               take(vd->replyData());
    if (auto* va = reader().vaReader())
        return va->exchange(Orvane::va::kMifareRead, std::span(&page, 1)) == 0 && take(va->replyData());
    if (auto* vc = reader().vcReader())
        return vc->exchange(Orvane::vc::kMifareRead, std::span(&page, 1)) == 0 && take(vc->replyData());
    return false;
}

bool RfPageTagTypeA::writeOne(std::uint8_t page, const std::uint8_t* data) {
    if (!inTypeAMode()) return false;
    std::array<std::uint8_t, kWriteBytes> block{};
    std::copy_n(data, Orvane::kPageSize, block.begin());
    if (auto* vd = reader().vdReader())
        return vd->exchange(Orvane::vd::kMifareWrite, Orvane::vd::mifareParams(page), block) == 0;
    std::array<std::uint8_t, 1 + kWriteBytes> pageAndData{page};
    std::copy(block.begin(), block.end(), pageAndData.begin() + 1);
    if (auto* va = reader().vaReader()) return va->exchange(Orvane::va::kMifareWrite, pageAndData) == 0;
    if (auto* vc = reader().vcReader()) return vc->exchange(Orvane::vc::kMifareWrite, pageAndData) == 0;
    return false;
}

bool RfPageTagTypeA::readPages(std::uint8_t first, int count, Orvane::IBuffer& out) {
    return Orvane::readPagesByFour(
        first, count, out, [this](std::uint8_t page, std::uint8_t* four) { return readFour(page, four); });
}

int RfPageTagTypeA::writePages(std::uint8_t first, int count, const std::uint8_t* data) {
    return Orvane::writePagesOneByOne(
        first, count, data,
        [this](std::uint8_t page, const std::uint8_t* bytes) { return writeOne(page, bytes); });
}

namespace {

// A VC-only command once the reader is in type A mode: its reply data, or nullopt.
template <typename Take>
bool vcCommand(RfReader& reader, std::uint8_t command, std::span<const std::uint8_t> data, Take take) {
    auto* vc = reader.vcReader();
    if (vc == nullptr || !reader.setProtocol(Orvane::rf_mode::kIso14443A, false)) return false;
    if (vc->exchange(command, data) != 0) return false;
    take(vc->replyData());
    return true;
}

bool storeAll(Orvane::IBuffer& out, std::span<const std::uint8_t> reply) {
    return out.assign(reply.data(), static_cast<std::uint32_t>(reply.size()));
}

}  // namespace

bool RfPageTagTypeA::fastRead(std::uint8_t first, int count, Orvane::IBuffer& out) {
    if (count < 1) return false;
    const std::array<std::uint8_t, 2> range{first, static_cast<std::uint8_t>(first + count - 1)};
    bool stored = true;
    const bool ok =
        vcCommand(reader(), Orvane::vc::kPageFastRead, range, [&](std::span<const std::uint8_t> reply) {
            // More bytes than the pages asked for are no answer to this request.
            stored =
                reply.size() <= static_cast<std::size_t>(Orvane::kPageSize * count) && storeAll(out, reply);
        });
    return ok && stored;
}

bool RfPageTagTypeA::pwdAuth(const std::uint8_t* password, std::uint16_t& pack) {
    if (password == nullptr) return false;
    // Any other answer length still counts: the reader said the tag accepted the password.
    return vcCommand(reader(), Orvane::vc::kPagePwdAuth, std::span(password, 4),
                     [&](std::span<const std::uint8_t> reply) {
                         if (reply.size() == 2) pack = static_cast<std::uint16_t>(reply[0] | reply[1] << 8);
                     });
}

bool RfPageTagTypeA::getVersion(Orvane::PageTagVersion& out) {
    return vcCommand(reader(), Orvane::vc::kPageGetVersion, {}, [&](std::span<const std::uint8_t> reply) {
        if (reply.size() == out.size()) std::copy(reply.begin(), reply.end(), out.begin());
    });
}

bool RfPageTagTypeA::readCounter(std::uint32_t& counter) {
    return vcCommand(reader(), Orvane::vc::kPageReadCounter, {}, [&](std::span<const std::uint8_t> reply) {
        if (reply.size() == 3)
            counter = reply[0] | reply[1] << 8 | static_cast<std::uint32_t>(reply[2]) << 16;
    });
}

bool RfPageTagTypeA::readSignature(Orvane::IBuffer& out) {
    bool stored = true;
    const bool ok = vcCommand(reader(), Orvane::vc::kPageReadSignature, {},
                              [&](std::span<const std::uint8_t> reply) { stored = storeAll(out, reply); });
    return ok && stored;
}
