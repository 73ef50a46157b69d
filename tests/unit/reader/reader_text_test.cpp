#include "reader/reader_text.hpp"

#include <gtest/gtest.h>

TEST(ReaderText, KeepsWellFormedUtf8AndMarksEveryOtherByte) {
    struct Case {
        std::string_view bytes, text;
    };
    const Case cases[] = {
        {"", ""},
        {"VA_13 \xE8\xAF\xBB\xE5\x8D\xA1", "VA_13 \xE8\xAF\xBB\xE5\x8D\xA1"},  // two CJK characters
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},                              // four bytes
        {std::string_view("a\0b", 3), std::string_view("a\0b", 3)},            // NUL is text to JSON
        {"\xFF\xFE", "??"},
        {"\xC0\xAF", "??"},            // overlong "/"
        {"\xE0\x80\xAF", "???"},       // overlong in three bytes
        {"\xED\xA0\x80", "???"},       // a surrogate
        {"\xF4\x90\x80\x80", "????"},  // above U+10FFFF
        {"\xE8\xAF", "??"},            // cut short
        {"\xE8"
         "A",
         "?A"},  // continuation missing
        {"\x80"
         "x",
         "?x"},  // stray continuation
    };
    for (const Case& c : cases)
        EXPECT_EQ(Orvane::validUtf8Text(c.bytes), c.text) << testing::PrintToString(std::string(c.bytes));
}
