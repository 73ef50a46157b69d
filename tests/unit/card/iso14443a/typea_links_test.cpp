// The ISO 14443-A steps of each reader family, byte for byte, against scripted card answers.

#include <gtest/gtest.h>

#include "card/iso14443a/typea_va.hpp"
#include "card/iso14443a/typea_vc.hpp"
#include "card/iso14443a/typea_vd.hpp"
#include "crypto/std_buf.hpp"
#include "scripted_link.hpp"

using Orvane::TypeACardInfo;
using Lines = std::vector<std::string>;

namespace {

Bytes uidOf(const TypeACardInfo& info) {
    return Bytes(info.uid.begin(), info.uid.begin() + info.uidLen);
}
Bytes bytesOf(const Orvane::IBuffer& buffer) {
    return Bytes(buffer.data(), buffer.data() + buffer.size());
}

}  // namespace

// ---- VD: the program runs the cascade ------------------------------------------------------------

TEST(VdTypeA, AnticollisionThroughEveryCascadeLevel) {
    struct Case {
        const char* name;
        const char* atqa;
        std::vector<std::pair<std::uint8_t, std::vector<Answer>>> script;
        bool ok;
        const char* uid;
        std::uint8_t sak;
        Lines sent;
    };
    const Case cases[] = {
        {"single size",
         "0400",
         {{0x42, {ok("0102030404")}}, {0x43, {ok("08")}}},
         true,
         "01020304",
         0x08,
         {"42 1000000000 00", "43 1000000000 01020304"}},
        {"double size",
         "4400",
         {{0x42, {ok("88041122BF")}}, {0x43, {ok("04")}}, {0x46, {ok("3344556600")}}, {0x47, {ok("08")}}},
         true,
         "04112233445566",
         0x08,
         {"42 1000000000 00", "43 1000000000 88041122", "46 1000000000 9500", "47 1000000000 9533445566"}},
        {"triple size",
         "8400",
         {{0x42, {ok("88010203")}},
          {0x43, {ok("04")}},
          {0x46, {ok("88040506"), ok("0708090A")}},
          {0x47, {ok("04"), ok("20")}}},
         true,
         "0102030405060708090A",
         0x20,
         {"42 1000000000 00", "43 1000000000 88010203", "46 1000000000 9500", "47 1000000000 9588040506",
          "46 1000000000 9700", "47 1000000000 970708090A"}},
        {"double size ends at level 2 even after a cascade tag",
         "4400",
         {{0x42, {ok("88041122")}}, {0x43, {ok("04")}}, {0x46, {ok("88445566")}}, {0x47, {ok("08")}}},
         true,
         "04112288445566",
         0x08,
         {"42 1000000000 00", "43 1000000000 88041122", "46 1000000000 9500", "47 1000000000 9588445566"}},
        {"single size keeps a leading 88",
         "0400",
         {{0x42, {ok("88041122")}}, {0x43, {ok("08")}}},
         true,
         "88041122",
         0x08,
         {"42 1000000000 00", "43 1000000000 88041122"}},
        {"a SAK reply of another length is ignored",
         "0400",
         {{0x42, {ok("01020304")}}, {0x43, {ok("0800")}}},
         true,
         "01020304",
         0x00,
         {"42 1000000000 00", "43 1000000000 01020304"}},
        {"short anticollision reply", "0400", {{0x42, {ok("010203")}}}, false, "", 0, {"42 1000000000 00"}},
        {"refused select",
         "0400",
         {{0x42, {ok("01020304")}}, {0x43, {{0x01, ""}}}},
         false,
         "",
         0,
         {"42 1000000000 00", "43 1000000000 01020304"}},
        {"level 2 fails",
         "4400",
         {{0x42, {ok("88041122")}}, {0x43, {ok("04")}}, {0x46, {ok("334455")}}},
         false,
         "",
         0x04,
         {"42 1000000000 00", "43 1000000000 88041122", "46 1000000000 9500"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedVd link;
        for (const auto& [command, answers] : c.script)
            link.script(command, answers);
        typea::VdTypeA vd(link);
        TypeACardInfo info;
        const Bytes atqa = hexBytes(c.atqa);
        info.atqa = static_cast<std::uint16_t>(atqa[0] | atqa[1] << 8);
        EXPECT_EQ(vd.anticollision(info), c.ok);
        EXPECT_EQ(link.sent, c.sent);
        EXPECT_EQ(info.sak, c.sak);
        EXPECT_EQ(uidOf(info), hexBytes(c.uid));
    }
}

TEST(VdTypeA, RequestHaltRatsAndDeselect) {
    ScriptedVd link;
    typea::VdTypeA vd(link);
    link.script(0x41, {ok("4400"), ok("04"), {0x01, ""}});
    EXPECT_EQ(vd.request(true), 0x0044);
    EXPECT_EQ(vd.request(false), std::nullopt);  // an ATQA is two bytes
    EXPECT_EQ(vd.request(false), std::nullopt);
    EXPECT_EQ(link.sent, (Lines{"41 1000000000 01", "41 1000000000 00", "41 1000000000 00"}));

    link.sent.clear();
    link.script(0x45, {ok()});
    link.script(0x5A, {ok("0578807002"), ok("0578")});
    link.script(0x5C, {ok()});
    EXPECT_TRUE(vd.halt());
    TypeACardInfo info;
    typea::TypeAState state;
    Orvane::StdBuf ats;
    EXPECT_TRUE(vd.activate(info, &ats, state));
    EXPECT_TRUE(state.iso4Active);
    EXPECT_EQ(bytesOf(ats), hexBytes("0578807002"));
    ats.clear();
    EXPECT_TRUE(vd.activate(info, &ats, state));  // too short to be kept
    EXPECT_TRUE(ats.empty());
    EXPECT_FALSE(vd.activate(info, &ats, state));
    EXPECT_FALSE(state.iso4Active);
    EXPECT_TRUE(vd.deselect());
    EXPECT_EQ(link.sent,
              (Lines{"45 1000000000", "5A 1400000000", "5A 1400000000", "5A 1400000000", "5C 1400000000"}));
}

TEST(VdTypeA, SelectsAKnownUidLevelByLevel) {
    struct Case {
        const char* uid;
        Lines sent;
    };
    const Case cases[] = {
        {"01020304", {"41 1000000000 01", "43 1000000000 01020304"}},
        {"04112233445566", {"41 1000000000 01", "43 1000000000 88041122", "47 1000000000 9533445566"}},
        {"0102030405060708090A",
         {"41 1000000000 01", "43 1000000000 88010203", "47 1000000000 9588040506",
          "47 1000000000 970708090A"}},
    };
    for (const auto& c : cases) {
        ScriptedVd link;
        link.script(0x41, {ok("4400")});
        link.script(0x43, {ok("04")});
        link.script(0x47, {ok("04"), ok("08")});
        typea::VdTypeA vd(link);
        const Bytes uid = hexBytes(c.uid);
        typea::TypeAState state;
        EXPECT_TRUE(vd.selectKnown(*typea::cascadeImage(uid), false, nullptr, state)) << c.uid;
        EXPECT_EQ(link.sent, c.sent);
    }

    // Absent card: the select of level 1 is not answered.
    ScriptedVd link;
    link.script(0x41, {ok("0400"), ok("0400")});
    link.script(0x5A, {ok("0578807002")});
    link.script(0x43, {{0x01, ""}, ok("08")});
    typea::VdTypeA vd(link);
    typea::TypeAState state;
    const Bytes uid = hexBytes("01020304");
    EXPECT_FALSE(vd.selectKnown(*typea::cascadeImage(uid), true, nullptr, state));
    EXPECT_TRUE(vd.selectKnown(*typea::cascadeImage(uid), true, nullptr, state));
    EXPECT_TRUE(state.iso4Active);
    EXPECT_EQ(link.sent.back(), "5A 1400000000");
}

TEST(VdTypeA, RawExchangeFramesAndChecksTheLength) {
    ScriptedVd link;
    typea::VdTypeA vd(link);
    Orvane::StdBuf response;
    link.script(0x5B, {ok("00000003AABBCC"), ok("0000000AAABBCC"), ok("000000"), ok("0000000190")});
    EXPECT_TRUE(vd.rawExchange(hexBytes("0084000008"), response));
    EXPECT_EQ(bytesOf(response), hexBytes("AABBCC"));
    EXPECT_FALSE(vd.rawExchange(hexBytes("00"), response));  // announces 10 bytes, carries 3
    EXPECT_FALSE(vd.rawExchange(hexBytes("00"), response));  // no length field
    EXPECT_TRUE(vd.rawExchange(hexBytes("00"), response));
    EXPECT_EQ(bytesOf(response), hexBytes("90"));
    EXPECT_EQ(link.sent[0], "5B 1400000000 000000050084000008");

    link.sent.clear();
    EXPECT_FALSE(vd.rawExchange({}, response));
    EXPECT_FALSE(vd.rawExchange(Bytes(256), response));
    EXPECT_TRUE(link.sent.empty());
    link.script(0x5B, {ok("0000"
                          "00FF" +
                          std::string(510, 'E'))});
    EXPECT_TRUE(vd.rawExchange(Bytes(255, 0x11), response));
    EXPECT_EQ(response.size(), 255u);
    EXPECT_EQ(link.sent[0].substr(0, 22), "5B 1400000000 000000FF");
}

// ---- VA: four UID bytes, no ISO 14443-4 -------------------------------------------------------------

TEST(VaTypeA, RequestAnticollisionAndHalt) {
    ScriptedVa link;
    typea::VaTypeA va(link);
    link.script(0x12, {ok("0400"), ok("0400")});
    link.script(0x13, {ok("0102030404"), ok("010203")});
    link.script(0x14, {ok("0800")});
    link.script(0x11, {ok()});
    EXPECT_EQ(va.request(true), 0x0004);
    TypeACardInfo info;
    EXPECT_TRUE(va.anticollision(info));
    EXPECT_EQ(uidOf(info), hexBytes("01020304"));
    EXPECT_EQ(info.sak, 0x08);
    EXPECT_TRUE(va.halt());
    EXPECT_EQ(va.request(false), 0x0004);
    TypeACardInfo second;
    EXPECT_FALSE(va.anticollision(second));
    EXPECT_EQ(link.sent, (Lines{"2D", "12", "13", "14", "11", "12", "13"}));
}

TEST(VaTypeA, SelectsTheKnownCardOnlyIfItAnswers) {
    const Bytes uid = hexBytes("04112233445566");
    const auto image = *typea::cascadeImage(uid);
    {
        ScriptedVa link;
        link.script(0x12, {ok("4400")});
        link.script(0x13, {ok("88041122BF")});
        link.script(0x14, {ok("0400")});
        typea::VaTypeA va(link);
        typea::TypeAState state;
        EXPECT_TRUE(va.selectKnown(image, false, nullptr, state));
        EXPECT_EQ(link.sent, (Lines{"2D", "12", "13", "14"}));
        EXPECT_EQ(Bytes(state.cl1Uid.begin(), state.cl1Uid.end()), hexBytes("88041122"));
    }
    {
        ScriptedVa link;
        link.script(0x12, {ok("0400")});
        link.script(0x13, {ok("0A0B0C0D")});
        typea::VaTypeA va(link);
        typea::TypeAState state;
        EXPECT_FALSE(va.selectKnown(image, false, nullptr, state));
        EXPECT_EQ(link.sent, (Lines{"2D", "12", "13"}));
        EXPECT_FALSE(va.selectKnown(image, true, nullptr, state));
        EXPECT_EQ(link.sent.size(), 3u);
    }
}

TEST(VaTypeA, ReactivatesOnlyTheSameCard) {
    ScriptedVa link;
    link.script(0x12, {ok("0400"), ok("0400"), {0x01, ""}});
    link.script(0x13, {ok("01020304"), ok("0A0B0C0D")});
    link.script(0x14, {ok("0800")});
    typea::VaTypeA va(link);
    const std::array<std::uint8_t, 4> cl1{1, 2, 3, 4};
    EXPECT_TRUE(va.reactivate(cl1));
    EXPECT_FALSE(va.reactivate(cl1));
    EXPECT_FALSE(va.reactivate(cl1));
    EXPECT_EQ(link.sent, (Lines{"12", "13", "14", "12", "13", "12"}));
}

// ---- VC: the reader resolves the cascade -----------------------------------------------------------

TEST(VcTypeA, AnticollisionReportsWholeUids) {
    struct Case {
        const char* name;
        std::vector<Answer> anticollision;
        std::vector<Answer> select;
        bool ok;
        const char* uid;
        std::uint8_t sak;
        Lines sent;
    };
    const Case cases[] = {
        {"7 bytes",
         {ok("04112233445566")},
         {ok("08")},
         true,
         "04112233445566",
         0x08,
         {"47 04", "48 04112233445566"}},
        {"10 bytes",
         {ok("0102030405060708090A")},
         {ok("20")},
         true,
         "0102030405060708090A",
         0x20,
         {"47 04", "48 0102030405060708090A"}},
        {"select refused: the UID still counts",
         {ok("01020304")},
         {{0x01, ""}},
         true,
         "01020304",
         0x77,
         {"47 04", "48 01020304"}},
        {"3 bytes: no card has so short a UID", {ok("010203")}, {}, false, "", 0x77, {"47 04"}},
        {"11 bytes", {ok("0102030405060708090A0B")}, {}, false, "", 0x77, {"47 04"}},
        {"no UID", {ok("")}, {}, false, "", 0x77, {"47 04"}},
        {"no card", {{0x01, ""}}, {}, false, "", 0x77, {"47 04"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedVc link;
        link.script(0x47, c.anticollision);
        link.script(0x48, c.select);
        typea::VcTypeA vc(link);
        TypeACardInfo info;
        info.sak = 0x77;
        EXPECT_EQ(vc.anticollision(info), c.ok);
        EXPECT_EQ(info.sak, c.sak);
        EXPECT_EQ(link.sent, c.sent);
        if (c.ok) {
            EXPECT_EQ(uidOf(info), hexBytes(c.uid));
        }
    }
}

TEST(VcTypeA, RequestActivateExchangeAndDeselect) {
    ScriptedVc link;
    typea::VcTypeA vc(link);
    link.script(0x46, {ok("0400"), ok("4400")});
    EXPECT_EQ(vc.request(false), 0x0004);
    EXPECT_EQ(vc.request(true), 0x0044);

    // Four UID bytes, then the ATS counted by its first byte (trailing bytes are not ATS).
    link.script(0x53, {ok("887766550578807002EE"), ok("8877665503"), {0x01, ""}});
    TypeACardInfo info;
    info.uidLen = 7;
    info.uid = {1, 2, 3, 4, 5, 6, 7};
    typea::TypeAState state;
    Orvane::StdBuf ats;
    EXPECT_TRUE(vc.activate(info, &ats, state));
    EXPECT_TRUE(state.iso4Active);
    EXPECT_EQ(uidOf(info), hexBytes("88776655"));
    EXPECT_EQ(info.uid[4], 0);
    EXPECT_EQ(bytesOf(ats), hexBytes("0578807002"));
    EXPECT_TRUE(vc.activate(info, &ats, state));  // too short for an ATS: nothing taken from it
    EXPECT_EQ(bytesOf(ats), hexBytes("0578807002"));
    EXPECT_FALSE(vc.activate(info, &ats, state));
    EXPECT_FALSE(state.iso4Active);

    link.script(0x54, {ok("6A82")});
    link.script(0x6B, {ok()});
    Orvane::StdBuf response;
    EXPECT_TRUE(vc.rawExchange(hexBytes("00A4040000"), response));
    EXPECT_EQ(bytesOf(response), hexBytes("6A82"));
    EXPECT_TRUE(vc.deselect());
    EXPECT_TRUE(vc.halt() == false);  // nothing scripted: the reader refuses
    EXPECT_EQ(link.sent, (Lines{"46 26", "46 52", "53 52", "53 52", "53 52", "54 00A4040000", "6B", "29"}));
}

TEST(VcTypeA, SelectsAKnownUid) {
    const Bytes uid = hexBytes("04112233445566");
    const auto image = *typea::cascadeImage(uid);
    struct Case {
        const char* name;
        const char* reported;
        bool ok;
        Lines sent;
    };
    const Case cases[] = {
        {"the whole UID", "04112233445566", true, {"46 52", "47 04", "48 04112233445566"}},
        {"its first four bytes", "04112233", true, {"46 52", "47 04", "48 04112233"}},
        {"another card", "04112234445566", false, {"46 52", "47 04"}},
        {"longer than asked for", "0411223344556677", false, {"46 52", "47 04"}},
        {"too short", "041122", false, {"46 52", "47 04"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedVc link;
        link.script(0x46, {ok("4400")});
        link.script(0x47, {ok(c.reported)});
        link.script(0x48, {ok("08")});
        typea::VcTypeA vc(link);
        typea::TypeAState state;
        EXPECT_EQ(vc.selectKnown(image, false, nullptr, state), c.ok);
        EXPECT_EQ(link.sent, c.sent);
    }

    // Activation: the level-1 bytes must match, else the card is released.
    ScriptedVc link;
    link.script(0x53, {ok("880411220578807002"), ok("0A0B0C0D0578807002")});
    link.script(0x6B, {ok()});
    typea::VcTypeA vc(link);
    typea::TypeAState state;
    Orvane::StdBuf ats;
    EXPECT_TRUE(vc.selectKnown(image, true, &ats, state));
    EXPECT_TRUE(state.iso4Active);
    EXPECT_EQ(bytesOf(ats), hexBytes("0578807002"));
    EXPECT_FALSE(vc.selectKnown(image, true, &ats, state));
    EXPECT_FALSE(state.iso4Active);
    EXPECT_EQ(Bytes(state.cl1Uid.begin(), state.cl1Uid.end()), hexBytes("0A0B0C0D"));
    EXPECT_EQ(link.sent, (Lines{"53 52", "53 52", "6B"}));
}

TEST(Cascade, ImagesAndLevelOneBytes) {
    EXPECT_EQ(typea::cascadeImage(hexBytes("010203")), std::nullopt);
    EXPECT_EQ(typea::cascadeImage(hexBytes("0102030405")), std::nullopt);
    const Bytes seven = hexBytes("04112233445566");
    const auto image = typea::cascadeImage(seven);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->levels, 2);
    EXPECT_EQ(Bytes(image->bytes.begin(), image->bytes.begin() + 8), hexBytes("8804112233445566"));
    const Bytes ten = hexBytes("0102030405060708090A");
    const auto tenImage = typea::cascadeImage(ten);
    ASSERT_TRUE(tenImage);
    EXPECT_EQ(tenImage->levels, 3);
    EXPECT_EQ(Bytes(tenImage->bytes.begin(), tenImage->bytes.end()), hexBytes("8801020388040506 0708090A"));

    TypeACardInfo info;
    info.uid = {4, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    info.uidLen = 7;
    EXPECT_EQ(typea::levelOneBytes(info), (std::array<std::uint8_t, 4>{0x88, 4, 0x11, 0x22}));
    info.uidLen = 4;
    EXPECT_EQ(typea::levelOneBytes(info), (std::array<std::uint8_t, 4>{4, 0x11, 0x22, 0x33}));
}
