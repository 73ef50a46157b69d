#pragma once
// The process-wide record of which reader types a reader entry holds open, so that two entries (of
// one session or of several) never drive the same type at once. One mutex guards the whole map; an
// entry holds it across its open, so the check and the claim cannot interleave with another open.

#include <cstdint>
#include <map>
#include <mutex>

class ReaderInUse {
  public:
    static ReaderInUse& process();

    std::mutex& mutex() { return mutex_; }
    // Both need mutex() held by the caller.
    bool isHeld(std::uint8_t type) const;
    void mark(std::uint8_t type, bool held) { held_[type] = held; }

  private:
    std::mutex mutex_;
    std::map<std::uint8_t, bool> held_;
};
