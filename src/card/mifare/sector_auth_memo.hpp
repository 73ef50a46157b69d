#pragma once
// The key a reader's last Mifare sector authentication used. With the sector record the RfReader
// keeps (cleared by every selection and field reset), it lets reading a sector block by block
// authenticate once, whatever commands the reader authenticates with.

#include <algorithm>
#include <array>
#include <cstdint>

namespace Orvane {

class SectorAuthMemo {
  public:
    // True when `authSector` (the reader's record) is `sector` and it was authenticated with this key.
    bool holds(std::uint8_t authSector, std::uint8_t sector, const std::uint8_t* key, bool keyB) const {
        return authSector == sector && keyB_ == keyB && std::equal(key_.begin(), key_.end(), key);
    }
    void remember(const std::uint8_t* key, bool keyB) {
        std::copy_n(key, key_.size(), key_.begin());
        keyB_ = keyB;
    }

  private:
    std::array<std::uint8_t, 6> key_{};
    bool keyB_ = false;
};

}  // namespace Orvane
