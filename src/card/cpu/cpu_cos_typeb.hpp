#pragma once
// The type B CPU card: the same interface and key operations as type A, without an exchange yet.
// No command uses it; getChallenge and transceive send nothing and answer 0.

#include <memory>

#include "card/cpu/icpu_cos_reader.hpp"
#include "card/iso14443b/iiso14443b_reader.hpp"
#include "crypto/cipher.hpp"
#include "crypto/std_buf.hpp"

namespace Orvane {

class CpuCosTypeB : public ICpuCosReader {
  public:
    explicit CpuCosTypeB(std::shared_ptr<IIso14443BReader> reader);
    CpuCosTypeB(const CpuCosTypeB&) = delete;
    CpuCosTypeB& operator=(const CpuCosTypeB&) = delete;

    std::uint8_t* ioBuffer() override { return io_.data(); }
    const std::uint8_t* responseData() const override { return io_.data(); }
    std::uint32_t responseLength() const override { return io_.size(); }
    std::uint16_t getChallenge(std::span<std::uint8_t, 8> out, bool shortForm) override;
    std::uint16_t crypt(std::uint8_t op, const cos_7816::_KeyData& key, const std::uint8_t* iv,
                        std::vector<std::uint8_t>& data) override;
    std::uint16_t transceive(const cos_7816::_KeyData* key, std::uint8_t apduCase) override;

  private:
    std::shared_ptr<IIso14443BReader> reader_;
    Cipher cipher_;
    StdBuf io_;
};

}  // namespace Orvane
