#include "card/cpu/cpu_cos_typeb.hpp"

#include "card/cpu/des_crypt.hpp"

namespace Orvane {

CpuCosTypeB::CpuCosTypeB(std::shared_ptr<IIso14443BReader> reader) : reader_(std::move(reader)) {
    io_.reserve(kMinIoCapacity);
}

std::uint16_t CpuCosTypeB::getChallenge(std::span<std::uint8_t, 8>, bool) {
    return 0;
}

std::uint16_t CpuCosTypeB::crypt(std::uint8_t op, const cos_7816::_KeyData& key, const std::uint8_t* iv,
                                 std::vector<std::uint8_t>& data) {
    return keyCrypt(cipher_, op, key, iv, data);
}

std::uint16_t CpuCosTypeB::transceive(const cos_7816::_KeyData*, std::uint8_t) {
    return 0;
}

}  // namespace Orvane
