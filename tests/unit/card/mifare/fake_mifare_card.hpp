#pragma once
// A Mifare Classic card behind the two reader interfaces, in memory, for the card object's tests.
// Like a real card it leaves the authenticated state on any refused command (it goes idle and must
// be selected again), reads Key A back as zeros and keeps a list of the calls it saw.

#include <algorithm>
#include <array>
#include <set>
#include <string>
#include <vector>

#include "card/mifare/imifare_classic_reader.hpp"
#include "card/mifare/mifare_layout.hpp"

struct FakeMifareCard : Orvane::IIso14443AReader,
                        Orvane::IMifareClassicReader,
                        std::enable_shared_from_this<FakeMifareCard> {
    using Key = std::array<std::uint8_t, 6>;
    static constexpr Key kDefaultKey{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

    std::vector<std::uint8_t> cardUid{0x01, 0x02, 0x03, 0x04};
    bool present = true;
    std::array<std::array<std::uint8_t, 16>, 256> blocks{};
    std::array<Key, 40> keyA, keyB;
    std::set<int> readOnly{0};  // the manufacturer block
    std::set<int> failRead;     // blocks whose read is refused
    bool keyBWritesTrailer = true;

    bool selected = false;
    int authSector = -1;
    std::vector<std::string> calls;

    FakeMifareCard() {
        keyA.fill(kDefaultKey);
        keyB.fill(kDefaultKey);
        for (int b = 0; b < 256; ++b)
            blocks[b].fill(static_cast<std::uint8_t>(b));
    }

    void drop() {
        selected = false;
        authSector = -1;
    }

    // --- IIso14443AReader
    int findCards(std::vector<Orvane::TypeACardInfo>&, int) override { return 0; }
    bool selectUid(const std::uint8_t* uid, int len, bool, Orvane::IBuffer*) override {
        calls.push_back("select");
        drop();
        selected =
            present && len == static_cast<int>(cardUid.size()) && std::equal(uid, uid + len, cardUid.begin());
        return selected;
    }
    bool selectAny(Orvane::TypeACardInfo& info, bool, Orvane::IBuffer*) override {
        calls.push_back("selectAny");
        drop();
        if (!present) return false;
        std::copy(cardUid.begin(), cardUid.end(), info.uid.begin());
        info.uidLen = static_cast<int>(cardUid.size());
        selected = true;
        return true;
    }
    bool rawExchange(const std::uint8_t*, int, Orvane::IBuffer&) override { return false; }
    bool deselect() override {
        calls.push_back("deselect");
        drop();
        return true;
    }

    // --- IMifareClassicReader
    std::shared_ptr<Orvane::IIso14443AReader> iso14443a() override { return shared_from_this(); }
    bool authenticate(std::uint8_t sector, const std::uint8_t* key, bool useKeyB) override {
        calls.push_back(std::string("auth ") + std::to_string(sector) + (useKeyB ? "B" : "A"));
        const Key& expected = useKeyB ? keyB[sector] : keyA[sector];
        if (!selected || !present || !std::equal(expected.begin(), expected.end(), key)) {
            drop();
            return false;
        }
        authSector = sector;
        authKeyB = useKeyB;
        return true;
    }
    bool readBlock(std::uint8_t block, std::uint8_t* out) override {
        calls.push_back("read " + std::to_string(block));
        if (!mayUse(block) || failRead.count(block)) {
            drop();
            return false;
        }
        std::copy(blocks[block].begin(), blocks[block].end(), out);
        if (isTrailer(block)) std::fill_n(out, 6, 0);  // Key A never reads back
        return true;
    }
    bool writeBlock(std::uint8_t block, const std::uint8_t* data) override {
        calls.push_back("write " + std::to_string(block));
        if (!mayUse(block) || readOnly.count(block) || (isTrailer(block) && authKeyB && !keyBWritesTrailer)) {
            drop();
            return false;
        }
        std::copy_n(data, 16, blocks[block].begin());
        if (isTrailer(block)) {
            std::copy_n(data, 6, keyA[authSector].begin());
            std::copy_n(data + 10, 6, keyB[authSector].begin());
        }
        return true;
    }

    static bool isTrailer(int block) {
        return Orvane::mifare::isFirstBlockOfSector(static_cast<std::uint8_t>(block + 1));
    }

  private:
    bool mayUse(int block) const {
        if (!present || !selected || authSector < 0) return false;
        const auto first = Orvane::mifare::firstBlock(static_cast<std::uint8_t>(authSector));
        return block >= first &&
               block < first + Orvane::mifare::blockCount(static_cast<std::uint8_t>(authSector));
    }
    bool authKeyB = false;
};
