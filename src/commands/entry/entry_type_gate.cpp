#include "commands/entry/entry_type_gate.hpp"

#include "reader/reader_family.hpp"

bool EntryTypeGate::admit(std::uint8_t type) {
    // A PC/SC reader is claimed by its name once the open has found it (RfReaderOne::openReader):
    // finding it only lists pcscd's readers and touches none.
    if (type == kReaderPcsc) return true;
    if (refused_.contains(type)) return false;
    if (registry_.claim(type, owner_, kInUseGrace)) return true;
    refused_.insert(type);
    return false;
}
