#include "card/purse/bcd_time.hpp"

#include <ctime>

namespace Orvane {

namespace {

std::uint8_t bcd(int value) {
    return static_cast<std::uint8_t>((value / 10 % 10) << 4 | value % 10);
}

}  // namespace

std::uint32_t transactionTime(std::uint32_t times) {
    if (times > 0) return times;
    return static_cast<std::uint32_t>(std::time(nullptr));
}

std::array<std::uint8_t, 7> bcdLocalTime(std::uint32_t times) {
    const std::time_t t = static_cast<std::time_t>(times);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr) return {};
    const int year = local.tm_year + 1900;
    return {bcd(year / 100),    bcd(year % 100),   bcd(local.tm_mon + 1), bcd(local.tm_mday),
            bcd(local.tm_hour), bcd(local.tm_min), bcd(local.tm_sec)};
}

}  // namespace Orvane
