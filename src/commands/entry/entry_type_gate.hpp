#pragma once
// The claims one open of a reader entry makes on the process's registry: each type the open is
// about to touch is claimed first, waiting a short grace for another entry to let it go. A type
// refused once is not waited for again in the same open (the open's second round asks again).

#include <cstdint>
#include <set>

#include "commands/entry/reader_in_use.hpp"
#include "reader/reader_type_gate.hpp"

class EntryTypeGate : public Orvane::ReaderTypeGate {
  public:
    // How long an open waits for another entry to let go of the same reader type.
    static constexpr std::chrono::milliseconds kInUseGrace{300};

    EntryTypeGate(ReaderInUse& registry, const void* owner) : registry_(registry), owner_(owner) {}

    bool admit(std::uint8_t type) override;
    void probeFailed(std::uint8_t type) override { registry_.release(type, owner_); }

    // Some type this open wanted was held by another entry all along.
    bool refusedAny() const { return !refused_.empty(); }

  private:
    ReaderInUse& registry_;
    const void* owner_;
    std::set<std::uint8_t> refused_;
};
