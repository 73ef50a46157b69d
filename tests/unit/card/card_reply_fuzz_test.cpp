// The type A, Mifare Classic and page tag card code, and now and then a reader command, against a reader
// whose every answer is random: well-framed replies with random status and random data of any length, or
// silence. Nothing is asserted about the results beyond their ranges; what must not happen is a
// crash, a write past a buffer (run it under AddressSanitizer) or a hang. The seed is fixed, so a
// failure reproduces.

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <mutex>
#include <random>
#include <vector>

#include "card/iso14443a/rf_iso14443a.hpp"
#include "card/mifare/mifare_classic.hpp"
#include "card/mifare/rf_mifare_classic.hpp"
#include "card/page_tag/page_tag_type_a.hpp"
#include "card/page_tag/rf_page_tag_type_a.hpp"
#include "crypto/std_buf.hpp"
#include "support/sim_readers.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Random answers for every command of a firmware, shared with the test's own choices.
class RandomCard {
  public:
    explicit RandomCard(unsigned seed) : random_(seed) {}

    void takeOver(rfsim::VirtualReader& reader) {
        reader.withFirmware([this](rfsim::Firmware& firmware) {
            for (int c = 0; c < 256; ++c)
                firmware.setCommand(static_cast<std::uint8_t>(c),
                                    [this](const rfsim::Request&) { return answer(); });
        });
    }

    std::size_t below(std::size_t n) {
        std::lock_guard lock(mutex_);
        return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(random_);
    }
    bool chance(int percent) { return below(100) < static_cast<std::size_t>(percent); }
    Bytes bytes(std::size_t n) {
        Bytes out(n);
        for (auto& b : out)
            b = static_cast<std::uint8_t>(below(256));
        return out;
    }

  private:
    // Lengths a parser is likely to trip on: none, the sizes of UIDs, blocks and ATS, and long ones.
    std::size_t replyLength() {
        static constexpr std::size_t kSizes[] = {0, 1, 2, 3, 4, 5, 7, 8, 10, 11, 16, 17, 18, 20, 32};
        return chance(80) ? kSizes[below(std::size(kSizes))] : below(250);
    }
    std::optional<rfsim::Reply> answer() {
        if (chance(1)) return std::nullopt;  // silence: the exchange times out
        rfsim::Reply reply;
        reply.status = chance(85) ? 0 : static_cast<std::uint8_t>(below(256));
        reply.data = bytes(replyLength());
        return reply;
    }

    std::mutex mutex_;
    std::mt19937 random_;
};

// The VC family reports the whole UID as the reader found it, so any length from 4 to 10 passes.
bool plausibleUid(const Orvane::TypeACardInfo& card) {
    return card.uidLen >= 4 && card.uidLen <= 10;
}

class CardReplyFuzz : public testing::TestWithParam<std::uint8_t> {
  protected:
    void SetUp() override {
        RfReader::forgetLastGoodPorts();
        reader->setType(GetParam());
        // The real firmware answers the handshake and the mode change; the card code finds the
        // reader in type A mode and sends only card commands from then on.
        ASSERT_TRUE(reader->open(false));
        ASSERT_TRUE(reader->setProtocol(Orvane::rf_mode::kIso14443A, false));
        card.takeOver(virtualReader);
    }
    void TearDown() override { RfReader::forgetLastGoodPorts(); }

    void typeAStep() {
        Orvane::TypeACardInfo info;
        Orvane::StdBuf buffer;
        switch (card.below(5)) {
            case 0: {
                std::vector<Orvane::TypeACardInfo> cards;
                const int n = typeA->findCards(cards, static_cast<int>(card.below(4)));
                EXPECT_LE(n, RfIso14443A::kMaxCardsPerSearch);
                for (const auto& c : cards)
                    EXPECT_TRUE(plausibleUid(c)) << c.uidLen;
                break;
            }
            case 1:
                if (typeA->selectAny(info, card.chance(50), &buffer)) {
                    EXPECT_TRUE(plausibleUid(info)) << info.uidLen;
                }
                break;
            case 2: {
                constexpr std::array<std::size_t, 3> kUidSizes{4, 7, 10};
                const Bytes uid = card.bytes(kUidSizes[card.below(kUidSizes.size())]);
                typeA->selectUid(uid.data(), static_cast<int>(uid.size()), card.chance(50), &buffer);
                break;
            }
            case 3: {
                const Bytes request = card.bytes(1 + card.below(40));
                typeA->rawExchange(request.data(), static_cast<int>(request.size()), buffer);
                break;
            }
            case 4:
                typeA->deselect();
                break;
        }
    }

    void mifareStep() {
        const auto sector = static_cast<std::uint8_t>(card.below(42));
        const Bytes key = card.bytes(6);
        std::vector<std::uint8_t> out(card.chance(50) ? 1024 : card.below(300));
        const auto pos = static_cast<std::uint8_t>(card.below(17));
        const auto num = static_cast<std::uint8_t>(card.below(17));
        switch (card.below(4)) {
            case 0: {
                const int n =
                    mifare->read(card.chance(50), sector, key.data(), out.data(),
                                 static_cast<int>(out.size()), pos, num, card.chance(50), card.chance(50));
                EXPECT_LE(n, static_cast<int>(out.size()));
                break;
            }
            case 1: {
                const Bytes data = card.bytes(card.below(300));
                mifare->isWrite = card.chance(50);
                mifare->write(card.chance(50), sector, key.data(), data.data(), static_cast<int>(data.size()),
                              pos, num, card.chance(50));
                break;
            }
            case 2: {
                const Bytes trailer = card.bytes(16), other = card.bytes(6);
                mifare->writeTrailer(sector, key.data(), other.data(), trailer.data());
                break;
            }
            case 3: {
                Orvane::TypeACardInfo info;
                mifare->selectAny(info);
                std::uint8_t block[16];
                if (blocks->authenticate(sector, key.data(), card.chance(50)))
                    blocks->readBlock(static_cast<std::uint8_t>(card.below(256)), block);
                break;
            }
        }
    }

    void pageTagStep() {
        const auto page = static_cast<std::uint8_t>(card.below(256));
        const auto num = static_cast<std::uint8_t>(card.below(256));
        Orvane::StdBuf out;
        switch (card.below(5)) {
            case 0: {
                const int n = pageTag->read(card.chance(50), page, num, out);
                EXPECT_LE(n, 4 * std::max<int>(num, 1));
                EXPECT_LE(std::max(n, 0), static_cast<int>(out.size()));
                break;
            }
            case 1: {
                const Bytes data = card.bytes(card.below(100));
                pageTag->write(card.chance(50), page, num, data.data(), static_cast<int>(data.size()));
                break;
            }
            case 2:
                EXPECT_LE(pageTag->fastRead(card.chance(50), page, num, out), 64);
                break;
            case 3: {
                Orvane::PageTagVersion version{};
                std::uint32_t counter = 0;
                std::uint16_t pack = 0;
                const Bytes pwd = card.bytes(4);
                pageTag->getVersion(version);
                pageTag->readCounter(counter);
                EXPECT_LE(counter, 0xFFFFFFu);
                pageTag->pwdAuth(pwd.data(), pack);
                pageTag->readSignature(out);
                break;
            }
            case 4: {
                Orvane::TypeACardInfo info;
                pageTag->selectAny(info);
                break;
            }
        }
    }

    // Now and then a reader command; a mode change sends the card code back to the mode request.
    void readerStep() {
        std::string version;
        switch (card.below(5)) {
            case 0:
                if (reader->readVersion(version)) {
                    EXPECT_LE(version.size(), 1024u);
                }
                break;
            case 1:
                reader->resetField();
                break;
            case 2:
                reader->setProtocol(static_cast<std::uint8_t>(card.below(4)), card.chance(50));
                break;
            case 3:
                reader->beep(static_cast<std::uint8_t>(card.below(256)));
                break;
            case 4:
                reader->setLeds(static_cast<std::uint8_t>(card.below(3)),
                                static_cast<std::uint8_t>(card.below(3)));
                break;
        }
    }

    SimReaders sim;
    rfsim::VirtualReader& virtualReader = *sim.add(GetParam()).reader;
    std::shared_ptr<RfReader> reader = std::make_shared<RfReader>(sim.bus);
    std::shared_ptr<RfIso14443A> typeA = std::make_shared<RfIso14443A>(reader);
    std::shared_ptr<RfMifareClassic> blocks = std::make_shared<RfMifareClassic>(typeA);
    std::shared_ptr<Orvane::MifareClassic> mifare = std::make_shared<Orvane::MifareClassic>(blocks);
    std::shared_ptr<Orvane::PageTagTypeA> pageTag =
        std::make_shared<Orvane::PageTagTypeA>(std::make_shared<RfPageTagTypeA>(typeA));
    RandomCard card{0x5EED0000u + GetParam()};
};

}  // namespace

TEST_P(CardReplyFuzz, RandomRepliesNeverBreakTheCardCode) {
    for (int i = 0; i < 3000; ++i) {
        const std::size_t pick = card.below(100);
        if (pick < 5)
            readerStep();
        else if (pick < 45)
            typeAStep();
        else if (pick < 75)
            mifareStep();
        else
            pageTagStep();
    }
}

// One reader of each frame family, and the two whose Mifare access re-activates the card.
INSTANTIATE_TEST_SUITE_P(Readers, CardReplyFuzz,
                         testing::Values(kReaderVdHid, kReaderVaHid, kReaderVcCh9326, kReaderVbCh340),
                         [](const testing::TestParamInfo<std::uint8_t>& info) {
                             return "Type" + std::to_string(info.param);
                         });
