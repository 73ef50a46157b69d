// The FCI walk byte for byte: what it keeps of each element, and that an element which does not
// fit — in the response or, for the inner ones, in the A5 value — ends the walk without being read.

#include <gtest/gtest.h>

#include "card/cpu/fci_walk.hpp"
#include "crypto/hex.hpp"
#include "support/hex_bytes.hpp"

using Orvane::FciInfo;

namespace {

std::string hex(std::span<const std::uint8_t> bytes) {
    return Orvane::hexEncode(bytes);
}

// What a decoded record says, as text: absent fields are "-".
struct Seen {
    std::string df = "-", proprietary = "-", sfi = "-", ver = "-", issuer = "-";
    bool operator==(const Seen&) const = default;
};

void PrintTo(const Seen& s, std::ostream* os) {
    *os << "df=" << s.df << " private=" << s.proprietary << " sfi=" << s.sfi << " ver=" << s.ver
        << " tmp=" << s.issuer;
}

Seen seen(const FciInfo& fci) {
    Seen s;
    if (fci.hasDfName) s.df = hex(fci.dfNameBytes());
    if (fci.hasProprietary) s.proprietary = hex(fci.proprietaryBytes());
    if (fci.hasSfi) s.sfi = hex(std::span(&fci.sfi, 1));
    if (fci.hasVer) s.ver = hex(std::span(&fci.ver, 1));
    if (fci.hasIssuerData) s.issuer = hex(fci.issuerDataBytes());
    return s;
}

// Decodes from a heap copy of exactly the response's size, so that a read past it is caught by the
// address sanitizer.
Seen decode(const std::string& responseHex) {
    const Bytes response = hexBytes(responseHex);
    const std::vector<std::uint8_t> exact(response.begin(), response.end());
    FciInfo fci;
    Orvane::decodeFci(exact, fci);
    return seen(fci);
}

const std::string kName14 = "315041592E5359532E4444463031";  // "1PAY.SYS.DDF01"

}  // namespace

TEST(FciWalk, KeepsTheElementsItKnows) {
    struct Case {
        const char* name;
        std::string response;
        Seen expected;
    };
    const Case cases[] = {
        {"NameOnly", "6F10 840E" + kName14, {.df = kName14}},
        {"NameAndProprietary",
         "6F19 8408 F05246444F434B01 A50D 880105 9F080101 BF0C03 112233",
         {.df = "F05246444F434B01",
          .proprietary = "8801059F080101BF0C03112233",
          .sfi = "05",
          .ver = "01",
          .issuer = "112233"}},
        {"IssuerDataUnderTag9F0C", "6F07 A505 9F0C02 ABCD", {.proprietary = "9F0C02ABCD", .issuer = "ABCD"}},
        {"ANameOfTwentyBytesKeepsSixteen",
         "6F16 8414 000102030405060708090A0B0C0D0E0F10111213",
         {.df = "000102030405060708090A0B0C0D0E0F"}},
        {"UnknownInnerElementsAreSkipped",
         "6F0D A50B 5002 AAAA 5F2D01 BB 880107",
         {.proprietary = "5002AAAA5F2D01BB880107", .sfi = "07"}},
        {"EmptyValuesGiveNoByte", "6F09 A507 8800 9F0800 5000", {.proprietary = "88009F08005000"}},
        {"AnUnknownOuterTagEndsTheWalk", "6F0B 5003 414243 8404 01020304", {}},
        {"TheNameStillCountsBeforeAnUnknownTag", "6F0B 8404 01020304 5003 414243", {.df = "01020304"}},
        {"TwoBytesOfTemplateOnly", "6F00", {}},
        {"ElementsPastTheTemplateAreNotFci", "6F06 8404 01020304 A503 880109", {.df = "01020304"}},
        // A card that announces more than it sends: what is there is walked.
        {"ATemplateLongerThanTheResponse", "6F40 8402 0102", {.df = "0102"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decode(c.response), c.expected) << c.name;
}

TEST(FciWalk, AnElementThatDoesNotFitEndsTheWalk) {
    struct Case {
        const char* name;
        std::string response;
        Seen expected;
    };
    const Case cases[] = {
        {"NameRunsPastTheResponse", "6F10 840E 0102", {}},
        {"ProprietaryRunsPastTheResponse", "6F10 8402 0102 A50A 880105", {.df = "0102"}},
        // 88 claims 5 bytes: they lie in the response but past the A5 value, so they are not read.
        {"InnerElementRunsPastTheA5Value", "6F0B A503 880501 0203040506", {.proprietary = "880501"}},
        {"InnerElementAfterAGoodOne",
         "6F08 A506 880105 9F0805",
         {.proprietary = "8801059F0805", .sfi = "05"}},
        {"TagWithoutLength", "6F03 A501 88", {.proprietary = "88"}},
        {"TwoByteTagCutShort", "6F03 A501 9F", {.proprietary = "9F"}},
        {"TagThatNeverEnds", "6F06 A504 9F8F8F8F", {.proprietary = "9F8F8F8F"}},
        {"LengthFormNotAllowed", "6F06 A504 88830001", {.proprietary = "88830001"}},
        {"LongLengthCutShort", "6F04 A502 8881", {.proprietary = "8881"}},
        {"OuterLengthFormNotAllowed", "6F85 8402 0102", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decode(c.response), c.expected) << c.name;
}

TEST(FciWalk, LongLengthsAsBerTlvWritesThem) {
    // 200 bytes of issuer data: the A5 and BF0C lengths take the 81 form, the 6F one 81 too.
    std::string issuer;
    for (int i = 0; i < 200; ++i)
        issuer += hex(std::vector<std::uint8_t>{static_cast<std::uint8_t>(i)});
    const std::string a5 = "BF0C81C8" + issuer + "880103";
    const std::string response = "6F81D6 8402 0102 A581CF" + a5;
    const Seen s = decode(response);
    EXPECT_EQ(s.df, "0102");
    EXPECT_EQ(s.issuer, issuer);
    EXPECT_EQ(s.sfi, "03");
    EXPECT_EQ(s.proprietary, a5);

    // 260 bytes of issuer data (82 form): 252 are kept, and an A5 value over 255 bytes keeps 255.
    std::string big;
    for (int i = 0; i < 260; ++i)
        big += hex(std::vector<std::uint8_t>{static_cast<std::uint8_t>(i)});
    const Seen longOne = decode("6F82010A A5820106 9F0C820101" + big.substr(0, 2 * 257));
    EXPECT_EQ(longOne.issuer, big.substr(0, 2 * 252));
    EXPECT_EQ(longOne.proprietary.size(), 2u * 255);
}

TEST(FciWalk, DataWithoutTheTemplateLeavesTheRecordAsItWas) {
    FciInfo fci;
    fci.hasSfi = 1;
    fci.sfi = 9;
    for (const std::string response : {"", "8404 01020304", "9000"}) {
        const Bytes bytes = hexBytes(response);
        Orvane::decodeFci(bytes, fci);
        EXPECT_EQ(fci.sfi, 9) << response;
    }
    const Bytes templateOnly = hexBytes("6F");
    Orvane::decodeFci(templateOnly, fci);
    EXPECT_EQ(fci.hasSfi, 0);
}
