#pragma once
// Commands 300 to 311: a reader's type A CPU card — activation, what the card told about itself,
// and APDUs, raw or built from fields with optional secure messaging.

#include <memory>
#include <nlohmann/json.hpp>

#include "commands/entry_command.hpp"
#include "commands/key_provider/provider_work.hpp"
#include "protocol/handler.hpp"

namespace Orvane {
class CpuCosTypeA;
}

namespace cpu_commands {

// 300, 301, 304 and 310 hold the card; 311 holds it from inside its work (which may run on a
// thread of its own); the others only read what the card object keeps.
EntryNeeds needsOf(GCODE code);

// Every code but 311, by the handler contract of protocol/handler.hpp.
int run(GCODE code, const nlohmann::json& request, nlohmann::json& reply, Orvane::CpuCosTypeA& card);

// 311: the APDU built from the request's fields, sent with the secure messaging its "safe" asks
// for. It holds the entry's card hold while it runs and keeps it for an active card.
key_provider::Work apduWork(std::shared_ptr<Orvane::CpuCosTypeA> card, std::shared_ptr<RfReaderOne> entry);

}  // namespace cpu_commands
