#include "commands/entry/reader_in_use.hpp"

ReaderInUse& ReaderInUse::process() {
    static ReaderInUse registry;
    return registry;
}

bool ReaderInUse::isHeld(std::uint8_t type) const {
    const auto found = held_.find(type);
    return found != held_.end() && found->second;
}
