#pragma once
// Status words the card answers with (ISO/IEC 7816-4 §5.1.3, tables 5 and 6).

#include <cstdint>

namespace rfsim::cos {

namespace sw {
inline constexpr std::uint16_t ok = 0x9000;
inline constexpr std::uint16_t endBeforeLe = 0x6282;      // fewer bytes than Le before the end
inline constexpr std::uint16_t fileInvalidated = 0x6283;  // selected, but blocked for now
inline constexpr std::uint16_t verifyFailed = 0x6300;     // 63Cx carries the tries left
inline constexpr std::uint16_t wrongLength = 0x6700;
inline constexpr std::uint16_t channelUnsupported = 0x6881;  // logical channels
inline constexpr std::uint16_t smUnsupported = 0x6882;
inline constexpr std::uint16_t incompatibleFile = 0x6981;
inline constexpr std::uint16_t securityNotSatisfied = 0x6982;
inline constexpr std::uint16_t blocked = 0x6983;           // authentication method blocked
inline constexpr std::uint16_t referenceInvalid = 0x6984;  // no (fresh) challenge
inline constexpr std::uint16_t conditionsNotSatisfied = 0x6985;
inline constexpr std::uint16_t noCurrentEf = 0x6986;
inline constexpr std::uint16_t smObjectsMissing = 0x6987;
inline constexpr std::uint16_t smObjectsWrong = 0x6988;  // MAC mismatch
inline constexpr std::uint16_t wrongData = 0x6A80;
inline constexpr std::uint16_t functionNotSupported = 0x6A81;  // also: application or card blocked
inline constexpr std::uint16_t fileNotFound = 0x6A82;
inline constexpr std::uint16_t recordNotFound = 0x6A83;
inline constexpr std::uint16_t noRoom = 0x6A84;
inline constexpr std::uint16_t wrongP1P2 = 0x6A86;
inline constexpr std::uint16_t keyNotFound = 0x6A88;
inline constexpr std::uint16_t fileExists = 0x6A89;
inline constexpr std::uint16_t offsetOutside = 0x6B00;
inline constexpr std::uint16_t insUnsupported = 0x6D00;
inline constexpr std::uint16_t claUnsupported = 0x6E00;

// PBOC electronic deposit / purse (JR/T 0025 status words).
inline constexpr std::uint16_t macInvalid = 0x9302;
inline constexpr std::uint16_t applicationLocked = 0x9303;  // blocked for good
inline constexpr std::uint16_t insufficientBalance = 0x9401;
inline constexpr std::uint16_t counterAtMaximum = 0x9402;
inline constexpr std::uint16_t keyIndexUnsupported = 0x9403;
inline constexpr std::uint16_t macUnavailable = 0x9406;  // GET TRANSACTION PROVE: no such transaction

// 63Cx: a verification failed, x tries are left (ISO/IEC 7816-4 §5.1.3, table 6).
constexpr std::uint16_t triesLeft(int tries) {
    return static_cast<std::uint16_t>(0x63C0 | (tries < 0 ? 0 : tries > 15 ? 15 : tries));
}
}  // namespace sw

}  // namespace rfsim::cos
