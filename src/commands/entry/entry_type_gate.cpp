#include "commands/entry/entry_type_gate.hpp"

bool EntryTypeGate::admit(std::uint8_t type) {
    if (refused_.contains(type)) return false;
    if (registry_.claim(type, owner_, kInUseGrace)) return true;
    refused_.insert(type);
    return false;
}
