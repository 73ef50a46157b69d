#pragma once
// The process-wide record of which reader types a reader entry holds, so that two entries (of one
// session or of several) never drive the same type at once. An entry claims a type before it
// touches a device of it and keeps the claim while the device is opened and handshaken; the mutex
// guards only the record, so a slow open never makes another session's open or close wait on it.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>

class ReaderInUse {
  public:
    static ReaderInUse& process();

    // Claims `type` for `owner` (true at once when the owner has it already). While another owner
    // holds it, waits up to `grace` for it to be let go; false when it is still held then.
    bool claim(std::uint8_t type, const void* owner, std::chrono::milliseconds grace);
    // Lets go of the owner's claim on `type`; another owner's claim stays.
    void release(std::uint8_t type, const void* owner);
    // Lets go of every claim of the owner but the one on `keep`.
    void keepOnly(const void* owner, std::uint8_t keep);
    void releaseAll(const void* owner) { keepOnly(owner, 0); }

    bool isHeld(std::uint8_t type) const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable released_;
    std::map<std::uint8_t, const void*> owners_;
};
