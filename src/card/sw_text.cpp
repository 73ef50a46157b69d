#include "card/sw_text.hpp"

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

struct SwEntry {
    std::uint8_t sw1, sw2;
    const char* text;
};

// Sorted by (sw1, sw2) for the binary search below.
constexpr std::array<SwEntry, 50> kTable = {{
    {0x00, 0x00, "异常 未知错误"},
    {0x00, 0x01, "错误 卡片已永久锁定"},  // local value for SELECT answered 6A81 without data
    {0x62, 0x00, "警告 信息未提供"},
    {0x62, 0x81, "警告 回送数据可能错误"},
    {0x62, 0x82, "警告 文件长度小于Le"},
    {0x62, 0x83, "警告 选中的文件无效或密钥校验错误"},
    {0x62, 0x84, "警告 FCI格式与P2指定的不符"},
    {0x63, 0x00, "警告 认证失败"},
    {0x64, 0x00, "错误 状态标志位没有变"},
    {0x65, 0x81, "错误 内存失败"},
    {0x66, 0x00, "错误 接收通讯超时"},
    {0x66, 0x01, "错误 接收字符奇偶错"},
    {0x66, 0x02, "错误 校验和不对"},
    {0x66, 0x03, "警告 当前DF文件无FCI"},
    {0x66, 0x04, "警告 当前DF下无SF或KF"},
    {0x67, 0x00, "错误 Lc错误"},
    {0x68, 0x81, "错误 不支持逻辑通道"},
    {0x68, 0x82, "错误 不支持安全报文"},
    {0x68, 0x84, "错误 不支持命令链"},
    {0x69, 0x00, "错误 不能处理"},
    {0x69, 0x01, "错误 无效的状态"},
    {0x69, 0x81, "错误 命令与文件结构不相容"},
    {0x69, 0x82, "错误 权限安全状态不满足"},
    {0x69, 0x83, "错误 密钥已锁定"},
    {0x69, 0x84, "错误 随机数无效，引用的数据无效"},
    {0x69, 0x85, "错误 使用条件不满足"},
    {0x69, 0x86, "错误 不满足执行条件或INS错误"},
    {0x69, 0x87, "错误 无安全报文MAC丢失"},
    {0x69, 0x88, "错误 MAC校验失败,密钥错误"},
    {0x6A, 0x80, "错误 数据域参数不正确"},
    {0x6A, 0x81, "错误 应用目录临时锁定"},
    {0x6A, 0x82, "错误 文件未找到"},
    {0x6A, 0x83, "错误 记录未找到"},
    {0x6A, 0x84, "错误 文件预留空间不足"},
    {0x6A, 0x85, "错误 数据TLV格式错误"},
    {0x6A, 0x86, "错误 参数错误"},
    {0x6A, 0x88, "错误 密钥未找到"},
    {0x6B, 0x00, "错误 参数偏移量错误"},
    {0x6D, 0x00, "错误 不支持的指令代码"},
    {0x6E, 0x00, "错误 不支持的指令类别"},
    {0x6F, 0x00, "错误 数据无效"},
    {0x90, 0x00, "正常 成功执行"},
    {0x93, 0x01, "错误 资金不足"},
    {0x93, 0x02, "错误 MAC无效"},
    {0x93, 0x03, "错误 应用目录被永久锁定"},
    {0x94, 0x01, "错误 交易金额不足"},
    {0x94, 0x02, "错误 交易计数器达到最大值"},
    {0x94, 0x03, "错误 密钥索引不支持"},
    {0x94, 0x06, "错误 所需MAC不可用"},
    {0xFF, 0xFF, "异常 通讯失败"},
}};

constexpr unsigned sortKey(std::uint8_t sw1, std::uint8_t sw2) {
    return sw1 << 8 | sw2;
}

static_assert(std::is_sorted(kTable.begin(), kTable.end(), [](const SwEntry& a, const SwEntry& b) {
    return sortKey(a.sw1, a.sw2) < sortKey(b.sw1, b.sw2);
}));

template <typename... Args>
std::string format(const char* pattern, Args... args) {
    char text[100];
    const int n = std::snprintf(text, sizeof text, pattern, args...);
    return std::string(text, n < 0 ? 0 : std::min<std::size_t>(n, sizeof text - 1));
}

}  // namespace

std::string swText(std::uint16_t sw) {
    const std::uint8_t sw1 = sw & 0xFF;
    const std::uint8_t sw2 = sw >> 8;
    if (sw1 == 0x63 && (sw2 & 0xF0) == 0xC0)
        return format("警告 认证失败,还可重试%u次", unsigned(sw2 & 0x0F));
    if (sw1 == 0x6C) return format("错误 Le长度错误,实际长度为0x%02X", unsigned(sw2));
    const auto it =
        std::lower_bound(kTable.begin(), kTable.end(), sortKey(sw1, sw2),
                         [](const SwEntry& e, unsigned key) { return sortKey(e.sw1, e.sw2) < key; });
    if (it != kTable.end() && it->sw1 == sw1 && it->sw2 == sw2) return it->text;
    if (sw1 == 0x61) return "正常 需要GET RESPONSE继续接收";
    return format("异常 未知SW1=0x%02X,SW2=0x%02X", unsigned(sw1), unsigned(sw2));
}
