#include "sim/card/cos/key_store.hpp"

namespace rfsim::cos {

int CosKey::fail() {
    if (triesLeft > 0) --triesLeft;
    return triesLeft;
}

void KeyStore::put(CosKey key) {
    if (CosKey* existing = find(key.usage, key.id)) {
        *existing = std::move(key);
        return;
    }
    keys_.push_back(std::move(key));
}

CosKey* KeyStore::find(KeyUsage usage, std::uint8_t id) {
    for (auto& key : keys_)
        if (key.usage == usage && key.id == id) return &key;
    return nullptr;
}

CosKey* KeyStore::first(KeyUsage usage) {
    for (auto& key : keys_)
        if (key.usage == usage) return &key;
    return nullptr;
}

}  // namespace rfsim::cos
