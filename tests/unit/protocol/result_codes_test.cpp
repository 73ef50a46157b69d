#include "protocol/result_codes.hpp"

#include <gtest/gtest.h>

TEST(ResultText, EveryCodeHasItsExactText) {
    const std::pair<unsigned, const char*> table[] = {
        {0, "完成"},
        {1, "未定义错误"},
        {99, "未定义错误"},
        {100, "请登录插件服务后操作!"},
        {101, "插件服务接入验证失败!"},
        {102, "RfReader未初始化!"},
        {103, "命令码不可用!"},
        {104, "密钥格式错误!"},
        {105, "数据格式错误!"},
        {106, "RF设备未连接!"},
        {107, "加密扇区数量为零!"},
        {108, "申请内存失败!"},
        {109, "索引错误!"},
        {110, "解析地址错误!"},
        {111, "UdpComm未启动!"},
        {112, "参数错误失败!"},
        {113, "CPU读卡器协议类别错误!"},
        {114, "内部异常错误!"},
        {115, "未定义错误"},
        {4294967295u, "未定义错误"},
    };
    for (const auto& [code, text] : table)
        EXPECT_STREQ(resultText(code), text) << code;
}

TEST(SetResult, WritesCodeAndTextTogether) {
    nlohmann::json reply = {{"ack", "a"}};
    setResult(reply, Result::kBadIndex);
    EXPECT_EQ(reply["err"], 109);
    EXPECT_EQ(reply["msg"], "索引错误!");
}
