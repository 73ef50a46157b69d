#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "crypto/bind_buf.hpp"
#include "crypto/std_buf.hpp"
#include "support/crypto_support.hpp"

using Orvane::BindBuf;
using Orvane::IBuffer;
using Orvane::StdBuf;

namespace {

const std::uint8_t kAbcdef[] = {'a', 'b', 'c', 'd', 'e', 'f'};

std::string text(const IBuffer& b) {
    return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

}  // namespace

TEST(BindBufMemory, GrowthStopsAtTheBoundCapacity) {
    std::uint8_t memory[8] = {0, 0, 0, 0, 0, 0, 0xEE, 0xEE};
    BindBuf b(memory, 6);
    EXPECT_EQ(b.kind(), BindBuf::kMemory);
    EXPECT_TRUE(b.assign(kAbcdef, 6));
    EXPECT_FALSE(b.resize(7));
    EXPECT_FALSE(b.reserve(7));
    EXPECT_TRUE(b.reserve(6));

    const std::uint8_t wxyz[] = {'w', 'x', 'y', 'z'};
    EXPECT_FALSE(b.write(4, wxyz, 4));  // would end at 8
    EXPECT_EQ(text(b), "abcdef");
    EXPECT_FALSE(b.append(wxyz, 1));
    EXPECT_FALSE(b.grow('!', 1));
    EXPECT_FALSE(b.appendFill(1, '!'));
    EXPECT_FALSE(b.fill(5, '!', 2));
    EXPECT_EQ(text(b), "abcdef");
    EXPECT_EQ(memory[6], 0xEE);  // nothing past the bound bytes
    EXPECT_EQ(memory[7], 0xEE);

    EXPECT_TRUE(b.write(2, wxyz, 4));
    EXPECT_EQ(text(b), "abwxyz");
}

TEST(BindBufMemory, SizeGivenBeyondCapacityIsCut) {
    std::uint8_t memory[4];
    BindBuf b(memory, 4, 9);
    EXPECT_EQ(b.size(), 4u);
}

TEST(BindBufUnbound, EveryGrowthFails) {
    BindBuf b;
    EXPECT_EQ(b.kind(), BindBuf::kUnbound);
    EXPECT_EQ(b.capacity(), 0u);
    EXPECT_EQ(b.size(), 0u);
    EXPECT_EQ(b.data(), nullptr);
    EXPECT_FALSE(b.resize(1));
    EXPECT_FALSE(b.append(kAbcdef, 1));
    EXPECT_FALSE(b.fill(0, 0, 1));
    EXPECT_TRUE(b.append(kAbcdef, 0));  // nothing to copy
    EXPECT_TRUE(b.erase(0, 5));
    EXPECT_TRUE(b.empty());
}

TEST(BindBufString, GrowsTheCallersString) {
    std::string s = "ab";
    BindBuf b(s);
    EXPECT_EQ(b.kind(), BindBuf::kString);
    EXPECT_TRUE(b.append(kAbcdef + 2, 4));
    EXPECT_EQ(s, "abcdef");
    EXPECT_TRUE(b.grow('!', 2));
    EXPECT_EQ(s, "abcdef!!");
    EXPECT_TRUE(b.erase(1, 2));
    EXPECT_EQ(s, "adef!!");
    EXPECT_TRUE(b.reserve(1000));
    EXPECT_GE(s.capacity(), 1000u);
    EXPECT_EQ(b.capacity(), static_cast<std::uint32_t>(s.capacity()));
    b.clear();
    EXPECT_TRUE(s.empty());
}

TEST(StdBuf, WriteGrowsAndOverlapsLikeMemmove) {
    StdBuf b(kAbcdef, 6);
    EXPECT_TRUE(b.write(2, b.data(), 4));  // overlapping forwards
    EXPECT_EQ(text(b), "ababcd");
    EXPECT_TRUE(b.write(0, b.at(2), 4));  // overlapping backwards
    EXPECT_EQ(text(b), "abcdcd");
    EXPECT_TRUE(b.write(6, kAbcdef, 2));
    EXPECT_EQ(text(b), "abcdcdab");
    EXPECT_TRUE(b.write(100, nullptr, 0));
    EXPECT_EQ(b.size(), 8u);
}

TEST(StdBuf, AppendingItsOwnBytesSurvivesReallocation) {
    StdBuf b(kAbcdef, 6);
    ASSERT_TRUE(b.reserve(6));  // exactly full: the next append must move the storage
    EXPECT_TRUE(b.append(b.data(), 6));
    EXPECT_EQ(text(b), "abcdefabcdef");
    EXPECT_TRUE(b.append(b.at(3), 3));
    EXPECT_EQ(text(b), "abcdefabcdefdef");
    EXPECT_TRUE(b.assign(b.at(6), 3));
    EXPECT_EQ(text(b), "abc");
}

TEST(StdBuf, ReserveKeepsTheContentsAndMayGiveMemoryBack) {
    StdBuf b(kAbcdef, 6);
    EXPECT_TRUE(b.reserve(64));
    EXPECT_EQ(b.capacity(), 64u);
    EXPECT_TRUE(b.reserve(2));  // never below the size
    EXPECT_EQ(b.capacity(), 6u);
    EXPECT_EQ(text(b), "abcdef");
    EXPECT_TRUE(b.ensure(4));
    EXPECT_EQ(b.capacity(), 6u);
    b.release();
    EXPECT_EQ(b.capacity(), 0u);
    EXPECT_EQ(b.data(), nullptr);
}

TEST(StdBuf, EditingOperations) {
    StdBuf b(kAbcdef, 6);
    EXPECT_TRUE(b.appendFill(3, 'z'));  // after the end; the size stays
    EXPECT_EQ(b.size(), 6u);
    EXPECT_GE(b.capacity(), 9u);
    EXPECT_EQ(std::memcmp(b.at(6), "zzz", 3), 0);

    EXPECT_TRUE(b.fill(1, '-', 2));
    EXPECT_EQ(text(b), "a--def");
    EXPECT_TRUE(b.grow('+', 2));
    EXPECT_EQ(text(b), "a--def++");
    EXPECT_TRUE(b.shrink(3));
    EXPECT_EQ(text(b), "a--de");
    EXPECT_TRUE(b.erase(1, 2));
    EXPECT_EQ(text(b), "ade");
    EXPECT_TRUE(b.erase(2, 100));  // cut at the end
    EXPECT_EQ(text(b), "ad");
    EXPECT_TRUE(b.erase(2, 1));  // at the end: nothing to do
    EXPECT_TRUE(b.erase(7, 1));
    EXPECT_EQ(text(b), "ad");
    EXPECT_TRUE(b.shrink(10));
    EXPECT_TRUE(b.empty());
}

TEST(StdBuf, PositionsThatOverflowAreRefused) {
    StdBuf b(kAbcdef, 6);
    EXPECT_FALSE(b.write(UINT32_MAX - 2, kAbcdef, 6));
    EXPECT_FALSE(b.fill(UINT32_MAX, 0, 2));
    EXPECT_FALSE(b.grow(0, UINT32_MAX));
    EXPECT_EQ(text(b), "abcdef");
}

TEST(StdBuf, MovesOwnership) {
    StdBuf a(kAbcdef, 6);
    StdBuf b(std::move(a));
    EXPECT_EQ(text(b), "abcdef");
    EXPECT_EQ(a.data(), nullptr);  // NOLINT(bugprone-use-after-move): moved-from state is defined
    a = std::move(b);
    EXPECT_EQ(text(a), "abcdef");
}
