#include "card/sw_text.hpp"

#include <gtest/gtest.h>

TEST(SwText, FamiliesTableAndUnknown) {
    const std::pair<std::uint16_t, const char*> cases[] = {
        {0x0090, "正常 成功执行"},
        {0xC363, "警告 认证失败,还可重试3次"},
        {0xC063, "警告 认证失败,还可重试0次"},
        {0x0063, "警告 认证失败"},
        {0xB363, "异常 未知SW1=0x63,SW2=0xB3"},
        {0x106C, "错误 Le长度错误,实际长度为0x10"},
        {0x2361, "正常 需要GET RESPONSE继续接收"},
        {0x0061, "正常 需要GET RESPONSE继续接收"},
        {0x3412, "异常 未知SW1=0x12,SW2=0x34"},
        {0x0000, "异常 未知错误"},
        {0x0100, "错误 卡片已永久锁定"},
        {0x816A, "错误 应用目录临时锁定"},
        {0x866A, "错误 参数错误"},
        {0x8162, "警告 回送数据可能错误"},
        {0x8469, "错误 随机数无效，引用的数据无效"},
        {0x0694, "错误 所需MAC不可用"},
        {0x8869, "错误 MAC校验失败,密钥错误"},
        {0xFFFF, "异常 通讯失败"},
        {0x0190, "异常 未知SW1=0x90,SW2=0x01"},
    };
    for (const auto& [sw, text] : cases)
        EXPECT_EQ(swText(sw), text) << std::hex << sw;
}
