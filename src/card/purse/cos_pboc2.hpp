#pragma once
// The electronic deposit and electronic purse command set of a CPU card (proprietary class 80):
// PIN management, blocking, balance and transaction proofs, the compound-purchase data cache, and
// the two-step value transactions in the role of the terminal and its security module.
//
// Step one (initialize) sends INITIALIZE, derives the session key from the card's random with the
// master key (locally or through the key provider), checks the card's MAC1 and precomputes what the
// card will answer in step two; everything step two needs travels in the OrderRecord, so the master
// keys are needed in step one only. Step two (commit) sends CREDIT, DEBIT or UPDATE OVERDRAW LIMIT
// with the MAC under the session key of the record.
//
// Commands are built in the card object's I/O buffer and sent through its transceive; each operation
// answers a packed status word (icpu_cos_reader.hpp). Values made here: 0x866A for bounds or a type
// this side cannot work with (before any card traffic), 0x0062 for an INITIALIZE answer of another
// length, 0x8869 when the card's MAC1 is not the one the key gives.

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "card/cpu/icpu_cos_reader.hpp"
#include "card/purse/order_record.hpp"

namespace Orvane {

namespace sw {
constexpr std::uint16_t kUnexpectedLength = 0x0062;  // 62 00
constexpr std::uint16_t kMac1Mismatch = 0x8869;      // 69 88
}  // namespace sw

class CosPboc2 {
  public:
    static constexpr std::size_t kMaxPinDigits = 12;
    static constexpr std::size_t kMaxCacheData = 252;
    static constexpr std::uint32_t kSfiLimit = 32;
    static constexpr std::uint32_t kMaxLimit = 0xFFFFFF;  // the overdraw limit has 3 bytes

    explicit CosPboc2(std::shared_ptr<ICpuCosReader> card) : card_(std::move(card)) {}

    const std::shared_ptr<ICpuCosReader>& card() const { return card_; }

    // CHANGE PIN 80 5E 01 id Lc oldPIN FF newPIN. PINs are decimal digits, at most 12.
    std::uint16_t changePin(std::uint8_t id, std::string_view oldPin, std::string_view newPin);
    // RELOAD PIN 80 5E 00 id Lc PIN MAC: the MAC with the TAC form of `key` over the packed PIN.
    std::uint16_t reloadPin(std::uint8_t id, const cos_7816::_KeyData& key, std::string_view pin);
    // PIN UNBLOCK 84 24 id 00: the PIN enciphered and MAC'd under `key`.
    std::uint16_t unblockPin(std::uint8_t id, cos_7816::_KeyData key, std::string_view pin);
    // APPLICATION UNBLOCK 84 18 00 00, APPLICATION BLOCK 84 1E 00 P2 (01 for good), CARD BLOCK
    // 84 16 00 00: a MAC under `key`, no data.
    std::uint16_t unblockApplication(cos_7816::_KeyData key);
    std::uint16_t blockApplication(cos_7816::_KeyData key, bool permanent);
    std::uint16_t blockCard(cos_7816::_KeyData key);
    // GET BALANCE 80 5C 00 type 04; `money` the 4 bytes big-endian, 0 unless 9000 with 4 bytes.
    std::uint16_t getBalance(std::uint8_t type, std::uint32_t& money);
    // GET TRANSACTION PROVE 80 5A 00 type 02 seq 08; MAC and TAC of that transaction, 0 unless
    // 9000 with 8 bytes. The counter has two bytes: a larger seq is refused, not cut to another.
    std::uint16_t getTransactionProve(std::uint8_t type, std::uint32_t seq, std::uint32_t& mac,
                                      std::uint32_t& tac);
    // UPDATE CAPP DATA CACHE 80 DC id P2 Lc data, P2 = mode (3 bits) | sfid << 3, under the secure
    // messaging of `sm` (nullptr: none). sfid below 32, at most 252 data bytes.
    std::uint16_t updateCappDataCache(std::uint32_t sfid, std::uint8_t id, std::uint8_t mode,
                                      std::span<const std::uint8_t> data, const cos_7816::_KeyData* sm);

    // Step one of the transaction `type` (record: number, money and times in, the rest out).
    // `key` is the master key of the transaction (index `keyIndex` on the card); `keyTac` (nullptr:
    // none) the TAC key, for the TAC expected from the card.
    std::uint16_t initialize(std::uint32_t type, std::uint8_t keyIndex, const cos_7816::_KeyData& key,
                             const cos_7816::_KeyData* keyTac, OrderRecord& record);
    // Step two with the record of step one; the card's TAC and MAC go to commitTac and commitMac.
    std::uint16_t commit(OrderRecord& record);

  private:
    // CLA INS P1 P2 Lc data into the I/O buffer; false when the data does not fit one Lc byte.
    bool put(std::uint8_t ins, std::uint8_t p1, std::uint8_t p2, std::span<const std::uint8_t> data);
    // put, sent as case 0 under `sm`.
    std::uint16_t send(std::uint8_t ins, std::uint8_t p1, std::uint8_t p2, std::span<const std::uint8_t> data,
                       const cos_7816::_KeyData* sm = nullptr);
    // As send, with Le after the data (case 2); the response stays in the I/O buffer.
    std::uint16_t sendForAnswer(std::uint8_t ins, std::uint8_t p1, std::uint8_t p2,
                                std::span<const std::uint8_t> data, std::uint8_t le);
    // A data-less command with a MAC under `key`.
    std::uint16_t sendWithMac(std::uint8_t ins, std::uint8_t p2, cos_7816::_KeyData key);

    std::shared_ptr<ICpuCosReader> card_;
};

}  // namespace Orvane
