#include "commands/rf_work.hpp"

#include <new>

#include "card/cpu/cos7816.hpp"
#include "card/cpu/cos_fm2.hpp"
#include "card/cpu/cpu_cos_typea.hpp"
#include "card/purse/cos_pboc2.hpp"
#include "commands/cos7816_commands.hpp"
#include "commands/cpu_card_work.hpp"
#include "commands/cpu_commands.hpp"
#include "commands/entry/rf_reader_one.hpp"
#include "commands/fm_cos_commands.hpp"
#include "commands/key_provider/key_data_fill.hpp"
#include "commands/pboc_commands.hpp"
#include "protocol/answer.hpp"
#include "protocol/log.hpp"
#include "protocol/request_fields.hpp"

using nlohmann::json;
namespace hr = handler_result;

RfWork::~RfWork() = default;

std::optional<std::size_t> RfWork::slotFor(const json& request, json& reply, int& result) {
    const auto index = request.is_object() ? uintField(request, "rfIdx") : std::nullopt;
    if (!index) {
        result = hr::kMalformed;
        return std::nullopt;
    }
    if (*index >= kReaderSlots) {
        result = answer(reply, Result::kBadIndex);
        return std::nullopt;
    }
    return static_cast<std::size_t>(*index);
}

int RfWork::onEntry(const json& request, json& reply, EntryNeeds needs, const EntryBody& body) {
    try {
        int result = hr::kMalformed;
        const auto slot = slotFor(request, reply, result);
        if (!slot) return result;
        std::shared_ptr<RfReaderOne> entry = readers_[*slot];
        if (!entry) return answer(reply, Result::kNoReader);
        EntryCommand command(std::move(entry), needs);
        return body(command);
    } catch (const std::bad_alloc&) {
        // Creating a card object, a buffer or the reply ran out of memory: answer instead of
        // ending the service.
        return answer(reply, Result::kOutOfMemory);
    }
}

int RfWork::workCpuCosTypeA(GCODE code, const json& request, json& reply) {
    const EntryNeeds needs = cpu_commands::needsOf(code);
    return onEntry(request, reply, needs, [&](EntryCommand& command) {
        const std::shared_ptr<Orvane::CpuCosTypeA> card = command.entry().cpuCosTypeA();
        if (code == 311) {
            // With a key the client holds, the work waits for its answers off this thread.
            const bool provider = key_provider::needsProvider(request, {.safe = true});
            return providerWorks_.run(request, reply, cpu_commands::apduWork(card, command.entryShare()),
                                      provider);
        }
        const int result = cpu_commands::run(code, request, reply, *card);
        if (needs.card == EntryNeeds::Card::held && card->isActive()) command.keepTypeACard(card->uid());
        return result;
    });
}

int RfWork::onCpuCos(const json& request, json& reply, const CpuCosBody& body) {
    const auto kind = uintField(request, "cpuId");
    if (!kind) return hr::kMalformed;
    return onEntry(request, reply, {}, [&](EntryCommand& command) {
        const std::shared_ptr<Orvane::ICpuCosReader> card = command.entry().cpuCos(*kind);
        if (!card) return answer(reply, Result::kWrongCpuProtocol);
        return body(command, card);
    });
}

int RfWork::runCpuCosWork(EntryCommand& command, const std::shared_ptr<Orvane::ICpuCosReader>& card,
                          const json& request, json& reply, key_provider::Work work, bool provider) {
    return providerWorks_.run(request, reply,
                              cpu_card_work::held(command.entryShare(), card, std::move(work)), provider);
}

int RfWork::workCos7816(GCODE code, const json& request, json& reply) {
    return onCpuCos(
        request, reply, [&](EntryCommand& command, const std::shared_ptr<Orvane::ICpuCosReader>& card) {
            if (!cos7816_commands::serves(code)) {
                logWarn("Cos7816 gcode %d fail", code);
                return answer(reply, Result::kUnknownCode);
            }
            auto work = [cos = command.entry().cos7816(card), code](const json& req, json& rep,
                                                                    const ChannelPtr& channel) {
                return cos7816_commands::run(code, req, rep, *cos, channel);
            };
            const bool provider = key_provider::needsProvider(request, cos7816_commands::keyPlaces(code));
            return runCpuCosWork(command, card, request, reply, std::move(work), provider);
        });
}

int RfWork::workCosFm2(GCODE code, const json& request, json& reply) {
    return onCpuCos(request, reply,
                    [&](EntryCommand& command, const std::shared_ptr<Orvane::ICpuCosReader>& card) {
                        if (!fm_cos_commands::serves(code)) {
                            logWarn("CosFm2 gcode %d fail", code);
                            return answer(reply, Result::kUnknownCode);
                        }
                        auto work = [cos = command.entry().cosFm2(card), code](const json& req, json& rep,
                                                                               const ChannelPtr& channel) {
                            return fm_cos_commands::run(code, req, rep, *cos, channel);
                        };
                        return runCpuCosWork(command, card, request, reply, std::move(work),
                                             fm_cos_commands::needsProvider(code, request));
                    });
}

int RfWork::workCosPboc2(GCODE code, const json& request, json& reply) {
    return onCpuCos(
        request, reply, [&](EntryCommand& command, const std::shared_ptr<Orvane::ICpuCosReader>& card) {
            if (!pboc_commands::serves(code)) {
                logWarn("CosPboc2 gcode %d fail", code);
                return answer(reply, Result::kUnknownCode);
            }
            auto work = [cos = command.entry().cosPboc2(card), code](const json& req, json& rep,
                                                                     const ChannelPtr& channel) {
                return pboc_commands::run(code, req, rep, *cos, channel);
            };
            const bool provider = key_provider::needsProvider(request, pboc_commands::keyPlaces(code));
            return runCpuCosWork(command, card, request, reply, std::move(work), provider);
        });
}
