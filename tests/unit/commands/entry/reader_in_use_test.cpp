// The reader-in-use registry with PC/SC readers: each reader name is a device of its own, a frame
// type stays one device, and keeping one claim lets go of exactly the others.

#include "commands/entry/reader_in_use.hpp"

#include <gtest/gtest.h>

#include "reader/reader_family.hpp"

using namespace std::chrono_literals;

TEST(ReaderInUse, EachPcscReaderNameIsItsOwnDevice) {
    ReaderInUse registry;
    int first = 0, second = 0;
    const ReaderDevice readerA{kReaderPcsc, "ACME 00 00"}, readerB{kReaderPcsc, "ACME 01 00"};
    EXPECT_TRUE(registry.claim(readerA, &first, 0ms));
    EXPECT_TRUE(registry.claim(readerB, &second, 0ms));
    EXPECT_FALSE(registry.claim(readerA, &second, 10ms)) << "a reader another entry drives";
    EXPECT_TRUE(registry.claim(readerA, &first, 0ms)) << "its own claim again";
    // The bare type is no PC/SC reader: the frame types keep one device per type.
    EXPECT_TRUE(registry.claim(kReaderVaHid, &first, 0ms));
    EXPECT_FALSE(registry.claim(kReaderVaHid, &second, 10ms));

    registry.keepOnly(&first, readerA);
    EXPECT_TRUE(registry.claim(kReaderVaHid, &second, 0ms)) << "let go by keepOnly";
    EXPECT_FALSE(registry.claim(readerA, &second, 10ms)) << "kept";
    registry.releaseAll(&first);
    EXPECT_TRUE(registry.claim(readerA, &second, 0ms));
}
