#include "protocol/result_codes.hpp"

#include <array>

namespace {

// Codes 100 to 114, in order.
constexpr std::array<const char*, 15> kTexts = {
    "请登录插件服务后操作!",   // 100 command before login
    "插件服务接入验证失败!",   // 101 wrong user or password
    "RfReader未初始化!",       // 102 empty reader slot
    "命令码不可用!",           // 103 unknown code
    "密钥格式错误!",           // 104 key text not valid
    "数据格式错误!",           // 105 parameter does not decode
    "RF设备未连接!",           // 106 reader not opened
    "加密扇区数量为零!",       // 107 (not produced)
    "申请内存失败!",           // 108 out of memory
    "索引错误!",               // 109 slot index out of range
    "解析地址错误!",           // 110 address does not parse
    "UdpComm未启动!",          // 111 UDP endpoint not started
    "参数错误失败!",           // 112 parameter out of range
    "CPU读卡器协议类别错误!",  // 113 reader protocol unfit for CPU card
    "内部异常错误!",           // 114 work cannot be started
};

}  // namespace

const char* resultText(unsigned code) {
    if (code == 0) return "完成";
    if (code >= 100 && code - 100 < kTexts.size()) return kTexts[code - 100];
    return "未定义错误";
}

void setResult(nlohmann::json& reply, Result code) {
    reply["err"] = static_cast<unsigned>(code);
    reply["msg"] = resultText(code);
}
