// The compatible card number and the ATS detail text.

#include "card/cpu/cpu_card_text.hpp"

#include <gtest/gtest.h>

#include "crypto/bind_buf.hpp"
#include "support/crypto_support.hpp"

TEST(CpuCardText, CompatibleNumberReadsFourUidBytesLittleEndian) {
    struct Case {
        const char* uid;
        const char* text;
    };
    const Case cases[] = {
        {"A1B2C3D4", "3569595041"},  // 0xD4C3B2A1
        {"01000000", "0000000001"},
        {"04A1B2C3D4E5F6", "4142257347"},        // last four: C3 D4 E5 F6 -> 0xF6E5D4C3
        {"04112233445566778899", "2575857510"},  // 66 77 88 99 -> 0x99887766
        {"", "0000000000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Orvane::compatibleCardNumberText(hexBytes(c.uid)), c.text) << c.uid;
    }
}

TEST(CpuCardText, AtsDetailSpellsOutTheFixedPositions) {
    // TL 10, T0 78 (TA TB TC present, FSCI 8), TA 80, TB 90, TC 02 (CID, no NAD), then historical
    // bytes: COS version 20, manufacturer 90.
    std::array<std::uint8_t, 32> memory{};
    Orvane::BindBuf store(memory.data(), 32);
    const Bytes ats = hexBytes("10 78 80 90 02 20 90 00 00 00 00 00 11 22 33 44");
    store.assign(ats.data(), static_cast<std::uint32_t>(ats.size()));
    EXPECT_EQ(Orvane::atsDetailText(store, hexBytes("A1B2C3D4")),
              "当前复位激活详细信息\n"
              "ATS数据:10 78 80 90 02 20 90 00 00 00 00 00 11 22 33 44\n"
              "兼容卡号:3569595041 芯片UID:A1B2C3D4 厂商码:90 COS版本:2.0\n"
              "格式选项 TA=1 TB=1 TC=1 RFU=0 接口选项 NAD不支持 CID支持\n"
              "编码选项 DR2=0 DR4=0 DR8=0 RFU=0 DS2=0 DS4=0 DS8=0 PICC=1\n");
}

TEST(CpuCardText, AtsDetailOfShortAndMissingAts) {
    std::array<std::uint8_t, 32> memory{};
    Orvane::BindBuf store(memory.data(), 32);
    EXPECT_EQ(Orvane::atsDetailText(store, {}), "未复位激活 无详细信息");

    // A store that can hold 16 bytes is read even when the ATS is shorter: missing positions are 0.
    memory.fill(0xFF);
    const Bytes ats = hexBytes("05 F7 B7 00 03");
    store.assign(ats.data(), static_cast<std::uint32_t>(ats.size()));
    EXPECT_EQ(Orvane::atsDetailText(store, hexBytes("01020304")),
              "当前复位激活详细信息\n"
              "ATS数据:05 F7 B7 00 03\n"
              "兼容卡号:0067305985 芯片UID:01020304 厂商码:00 COS版本:0.0\n"
              "格式选项 TA=1 TB=1 TC=1 RFU=1 接口选项 NAD支持 CID支持\n"
              "编码选项 DR2=1 DR4=1 DR8=1 RFU=0 DS2=1 DS4=1 DS8=0 PICC=1\n");

    // A store that cannot hold 16 bytes is not parsed.
    Orvane::BindBuf small(memory.data(), 8);
    small.assign(ats.data(), static_cast<std::uint32_t>(ats.size()));
    EXPECT_EQ(Orvane::atsDetailText(small, {}), "ATS数据异常无法解析");
}
