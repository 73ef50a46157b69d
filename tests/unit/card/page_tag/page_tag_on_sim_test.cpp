// The page tag stack (tag object, page access, type A searcher, reader, frames, transport) against
// a simulated NTAG on a reader of each frame family, and against VC firmware scripted to answer
// pages a real tag does not have.

#include <gtest/gtest.h>

#include "card/iso14443a/rf_iso14443a.hpp"
#include "card/page_tag/page_tag_type_a.hpp"
#include "card/page_tag/rf_page_tag_type_a.hpp"
#include "crypto/std_buf.hpp"
#include "sim/card/ntag_card.hpp"
#include "sim/field/type_a_commands.hpp"
#include "support/hex_bytes.hpp"
#include "support/sim_readers.hpp"

using Orvane::PageTagTypeA;

namespace {

const Bytes kUid = hexBytes("04C15A7E2B6180");

// The family's 4-page read command.
std::uint8_t readCommandOf(std::uint8_t type) {
    switch (familyOf(type)) {
        case ReaderFamily::vd:
            return 0x61;
        case ReaderFamily::va:
            return 0x18;
        default:
            return 0x4B;
    }
}

class PageTagStack : public testing::Test {
  protected:
    void open(std::uint8_t type) {
        type_ = type;
        virtualReader_ = sim.add(type).reader.get();
        ASSERT_TRUE(rfsim::attachField(*virtualReader_, field));
        reader->setType(type);
        ASSERT_TRUE(reader->open(false));
    }
    std::shared_ptr<rfsim::NtagCard> placeTag(rfsim::NtagType kind = rfsim::NtagType::ntag216) {
        auto tag = rfsim::makeNtag(kUid, kind);
        EXPECT_TRUE(field->place(tag));
        return tag;
    }
    bool select() { return tag.selectUid(kUid.data(), static_cast<int>(kUid.size())); }
    std::uint64_t commandsSoFar() const { return virtualReader_->state().commands.total(); }
    // How many of the reader's commands since `from` were 4-page reads.
    int readsSince(std::size_t keptBefore) const {
        const std::vector<std::uint8_t> commands = virtualReader_->state().commands;
        return static_cast<int>(std::count(commands.begin() + static_cast<std::ptrdiff_t>(keptBefore),
                                           commands.end(), readCommandOf(type_)));
    }
    std::size_t keptCommands() const { return virtualReader_->state().commands.size(); }
    std::string text() const { return Orvane::hexEncode(std::span(out.data(), out.size())); }

    SimReaders sim;
    std::shared_ptr<rfsim::VirtualField> field = std::make_shared<rfsim::VirtualField>();
    std::shared_ptr<RfReader> reader = std::make_shared<RfReader>(sim.bus);
    std::shared_ptr<RfIso14443A> typeA = std::make_shared<RfIso14443A>(reader);
    PageTagTypeA tag{std::make_shared<RfPageTagTypeA>(typeA)};
    Orvane::StdBuf out;
    rfsim::VirtualReader* virtualReader_ = nullptr;
    std::uint8_t type_ = 0;
};

class PageTagOnFamilies : public PageTagStack, public testing::WithParamInterface<std::uint8_t> {};

}  // namespace

TEST_P(PageTagOnFamilies, ReadsAndWritesPagesInFourPageReads) {
    open(GetParam());
    auto ntag = placeTag();
    EXPECT_EQ(tag.read(true, 4, 1, out), PageTagTypeA::kNotSelected);
    ASSERT_TRUE(select());

    const Bytes data = hexBytes("000102030405060708090A0B0C0D0E0F1011121314151617");
    EXPECT_EQ(tag.write(true, 4, 6, data.data(), static_cast<int>(data.size())), 24);
    EXPECT_EQ(ntag->page(9), (rfsim::NtagCard::Page{0x14, 0x15, 0x16, 0x17}));
    EXPECT_EQ(tag.write(true, 4, 6, data.data(), 23), PageTagTypeA::kShortData);
    EXPECT_EQ(tag.write(true, 255, 2, data.data(), 8), PageTagTypeA::kBadRange);

    const std::size_t before = keptCommands();
    EXPECT_EQ(tag.read(true, 4, 6, out), 24);
    EXPECT_EQ(readsSince(before), 2);  // pages 4 and 8
    EXPECT_EQ(text(), "000102030405060708090A0B0C0D0E0F1011121314151617");
    // num 0 reads one page, as num 1 does.
    for (const std::uint8_t num : {0, 1}) {
        EXPECT_EQ(tag.read(true, 5, num, out), 4);
        EXPECT_EQ(text(), "04050607");
    }
    EXPECT_EQ(tag.read(true, 250, 8, out), PageTagTypeA::kBadRange);
    // Page 240 is past the tag's memory: NAK, the tag is selected again, nothing was read.
    EXPECT_EQ(tag.read(true, 240, 1, out), 0);
    EXPECT_FALSE(tag.needReselect());
    EXPECT_EQ(tag.read(false, 240, 1, out), 0);
    EXPECT_TRUE(tag.needReselect());
    EXPECT_EQ(tag.read(false, 4, 1, out), PageTagTypeA::kTagLost);
    EXPECT_EQ(tag.read(true, 4, 1, out), 4);

    field->clear();
    EXPECT_EQ(tag.read(true, 4, 1, out), PageTagTypeA::kTagLost);
}

INSTANTIATE_TEST_SUITE_P(Families, PageTagOnFamilies, testing::Values(kReaderVdHid, kReaderVcCh9326));

// NTAG21x UIDs have 7 bytes (two cascade levels) and the VA firmware resolves level 1 only: the
// tag answers SAK 04 (UID not complete) and stays READY, so no page command reaches it.
TEST_F(PageTagStack, VaReadersNeverGetANtagActive) {
    open(kReaderVaHid);
    auto ntag = placeTag();
    Orvane::TypeACardInfo info;
    EXPECT_TRUE(tag.selectAny(info));
    EXPECT_EQ(info.uidLen, 4);
    EXPECT_EQ(info.sak, 0x04);
    EXPECT_EQ(ntag->state(), rfsim::CardState::ready);
    EXPECT_EQ(tag.read(true, 4, 1, out), 0);
}

class PageTagCommands : public PageTagStack, public testing::WithParamInterface<std::uint8_t> {};

TEST_P(PageTagCommands, TagCommandsExistOnVcReadersOnly) {
    open(GetParam());
    placeTag(rfsim::NtagType::ntag215);
    Orvane::TypeACardInfo info;
    ASSERT_TRUE(tag.selectAny(info));
    const bool vc = familyOf(GetParam()) == ReaderFamily::vc;
    const std::uint64_t before = commandsSoFar();

    EXPECT_EQ(tag.fastRead(true, 0, 20, out), vc ? 64 : PageTagTypeA::kShortData);
    if (vc) {
        EXPECT_EQ(text().substr(0, 8), "04C15A17");
    }
    EXPECT_EQ(tag.fastRead(true, 240, 20, out), PageTagTypeA::kBadRange);  // the full count is checked
    Orvane::PageTagVersion version{};
    EXPECT_EQ(tag.getVersion(version), vc);
    if (vc) {
        EXPECT_EQ(Orvane::hexEncode(version), "0004040201001103");
    }
    const std::uint8_t pwd[] = {0xFF, 0xFF, 0xFF, 0xFF};
    std::uint16_t pack = 0xFFFF;
    EXPECT_EQ(tag.pwdAuth(pwd, pack), vc);
    EXPECT_EQ(pack, vc ? 0x0000 : 0xFFFF);
    EXPECT_EQ(tag.readSignature(out), vc);
    // Elsewhere the tag commands are not sent at all (the failures only bring reselections).
    const std::vector<std::uint8_t> sent = virtualReader_->state().commands;
    const auto tagCommands = std::count_if(sent.end() - static_cast<std::ptrdiff_t>(commandsSoFar() - before),
                                           sent.end(), [](std::uint8_t c) { return c >= 0x87 && c <= 0x8B; });
    EXPECT_EQ(tagCommands, vc ? 4 : 0);
}

INSTANTIATE_TEST_SUITE_P(Families, PageTagCommands,
                         testing::Values(kReaderVdHid, kReaderVaHid, kReaderVcCh9326));

// A reader that answers any page number with 16 bytes: page p of the answer holds p p p p.
class PageTagScripted : public PageTagStack {
  protected:
    void SetUp() override {
        open(kReaderVcCh9326);
        placeTag();
        virtualReader_->withFirmware([this](rfsim::Firmware& firmware) {
            firmware.setCommand(0x4B, [this](const rfsim::Request& r) -> std::optional<rfsim::Reply> {
                requested.push_back(r.data[0]);
                Bytes pages;
                for (int i = 0; i < 16; ++i)
                    pages.push_back(static_cast<std::uint8_t>(r.data[0] + i / 4));
                return rfsim::Reply{0, pages};
            });
        });
        ASSERT_TRUE(select());
    }
    std::vector<std::uint8_t> requested;
};

TEST_F(PageTagScripted, ReadsUpToPage255AndPlacesEveryPageAtItsOffset) {
    EXPECT_EQ(tag.read(true, 248, 8, out), 32);
    EXPECT_EQ(requested, (std::vector<std::uint8_t>{248, 252}));
    EXPECT_EQ(text().substr(48), "FEFEFEFEFFFFFFFF");

    requested.clear();
    EXPECT_EQ(tag.read(true, 0, 70, out), 280);
    EXPECT_EQ(requested.size(), 18u);
    for (std::size_t page = 0; page < 70; ++page)
        EXPECT_EQ(out.data()[4 * page], page) << page;
}

TEST_F(PageTagScripted, AShortReplyIsAPartialRead) {
    virtualReader_->withFirmware([](rfsim::Firmware& firmware) {
        firmware.setCommand(0x4B, [](const rfsim::Request& r) -> std::optional<rfsim::Reply> {
            if (r.data[0] >= 8) return rfsim::Reply{0, Bytes(12, 0xEE)};  // 3 pages: not a READ answer
            return rfsim::Reply{0, Bytes(16, r.data[0])};
        });
    });
    EXPECT_EQ(tag.read(true, 0, 12, out), 32);
    EXPECT_FALSE(tag.needReselect());  // selected again
    EXPECT_EQ(tag.read(false, 0, 12, out), 32);
    EXPECT_EQ(tag.read(false, 0, 1, out), PageTagTypeA::kTagLost);
}

// A fast read answered with more bytes than the pages asked for is no answer: nothing is passed on.
TEST_F(PageTagScripted, AnOverlongFastReadIsRefused) {
    virtualReader_->withFirmware([](rfsim::Firmware& firmware) {
        firmware.setCommand(0x88, [](const rfsim::Request&) -> std::optional<rfsim::Reply> {
            return rfsim::Reply{0, Bytes(100, 0xEE)};
        });
    });
    EXPECT_EQ(tag.fastRead(true, 4, 16, out), PageTagTypeA::kShortData);
    EXPECT_EQ(out.size(), 0u);
}
