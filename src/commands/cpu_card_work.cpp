#include "commands/cpu_card_work.hpp"

#include "card/cpu/cpu_cos_typea.hpp"
#include "commands/entry_command.hpp"

using nlohmann::json;

namespace cpu_card_work {

key_provider::Work held(std::shared_ptr<RfReaderOne> entry, std::shared_ptr<Orvane::ICpuCosReader> card,
                        key_provider::Work work) {
    auto typeA = std::dynamic_pointer_cast<Orvane::CpuCosTypeA>(std::move(card));
    return [entry = std::move(entry), typeA = std::move(typeA), work = std::move(work)](
               const json& request, json& reply, const ChannelPtr& channel) {
        if (!typeA) return work(request, reply, channel);
        EntryCommand hold(entry, {.stopsFinder = false, .exchange = false, .card = EntryNeeds::Card::held});
        const int result = work(request, reply, channel);
        if (typeA->isActive()) hold.keepTypeACard(typeA->uid());
        return result;
    };
}

}  // namespace cpu_card_work
