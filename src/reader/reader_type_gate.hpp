#pragma once
// Lets the owner of a reader decide, before any device of a type is touched, whether this reader
// may touch it now. Detection asks before each type it probes, so a reader another entry drives is
// never opened or handshaken under it; the owner keeps its claims while the device is opened and
// handshaken, without holding a lock that others wait on.

#include <cstdint>

namespace Orvane {

class ReaderTypeGate {
  public:
    virtual ~ReaderTypeGate() = default;
    // Whether this reader may touch devices of `type` now; true claims the type for it.
    virtual bool admit(std::uint8_t type) = 0;
    // The probe of an admitted type found no reader: the claim goes.
    virtual void probeFailed(std::uint8_t type) = 0;
};

// Admits every type and keeps no claims: a reader that no one else can reach.
class OpenGate : public ReaderTypeGate {
  public:
    bool admit(std::uint8_t) override { return true; }
    void probeFailed(std::uint8_t) override {}
};

}  // namespace Orvane
