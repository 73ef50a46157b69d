#include "sim/world/card_kinds.hpp"

#include <atomic>

#include "crypto/hex.hpp"
#include "sim/card/cpu_card.hpp"
#include "sim/card/iso4_card.hpp"
#include "sim/card/mifare_classic_card.hpp"
#include "sim/card/ntag_card.hpp"

namespace rfsim {
namespace {

// A new UID per card: NXP's manufacturer code 04 first for 7-byte UIDs, as double-size UIDs start
// with the manufacturer (ISO/IEC 14443-3 6.5.4); single-size ones avoid the cascade tag 88 and the
// RID 08 prefix.
Bytes freshUid(std::size_t length) {
    static std::atomic<std::uint32_t> counter{0x1A2B3C};
    const std::uint32_t n = counter.fetch_add(0x010305);
    Bytes uid(length);
    for (std::size_t i = 0; i < length; ++i)
        uid[i] = static_cast<std::uint8_t>((n >> (8 * (i % 3))) + i * 17);
    if (length == 4)
        uid[0] = static_cast<std::uint8_t>(0x20 | (uid[0] & 0x0F));
    else
        uid[0] = 0x04;
    return uid;
}

}  // namespace

const std::vector<CardKind>& cardKinds() {
    static const std::vector<CardKind> kinds = {
        {"mifare1k", "Mifare Classic 1K, 4-byte UID", 4},
        {"mifare1k-7", "Mifare Classic 1K, 7-byte UID", 7},
        {"mifare4k", "Mifare Classic 4K, 4-byte UID", 4},
        {"mifare4k-7", "Mifare Classic 4K, 7-byte UID", 7},
        {"ntag213", "NTAG213 page tag: 45 pages (144 user bytes), password PWD_AUTH, counter, signature", 7},
        {"ntag215", "NTAG215 page tag: 135 pages (504 user bytes), password PWD_AUTH, counter, signature", 7},
        {"ntag216", "NTAG216 page tag: 231 pages (888 user bytes), password PWD_AUTH, counter, signature", 7},
        {"iso4", "ISO 14443-4 card, 7-byte UID", 7},
        {"cpu",
         "CPU card: ISO 14443-4, 7-byte UID, ISO 7816-4 COS with MF 3F00, DF 1001 (AID F05246444F434B01), "
         "PIN "
         "123456, secure messaging; \"faults\": {\"badResponseMac\": true} corrupts response MACs",
         7},
    };
    return kinds;
}

MadeCard makeCard(std::string_view kind, std::string_view uidHex) {
    const CardKind* found = nullptr;
    for (const auto& k : cardKinds())
        if (kind == k.name) found = &k;
    if (!found) return {nullptr, "unknown card kind \"" + std::string(kind) + "\""};
    Bytes uid;
    if (uidHex.empty()) {
        uid = freshUid(found->uidLength);
    } else {
        const auto decoded = Orvane::hexDecode(uidHex, 10);
        if (!decoded) return {nullptr, "uid is not hex text of at most 10 bytes"};
        uid = *decoded;
    }
    if (uid.size() != found->uidLength)
        return {nullptr,
                std::string(found->name) + " needs a " + std::to_string(found->uidLength) + "-byte uid"};
    if (found->uidLength == 4 && uid[0] == kCascadeTag)
        return {nullptr, "a 4-byte uid cannot start with the cascade tag 88"};

    const std::string name = found->name;
    if (name == "iso4") return {makeIso4Card(uid), {}};
    if (name == "cpu") return {makeCpuCard(uid), {}};
    if (name == "ntag213") return {makeNtag(uid, NtagType::ntag213), {}};
    if (name == "ntag215") return {makeNtag(uid, NtagType::ntag215), {}};
    if (name == "ntag216") return {makeNtag(uid, NtagType::ntag216), {}};
    const MifareSize size = name.starts_with("mifare4k") ? MifareSize::classic4K : MifareSize::classic1K;
    return {std::make_shared<MifareClassicCard>(uid, size), {}};
}

std::string kindOf(const TypeACard& card) {
    if (const auto* mifare = dynamic_cast<const MifareClassicCard*>(&card)) {
        std::string name = mifare->size() == MifareSize::classic4K ? "mifare4k" : "mifare1k";
        return card.uid().size() == 7 ? name + "-7" : name;
    }
    if (dynamic_cast<const CpuCard*>(&card)) return "cpu";
    if (const auto* tag = dynamic_cast<const NtagCard*>(&card)) {
        switch (tag->type()) {
            case NtagType::ntag213:
                return "ntag213";
            case NtagType::ntag215:
                return "ntag215";
            case NtagType::ntag216:
                return "ntag216";
        }
    }
    if (dynamic_cast<const Iso4Card*>(&card)) return "iso4";
    return "typeA";
}

}  // namespace rfsim
