// The multi-block read and write strategies against a scripted ISO 15693 tag that answers each
// block command with a status chosen by the test and records what it was sent.

#include "card/iso15693/block_strategies.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crypto/hex.hpp"
#include "crypto/std_buf.hpp"

namespace {

using Orvane::IBuffer;

class ScriptedTag : public Orvane::IIso15693Reader {
  public:
    std::uint8_t singleStatus = 0;
    int singleFailsAt = -1;  // the single command with this index fails with singleStatus
    std::uint8_t multipleStatus = 0;
    std::vector<std::string> calls;

    bool setMode(std::uint8_t, const Uid&, bool, bool) override { return false; }
    int inventory(std::vector<Orvane::Iso15693Card>&, int, std::uint8_t, bool) override { return -2; }
    std::uint8_t stayQuiet(const Uid&) override { return 0; }
    std::uint8_t readSingleBlock(bool, std::uint8_t block, IBuffer& out) override {
        calls.push_back("S" + std::to_string(block));
        const std::uint8_t status = single();
        if (status == 0) out.append(&block, 1);
        return status;
    }
    std::uint8_t writeSingleBlock(std::uint8_t block, const std::uint8_t* data, std::uint8_t len) override {
        calls.push_back("s" + std::to_string(block) + ":" + std::string(data, data + len));
        return single();
    }
    std::uint8_t lockBlock(std::uint8_t) override { return 0; }
    std::uint8_t readMultipleBlocks(bool, std::uint8_t first, std::uint8_t count, IBuffer& out) override {
        calls.push_back("M" + std::to_string(first) + "+" + std::to_string(count));
        if (multipleStatus == 0) out.append("MM", 2);
        return multipleStatus;
    }
    std::uint8_t writeMultipleBlocks(std::uint8_t first, std::uint8_t count, const std::uint8_t* data,
                                     std::uint32_t len) override {
        calls.push_back("m" + std::to_string(first) + "+" + std::to_string(count) + ":" +
                        std::string(data, data + len));
        return multipleStatus;
    }
    std::uint8_t select(const Uid&) override { return 0; }
    std::uint8_t resetToReady() override { return 0; }
    std::uint8_t writeAfi(std::uint8_t) override { return 0; }
    std::uint8_t lockAfi() override { return 0; }
    std::uint8_t writeDsfid(std::uint8_t) override { return 0; }
    std::uint8_t lockDsfid() override { return 0; }
    std::uint8_t getSystemInfo(Orvane::Iso15693SystemInfo&) override { return 0; }
    std::uint8_t getMultipleBlockSecurity(std::uint8_t, std::uint8_t, IBuffer&) override { return 0; }

  private:
    std::uint8_t single() {
        const int index = singles_++;
        return singleFailsAt < 0 || index == singleFailsAt ? singleStatus : 0;
    }
    int singles_ = 0;
};

std::string joined(const std::vector<std::string>& calls) {
    std::string out;
    for (const auto& call : calls)
        out += (out.empty() ? "" : " ") + call;
    return out;
}

struct ReadCase {
    std::int64_t mode;
    std::uint8_t count;
    std::uint8_t single, multiple;
    int singleFailsAt;
    std::uint8_t result;
    std::string calls, data;
};

}  // namespace

TEST(Iso15693ReadStrategy, EveryModeWithItsFallback) {
    const ReadCase cases[] = {
        // negative: nothing sent
        {-1, 2, 0, 0, -1, 2, "", ""},
        // 0: one multiple-block read whatever it answers
        {0, 2, 0, 0, -1, 0, "M250+2", "MM"},
        {0, 2, 0, 5, -1, 5, "M250+2", ""},
        // 1: block by block, numbers wrapping after 255; the first failure ends it
        {1, 3, 0, 0, -1, 0, "S250 S251 S252", "FAFBFC"},
        {1, 3, 6, 0, 1, 6, "S250 S251", "FA"},
        // 2: multiple first, block by block when it fails, but 254 stops at once
        {2, 2, 0, 5, -1, 0, "M250+2 S250 S251", "FAFB"},
        {2, 2, 0, 254, -1, 254, "M250+2", ""},
        {2, 2, 7, 5, 0, 7, "M250+2 S250", ""},
        // 3: block by block first, then the multiple read after what the single reads appended
        {3, 2, 5, 0, 1, 0, "S250 S251 M250+2", "FAMM"},
        {3, 2, 254, 0, 0, 254, "S250", ""},
        {1, 8, 0, 0, -1, 0, "S250 S251 S252 S253 S254 S255 S0 S1", "FAFBFCFDFEFF0001"},
        // no blocks: the loop is skipped and its failure step runs on the status so far
        {1, 0, 0, 0, -1, 2, "", ""},
        {3, 0, 0, 0, -1, 0, "M250+0", "MM"},
        {2, 0, 0, 9, -1, 9, "M250+0", ""},
    };
    for (const ReadCase& c : cases) {
        ScriptedTag tag;
        tag.singleStatus = c.single;
        tag.singleFailsAt = c.singleFailsAt;
        tag.multipleStatus = c.multiple;
        Orvane::StdBuf out;
        EXPECT_EQ(Orvane::readBlocks(tag, c.mode, false, 250, c.count, out), c.result) << c.mode << c.calls;
        EXPECT_EQ(joined(tag.calls), c.calls) << c.mode;
        std::string data;
        for (std::uint32_t i = 0; i < out.size(); ++i)
            data += out.data()[i] == 'M' ? std::string("M") : Orvane::hexEncode(std::span(out.data() + i, 1));
        EXPECT_EQ(data, c.data) << c.mode << " " << c.calls;
    }
}

TEST(Iso15693WriteStrategy, EveryModeWithItsFallback) {
    struct Case {
        std::int64_t mode;
        std::uint8_t count;
        std::string data;
        std::uint8_t single, multiple;
        std::uint8_t result;
        std::string calls;
    };
    const Case cases[] = {
        {-3, 2, "abcd", 0, 0, 2, ""},
        {0, 2, "abcd", 0, 0, 0, "m1+2:abcd"},
        {0, 2, "abcd", 0, 5, 5, "m1+2:abcd"},
        {1, 2, "abcd", 0, 0, 0, "s1:ab s2:cd"},
        {1, 2, "abcd", 6, 0, 6, "s1:ab"},
        {2, 2, "abcd", 0, 5, 0, "m1+2:abcd s1:ab s2:cd"},
        {2, 2, "abcd", 0, 254, 254, "m1+2:abcd"},
        {3, 2, "abcd", 6, 0, 0, "s1:ab m1+2:abcd"},
        {3, 2, "abcd", 254, 0, 254, "s1:ab"},
        // data that does not split evenly: no block command, the status so far
        {1, 3, "abcdefghij", 0, 0, 2, ""},
        {2, 3, "abcdefghij", 0, 5, 5, "m1+3:abcdefghij"},
        // no blocks with a positive mode: refused before the division
        {1, 0, "abcd", 0, 0, 2, ""},
        {2, 0, "abcd", 0, 5, 2, "m1+0:abcd"},
    };
    for (const Case& c : cases) {
        ScriptedTag tag;
        tag.singleStatus = c.single;
        tag.singleFailsAt = 0;
        tag.multipleStatus = c.multiple;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(c.data.data());
        EXPECT_EQ(
            Orvane::writeBlocks(tag, c.mode, 1, c.count, bytes, static_cast<std::uint32_t>(c.data.size())),
            c.result)
            << c.mode << " " << c.calls;
        EXPECT_EQ(joined(tag.calls), c.calls) << c.mode;
    }
}

TEST(Iso15693WriteStrategy, ABlockLongerThanTheLengthByteIsNotCutShort) {
    ScriptedTag tag;
    const std::vector<std::uint8_t> data(512, 0x41);
    EXPECT_EQ(Orvane::writeBlocks(tag, 1, 0, 2, data.data(), 512), Orvane::kNoStrategy);
    EXPECT_TRUE(tag.calls.empty());
}
