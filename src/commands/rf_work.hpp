#pragma once
// A session's reader and card commands. Each handler serves one command family by code range and
// follows the shared handler contract (see protocol/handler.hpp).

#include <array>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "commands/entry_command.hpp"
#include "commands/key_provider/provider_work.hpp"
#include "protocol/channel.hpp"
#include "protocol/handler.hpp"

class RfReaderOne;
namespace Orvane {
class ICpuCosReader;
}

class RfWork {
  public:
    explicit RfWork(ChannelRef channel) : channel_(channel), providerWorks_(std::move(channel)) {}
    ~RfWork();
    RfWork(const RfWork&) = delete;
    RfWork& operator=(const RfWork&) = delete;

    int workRfReader(GCODE code, const nlohmann::json& request, nlohmann::json& reply);       // 100-198
    int workMifareClassic(GCODE code, const nlohmann::json& request, nlohmann::json& reply);  // 200-298
    int workCpuCosTypeA(GCODE code, const nlohmann::json& request, nlohmann::json& reply);    // 300-398
    int workIso15693(GCODE code, const nlohmann::json& request, nlohmann::json& reply);       // 500-598
    int workIcodeSli(GCODE code, const nlohmann::json& request, nlohmann::json& reply);       // 600-698
    int workCos7816(GCODE code, const nlohmann::json& request, nlohmann::json& reply);        // 800-898
    int workCosFm2(GCODE code, const nlohmann::json& request, nlohmann::json& reply);         // 900-998
    int workCosPboc2(GCODE code, const nlohmann::json& request, nlohmann::json& reply);       // 1000-1098
    int workPageTagTypeA(GCODE code, const nlohmann::json& request, nlohmann::json& reply);   // 1100-1198

    static constexpr std::size_t kReaderSlots = 6;

  private:
    using EntryBody = std::function<int(EntryCommand&)>;

    // The common start of every reader and card handler (see EntryCommand), then `body`. Without
    // an object request with an unsigned rfIdx: -1 (nothing written); rfIdx 6 or more: 109; an
    // empty slot: 102; memory exhausted anywhere in the command: 108.
    int onEntry(const nlohmann::json& request, nlohmann::json& reply, EntryNeeds needs,
                const EntryBody& body);
    // The slot rfIdx names; nullopt with `result` set as onEntry says.
    std::optional<std::size_t> slotFor(const nlohmann::json& request, nlohmann::json& reply, int& result);

    int createEntry(const nlohmann::json& request, nlohmann::json& reply);

    // The common start of the CPU-card command sets: onEntry with a "cpuId" that must be an unsigned
    // integer (else -1, before the slot is looked at), 113 for a kind other than 0 (type A) and 1
    // (type B); then `body` with the entry's card object of that kind.
    using CpuCosBody = std::function<int(EntryCommand&, const std::shared_ptr<Orvane::ICpuCosReader>&)>;
    int onCpuCos(const nlohmann::json& request, nlohmann::json& reply, const CpuCosBody& body);
    // A command-set work run on the CPU card inline or, with a provider key, on its own thread.
    int runCpuCosWork(EntryCommand& command, const std::shared_ptr<Orvane::ICpuCosReader>& card,
                      const nlohmann::json& request, nlohmann::json& reply, key_provider::Work work,
                      bool provider);

    ChannelRef channel_;
    std::array<std::shared_ptr<RfReaderOne>, kReaderSlots> readers_;
    // Declared last: destroyed first, its waits released before the entries go.
    key_provider::ProviderWorks providerWorks_;
};
