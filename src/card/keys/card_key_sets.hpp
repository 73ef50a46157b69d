#pragma once
// Card keys derived from a card's UID and the client's base keys (commands 405 and 406). Only the
// first four UID bytes take part. Key sets hold their names in the order clients see them.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace Orvane {

using Uid4 = std::array<std::uint8_t, 4>;
using SectorKey = std::array<std::uint8_t, 6>;
using NamedKeys = std::vector<std::pair<std::string, std::vector<std::uint8_t>>>;

// 405 type 0: the six key bytes mixed with the UID.
SectorKey sectorKeyByXor(const Uid4& uid, const std::array<std::uint8_t, 6>& key);
// 405 type 1: six CRC-8 (polynomial 0x1D) values over the four key bytes and the UID.
SectorKey sectorKeyByCrc(const Uid4& uid, const std::array<std::uint8_t, 4>& key);
// 405 type 2: the UID mixed with the dealer bytes and code for sector 1 to 15, with a fixed mask
// for sector 0; nullopt for sector 16 or more.
std::optional<SectorKey> sectorKeyByDealer(const Uid4& uid, unsigned sector,
                                           const std::array<std::uint8_t, 3>& dealer, std::uint16_t code);

// 406 type 0: ACK_USER, ACK_KEY, ACK_CODE, ACK_JXS and EAK, 8 bytes each.
NamedKeys dealerKeySet(const Uid4& uid, std::uint16_t dealerCode, std::uint16_t code,
                       const std::array<std::uint8_t, 4>& dealerParam);
// 406 type 1: ACK, EAK2, EAK4, PK1, LK1 and TAC, 16 bytes each; nullopt when DES is unavailable.
std::optional<NamedKeys> systemKeySet6(const Uid4& uid, const std::array<std::uint8_t, 6>& sysKey);
// 406 type 2: ACK, AMK, PUK, RPK, PK1, PK2, LK1, LK2 and TAC, 16 bytes each; nullopt when DES is
// unavailable.
std::optional<NamedKeys> systemKeySet8(const Uid4& uid, const std::array<std::uint8_t, 8>& sysKey);

// The PIN texts that go with the two system key sets.
inline constexpr char kPinOfSet6[] = "740317";
inline constexpr char kPinOfSet8[] = "740318";

}  // namespace Orvane
