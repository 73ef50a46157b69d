#pragma once
// What the command sets over a CPU card (7816, FM) share: their work wrapped in the entry's card
// hold, wherever the work runs (inline or on a provider thread).

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>

#include "commands/key_provider/provider_work.hpp"

class RfReaderOne;
namespace Orvane {
class ICpuCosReader;
}

namespace cpu_card_work {

// `work` with the entry's card hold taken while it runs, kept afterwards when `card` is an active
// type A card (a type B card object sends nothing, so there is nothing to hold for it).
key_provider::Work held(std::shared_ptr<RfReaderOne> entry, std::shared_ptr<Orvane::ICpuCosReader> card,
                        key_provider::Work work);

}  // namespace cpu_card_work
