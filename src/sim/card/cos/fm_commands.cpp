// Personalisation in the manner of FM COS cards (proprietary class 80). What this card takes:
//
//   ERASE DF     80 0E 00 00 [00]   every file and key of the current DF goes; needs its erase right.
//   CREATE FILE  80 E0 fid Lc data  in the current DF, needing its create right; by the type byte:
//     38  DF       38 size(2) createRight eraseRight dirSfi FF FF name(0-16): the new DF becomes
//                  current; size is the room for its files; dirSfi b5-b1, when not 0, is announced
//                  in its FCI (88).
//     28  binary   type size(2) readRight writeRight B10 B11
//     2A  records  as binary, size = number of records (high byte) and record length (low byte)
//                  type b8: updates need a MAC; b7: data under secure messaging is enciphered.
//                  B10 not FF: reads need a MAC with key B10 ^ 7F, updates use key B11 ^ FF;
//                  else B11 b8 clear: reads need a MAC, B11 ^ 7F = read key << 2 | update key
//                  (2 bits each); else updates use key B11 ^ FF, reads go plain.
//                  The SFI is b5-b1 of a file identifier 00xx.
//     2F  purse    2F 02 08 useRight 00 FF sfi, fid = P1 P2
//     3F  key file taken and ignored: keys live in their DF anyway.
//   WRITE KEY    80 D4 P1 id Lc type use change level err value
//     P1 01 adds (or replaces) key `id` of that type; any other P1 replaces key `id` of type P1,
//     needing its change right, and a MAC when its type has b8 set. Types: 30 internal
//     authentication, 36 secure messaging (line protection; in a purse application also the
//     application maintenance key of APPLICATION / CARD BLOCK), 39 external authentication, 3A PIN;
//     b8 and b7 of the type: this key's changes need a MAC / the secure-messaging commands under
//     this key carry enciphered data. `level` b4-b1 is the security level a success reaches; `err`
//     holds the tries (high nibble most, low nibble left).
//     Purse keys, `id` their key index, 16 bytes:  type use change version algorithm value
//       3E load (DLK)  3F purchase / cash withdrawal (DPK)  3D unload  3C overdraw limit update
//       (DUK)  34 TAC (DTK)  38 PIN reload (DRPK)  37 PIN unblock (DPUK).
// Rights bytes follow files.hpp's rightGranted.

#include "sim/card/cos/iso_commands.hpp"

namespace rfsim::cos {
namespace {

constexpr std::uint8_t kDfType = 0x38, kBinaryType = 0x28, kRecordType = 0x2A, kPurseType = 0x2F,
                       kKeyFileType = 0x3F;
constexpr std::uint8_t kWriteMac = 0x80, kEncipher = 0x40;
constexpr std::uint8_t kAddKey = 0x01;
constexpr std::size_t kMaxName = 16;

bool allowed(const CosState& state, std::uint8_t right) {
    return rightGranted(right, state.security.level);
}

std::uint16_t word(std::span<const std::uint8_t> data, std::size_t at) {
    return static_cast<std::uint16_t>(data[at] << 8 | data[at + 1]);
}

// Room for `size` more bytes in the current DF, taken; false when there is none.
bool takeRoom(CosState& state, std::size_t size) {
    DedicatedFile& df = *state.currentDf;
    if (df.space && size > *df.space - df.used) return false;
    df.used += size;
    return true;
}

std::uint8_t sfiOf(std::uint16_t fid) {
    const std::uint8_t sfi = fid >> 8 == 0 ? fid & 0x1F : 0;
    return sfi == 31 ? 0 : sfi;
}

// Access rules of an EF from its type byte, rights and B10 B11.
AccessRules efRules(std::uint8_t type, std::uint8_t read, std::uint8_t write, std::uint8_t b10,
                    std::uint8_t b11) {
    AccessRules rules{Access::level, Access::level, SmMode::none};
    rules.readRight = read;
    rules.updateRight = write;
    bool readMac = false;
    std::uint8_t readKey = 0, updateKey = 0;
    if (b10 != 0xFF) {
        readMac = true;
        readKey = (b10 ^ 0x7F) & 0x0F;
        updateKey = (b11 ^ 0xFF) & 0x0F;
    } else if ((b11 & 0x80) == 0) {
        readMac = true;
        const std::uint8_t packed = b11 ^ 0x7F;
        readKey = (packed >> 2) & 0x03;
        updateKey = packed & 0x03;
    } else {
        updateKey = (b11 ^ 0xFF) & 0x0F;
    }
    const bool writeMac = type & kWriteMac;
    if (readMac || writeMac) rules.sm = type & kEncipher ? SmMode::encipher : SmMode::mac;
    rules.plainRead = !readMac;
    rules.plainUpdate = !writeMac;
    if (readMac) rules.readKey = readKey;
    if (writeMac) rules.updateKey = updateKey;
    return rules;
}

CosResponse createDf(CosState& state, std::uint16_t fid, std::span<const std::uint8_t> data) {
    if (data.size() < 8 || data.size() > 8 + kMaxName) return CosResponse::status(sw::wrongLength);
    const std::uint16_t size = word(data, 1);
    if (!takeRoom(state, size)) return CosResponse::status(sw::noRoom);
    auto df = std::make_unique<DedicatedFile>(fid, Bytes(data.begin() + 8, data.end()));
    df->createRight = data[3];
    df->eraseRight = data[4];
    if (data[5] & 0x1F) df->recordSfi = static_cast<std::uint8_t>(data[5] & 0x1F);
    if (size > 0) df->space = size;
    state.enterDf(state.currentDf->add(std::move(df)));
    return CosResponse::status(sw::ok);
}

CosResponse createEf(CosState& state, std::uint16_t fid, std::span<const std::uint8_t> data) {
    if (data.size() != 7) return CosResponse::status(sw::wrongLength);
    const std::uint8_t type = data[0];
    const std::uint16_t size = word(data, 1);
    const AccessRules rules = efRules(type, data[3], data[4], data[5], data[6]);
    if ((type & 0x3F) == kBinaryType) {
        if (size == 0) return CosResponse::status(sw::wrongData);
        if (!takeRoom(state, size)) return CosResponse::status(sw::noRoom);
        state.currentDf->add(std::make_unique<TransparentEf>(fid, sfiOf(fid), rules, Bytes(size, 0x00)));
        return CosResponse::status(sw::ok);
    }
    const std::size_t records = size >> 8, length = size & 0xFF;
    if (records == 0 || length == 0) return CosResponse::status(sw::wrongData);
    if (!takeRoom(state, records * length)) return CosResponse::status(sw::noRoom);
    state.currentDf->add(std::make_unique<RecordEf>(fid, sfiOf(fid), rules, length, records));
    return CosResponse::status(sw::ok);
}

CosResponse createPurse(CosState& state, std::uint16_t fid, std::span<const std::uint8_t> data) {
    if (data.size() != 7) return CosResponse::status(sw::wrongLength);
    const std::uint8_t sfi = data[6];
    if (sfi == 0 || sfi > 30) return CosResponse::status(sw::wrongData);
    AccessRules rules{Access::level, Access::level, SmMode::none};
    rules.readRight = rules.updateRight = data[3];
    state.currentDf->add(std::make_unique<PurseEf>(fid, sfi, rules));
    return CosResponse::status(sw::ok);
}

CosResponse createFile(CosState& state, const CosRequest& request) {
    const CommandApdu& apdu = request.apdu;
    const auto data = apdu.data;
    if (data.empty()) return CosResponse::status(sw::wrongLength);
    if (!allowed(state, state.currentDf->createRight)) return CosResponse::status(sw::securityNotSatisfied);
    const std::uint16_t fid = apdu.p1p2();
    if (state.currentDf->child(fid) != nullptr) return CosResponse::status(sw::fileExists);
    switch (data[0]) {
        case kDfType:
            return createDf(state, fid, data);
        case kPurseType:
            return createPurse(state, fid, data);
        case kKeyFileType:
            return CosResponse::status(sw::ok);
        default:
            break;
    }
    const std::uint8_t base = data[0] & 0x3F;
    if (base != kBinaryType && base != kRecordType) return CosResponse::status(sw::wrongData);
    return createEf(state, fid, data);
}

CosResponse eraseDf(CosState& state, const CosRequest& request) {
    const CommandApdu& apdu = request.apdu;
    if (apdu.p1p2() != 0) return CosResponse::status(sw::wrongP1P2);
    if (!apdu.data.empty()) return CosResponse::status(sw::wrongLength);
    if (!allowed(state, state.currentDf->eraseRight)) return CosResponse::status(sw::securityNotSatisfied);
    state.currentDf->clear();
    state.currentEf = nullptr;
    state.security = {};
    return CosResponse::status(sw::ok);
}

std::optional<KeyUsage> usageOf(std::uint8_t type) {
    switch (type & 0x3F) {
        case 0x30:
            return KeyUsage::internalAuth;
        case 0x36:
            return KeyUsage::secureMessaging;
        case 0x39:
            return KeyUsage::externalAuth;
        case 0x3A:
            return KeyUsage::pin;
        case 0x34:
            return KeyUsage::tac;
        case 0x37:
            return KeyUsage::pinUnblock;
        case 0x38:
            return KeyUsage::pinReload;
        case 0x3C:
            return KeyUsage::overdrawUpdate;
        case 0x3D:
            return KeyUsage::unload;
        case 0x3E:
            return KeyUsage::load;
        case 0x3F:
            return KeyUsage::purchase;
        default:
            return std::nullopt;
    }
}

bool isPurseKey(KeyUsage usage) {
    return usage >= KeyUsage::load;
}

bool valueFits(KeyUsage usage, std::size_t length) {
    if (usage == KeyUsage::pin) return length >= 1 && length <= 8;
    // Purse session keys and TACs come from two-key triple DES keys.
    if (isPurseKey(usage)) return length == 16;
    return length == 8 || length == 16 || length == 24;
}

// The key a WRITE KEY replaces: `id` of the type P1 names.
CosKey* replaced(CosState& state, std::uint8_t p1, std::uint8_t id) {
    const auto usage = usageOf(p1);
    if (!usage) return nullptr;
    CosKey* key = state.currentDf->keys.find(*usage, id);
    return key && (key->type & 0x3F) == (p1 & 0x3F) ? key : nullptr;
}

CosResponse writeKey(CosState& state, const CosRequest& request) {
    const CommandApdu& apdu = request.apdu;
    if (apdu.p1 != kAddKey) {
        const CosKey* old = replaced(state, apdu.p1, apdu.p2);
        if (!old) return CosResponse::status(sw::keyNotFound);
        if (!allowed(state, old->changeRight)) return CosResponse::status(sw::securityNotSatisfied);
        if ((old->type & kWriteMac) && !request.smIv) return CosResponse::status(sw::smObjectsMissing);
    } else if (!allowed(state, state.currentDf->createRight)) {
        return CosResponse::status(sw::securityNotSatisfied);
    }
    const bool enciphered = request.smIv && (request.smKeyType & kEncipher);
    const auto data = enciphered ? decipherCommandData(request)
                                 : std::optional<Bytes>(Bytes(apdu.data.begin(), apdu.data.end()));
    if (!data) return CosResponse::status(sw::wrongData);
    if (data->size() < 6) return CosResponse::status(sw::wrongLength);
    const std::uint8_t type = (*data)[0];
    const auto usage = usageOf(type);
    if (!usage) return CosResponse::status(sw::wrongData);
    const Bytes value(data->begin() + 5, data->end());
    if (!valueFits(*usage, value.size())) return CosResponse::status(sw::wrongLength);
    const std::uint8_t err = (*data)[4];
    const bool counted = *usage == KeyUsage::externalAuth || *usage == KeyUsage::pin;
    const int left = counted ? err & 0x0F : 0;
    const int most = counted ? std::max(err >> 4, left) : 0;
    CosKey key{*usage, apdu.p2, value, most, left};
    key.type = type;
    key.useRight = (*data)[1];
    key.changeRight = (*data)[2];
    if (isPurseKey(*usage)) {
        key.version = (*data)[3];
        key.algorithm = (*data)[4];
    } else {
        key.nextLevel = static_cast<std::uint8_t>((*data)[3] & 0x0F);
    }
    state.currentDf->keys.put(std::move(key));
    return CosResponse::status(sw::ok);
}

}  // namespace

void installFmCommands(CosCard& card) {
    card.install(CommandClass::proprietary, 0x0E, CosCommand{eraseDf, false});
    card.install(CommandClass::proprietary, 0xE0, CosCommand{createFile, false});
    card.install(CommandClass::proprietary, 0xD4, CosCommand{writeKey, true});
}

}  // namespace rfsim::cos
