// Feeds arbitrary SELECT answers to the FCI walk, straight and through Cos7816::selectFile over a
// card object that answers with the input. Any result is fine; what must not happen is a read past
// the answer (it is handed over in a heap block of exactly its size), a kept length past its field,
// a presence flag other than 0 or 1, or a hang.
//
// Input: the response data of the SELECT; through selectFile the last two bytes are its status word.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "card/cpu/cos7816.hpp"
#include "card/cpu/fci_walk.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

void require(bool condition) {
    if (!condition) __builtin_trap();
}

void checkRecord(const Orvane::FciInfo& fci) {
    for (const std::uint8_t flag :
         {fci.hasDfName, fci.hasSfi, fci.hasVer, fci.hasIssuerData, fci.hasProprietary})
        require(flag <= 1);
    require(fci.dfNameLen <= fci.dfName.size());
    require(fci.issuerDataLen <= fci.issuerData.size());
    require(fci.proprietaryLen <= fci.proprietary.size());
    require(fci.hasDfName || fci.dfNameLen == 0);
    require(fci.hasIssuerData || fci.issuerDataLen == 0);
    require(fci.hasProprietary || fci.proprietaryLen == 0);
}

// A card object whose every exchange answers the fuzz input (status word included).
class EchoCard final : public Orvane::ICpuCosReader {
  public:
    explicit EchoCard(std::span<const std::uint8_t> answer) : answer_(answer) {}

    std::uint8_t* ioBuffer() override { return io_.data(); }
    const std::uint8_t* responseData() const override { return response_.data(); }
    std::uint32_t responseLength() const override { return static_cast<std::uint32_t>(response_.size()); }
    std::uint16_t getChallenge(std::span<std::uint8_t, 8> out, bool) override {
        std::fill(out.begin(), out.end(), 0);
        return 0xFFFF;
    }
    std::uint16_t crypt(std::uint8_t, const Orvane::cos_7816::_KeyData&, const std::uint8_t*,
                        std::vector<std::uint8_t>&) override {
        return 0x866A;
    }
    std::uint16_t transceive(const Orvane::cos_7816::_KeyData*, std::uint8_t) override {
        require(io_[1] == 0xA4);
        response_.clear();
        if (answer_.size() < 2) return 0;
        response_.assign(answer_.begin(), answer_.end() - 2);
        return static_cast<std::uint16_t>(answer_[answer_.size() - 2] | answer_.back() << 8);
    }

  private:
    std::span<const std::uint8_t> answer_;
    Bytes io_ = Bytes(kMinIoCapacity, 0);
    Bytes response_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes exact(data, data + size);
    Orvane::FciInfo fci;
    Orvane::decodeFci(exact, fci);
    checkRecord(fci);

    auto card = std::make_shared<EchoCard>(exact);
    Orvane::Cos7816 cos(card);
    Orvane::FciInfo selected;
    const std::uint16_t status = cos.selectFile(0x3F00, std::nullopt, selected);
    checkRecord(selected);
    // Only a found file or a locked one with data is decoded.
    if (status != 0x0090 && status != 0x816A)
        require(selected.hasDfName == 0 && selected.hasProprietary == 0);
    return 0;
}
