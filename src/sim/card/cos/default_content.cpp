#include "sim/card/cos/default_content.hpp"

namespace rfsim::cos::defaults {
namespace {

Bytes counting(std::uint8_t first, std::size_t length) {
    Bytes out(length);
    for (std::size_t i = 0; i < length; ++i)
        out[i] = static_cast<std::uint8_t>(first + i);
    return out;
}

template <std::size_t N>
Bytes bytes(const std::array<std::uint8_t, N>& value) {
    return Bytes(value.begin(), value.end());
}

CosKey key(KeyUsage usage, std::uint8_t id, Bytes value, int tries = 0) {
    return CosKey{usage, id, std::move(value), tries, tries};
}

std::unique_ptr<TransparentEf> transparent(std::uint16_t fid, std::uint8_t sfi, AccessRules rules,
                                           Bytes content) {
    return std::make_unique<TransparentEf>(fid, sfi, rules, std::move(content));
}

CosKey purseKey(KeyUsage usage, std::uint8_t index, std::uint8_t version,
                const std::array<std::uint8_t, 16>& value) {
    CosKey out = key(usage, index, bytes(value));
    out.version = version;
    out.algorithm = kPurseAlgorithm;
    return out;
}

PurseEf* purse(DedicatedFile& df, std::uint16_t fid, std::uint8_t sfi, std::uint32_t balance,
               std::uint16_t online, std::uint16_t offline) {
    auto* file = df.add(std::make_unique<PurseEf>(fid, sfi, AccessRules{}));
    file->balance = balance;
    file->onlineCounter = online;
    file->offlineCounter = offline;
    return file;
}

void addPurseApplication(DedicatedFile& mf) {
    auto* app = mf.add(std::make_unique<DedicatedFile>(kPurseAppId, bytes(kPurseAppName)));
    app->version = kAppVersion;
    app->keys.put(purseKey(KeyUsage::purchase, kPurchaseKeyIndex, kPurchaseKeyVersion, kPurchaseKey));
    app->keys.put(purseKey(KeyUsage::load, kLoadKeyIndex, kLoadKeyVersion, kLoadKey));
    app->keys.put(purseKey(KeyUsage::unload, kUnloadKeyIndex, kUnloadKeyVersion, kUnloadKey));
    app->keys.put(purseKey(KeyUsage::overdrawUpdate, kUpdateKeyIndex, kUpdateKeyVersion, kUpdateKey));
    app->keys.put(purseKey(KeyUsage::tac, kTacKeyIndex, kOtherKeysVersion, kTacKey));
    app->keys.put(purseKey(KeyUsage::pinReload, kPinReloadKeyIndex, kOtherKeysVersion, kPinReloadKey));
    app->keys.put(purseKey(KeyUsage::pinUnblock, kPinUnblockKeyIndex, kOtherKeysVersion, kPinUnblockKey));
    app->keys.put(key(KeyUsage::secureMessaging, kMaintenanceKeyId, bytes(kMaintenanceKey)));
    app->keys.put(key(KeyUsage::pin, kPinId, bytes(kPursePin), kTries));
    purse(*app, kEdId, kEdSfi, kEdBalance, kEdOnlineCounter, kEdOfflineCounter)->overdrawLimit =
        kEdOverdrawLimit;
    purse(*app, kEpId, kEpSfi, kEpBalance, kEpOnlineCounter, kEpOfflineCounter);
    auto* capp = app->add(
        std::make_unique<RecordEf>(kCappId, kCappSfi, AccessRules{}, kCappRecordLength, kCappRecords));
    capp->records.assign(kCappRecords, Bytes(kCappRecordLength, 0x00));
}

}  // namespace

std::unique_ptr<DedicatedFile> fileSystem() {
    auto mf = std::make_unique<DedicatedFile>(kMfId, bytes(kMfName));
    mf->keys.put(key(KeyUsage::externalAuth, kMfExternalKeyId, bytes(kMfExternalKey), kTries));
    // The text and its terminating zero: 16 bytes.
    static constexpr char kInfo[] = "RFDOCK CPU CARD";
    Bytes infoBytes(kInfo, kInfo + sizeof kInfo);
    mf->add(transparent(kMfInfoId, kMfInfoSfi, {Access::always, Access::externalAuth, SmMode::none},
                        std::move(infoBytes)));

    auto* app = mf->add(std::make_unique<DedicatedFile>(kAppId, bytes(kAppName)));
    app->version = kAppVersion;
    app->issuerData = bytes(kIssuerData);
    app->recordSfi = kRecordSfi;
    app->keys.put(key(KeyUsage::externalAuth, kExternalKeyId, bytes(kExternalKey), kTries));
    app->keys.put(key(KeyUsage::externalAuth, kExternalDesKeyId, bytes(kExternalDesKey), kTries));
    app->keys.put(key(KeyUsage::internalAuth, kInternalKeyId, bytes(kInternalKey)));
    app->keys.put(key(KeyUsage::internalAuth, kInternalDesKeyId, bytes(kInternalDesKey)));
    app->keys.put(key(KeyUsage::secureMessaging, kSmKeyId, bytes(kSmKey)));
    app->keys.put(key(KeyUsage::pin, kPinId, bytes(kPin), kTries));

    app->add(transparent(0x0001, kFreeSfi, {Access::always, Access::externalAuth, SmMode::none},
                         counting(0x00, 32)));
    app->add(transparent(0x0002, kPinSfi, {Access::always, Access::pin, SmMode::none}, counting(0x20, 32)));
    app->add(transparent(0x0003, kMacSfi, {Access::always, Access::always, SmMode::mac}, counting(0xA0, 16)));
    app->add(transparent(0x0004, kEncipherSfi, {Access::always, Access::always, SmMode::encipher},
                         counting(0xB0, 16)));
    auto* records = app->add(std::make_unique<RecordEf>(
        0x0005, kRecordSfi, AccessRules{Access::always, Access::authOrPin, SmMode::none}, kRecordLength,
        kMaxRecords));
    records->records = {Bytes(kRecordLength, 0xC1), Bytes(kRecordLength, 0xC2)};
    app->add(transparent(0x0006, kSecretSfi, {Access::pin, Access::never, SmMode::none}, counting(0xD0, 8)));
    addPurseApplication(*mf);
    return mf;
}

std::shared_ptr<CosCard> cos() {
    auto card = std::make_shared<CosCard>(fileSystem());
    installIsoCommands(*card);
    installFmCommands(*card);
    installPurseCommands(*card);
    return card;
}

}  // namespace rfsim::cos::defaults
