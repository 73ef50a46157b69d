#include "reader/reader_family.hpp"

#include <gtest/gtest.h>

static_assert(familyOf(kReaderVaHid) == ReaderFamily::va, "usable in constant expressions");

TEST(ReaderFamily, EachTypeSpeaksItsFamily) {
    const struct {
        std::uint8_t type;
        ReaderFamily family;
        bool vb;
    } cases[] = {
        {0, ReaderFamily::none, false},  // kReaderNone
        {1, ReaderFamily::vd, false},    // VD on HID
        {2, ReaderFamily::va, true},     // VB serial
        {3, ReaderFamily::vc, false},    // VC on CH9326
        {4, ReaderFamily::va, false},    // VA on HID
        {5, ReaderFamily::vc, false},    // VC serial
        {6, ReaderFamily::va, true},     // VB on raw CH340
        {7, ReaderFamily::pcsc, false},  // any PC/SC reader
        {8, ReaderFamily::none, false},  // no such reader
        {255, ReaderFamily::none, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(familyOf(c.type), c.family) << "type " << int{c.type};
        EXPECT_EQ(isVbType(c.type), c.vb) << "type " << int{c.type};
    }
}
