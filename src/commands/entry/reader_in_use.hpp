#pragma once
// The process-wide record of which reader types a reader entry holds, so that two entries (of one
// session or of several) never drive the same type at once. An entry claims a type before it
// touches a device of it and keeps the claim while the device is opened and handshaken; the mutex
// guards only the record, so a slow open never makes another session's open or close wait on it.
//
// A frame-family type is one device: the process drives one reader of each. PC/SC readers (type 7)
// are claimed by the name pcscd gives each, so entries can drive several of them side by side.

#include <chrono>
#include <compare>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

// One device a reader entry can hold: a reader type, and for PC/SC the reader's name.
struct ReaderDevice {
    std::uint8_t type = 0;
    std::string name;
    auto operator<=>(const ReaderDevice&) const = default;
};

class ReaderInUse {
  public:
    static ReaderInUse& process();

    // Claims the device for `owner` (true at once when the owner has it already). While another
    // owner holds it, waits up to `grace` for it to be let go; false when it is still held then.
    bool claim(const ReaderDevice& device, const void* owner, std::chrono::milliseconds grace);
    bool claim(std::uint8_t type, const void* owner, std::chrono::milliseconds grace) {
        return claim(ReaderDevice{type, {}}, owner, grace);
    }
    // Lets go of the owner's claim on the device; another owner's claim stays.
    void release(const ReaderDevice& device, const void* owner);
    void release(std::uint8_t type, const void* owner) { release(ReaderDevice{type, {}}, owner); }
    // Lets go of every claim of the owner but the one on `keep`.
    void keepOnly(const void* owner, const ReaderDevice& keep);
    void releaseAll(const void* owner) { keepOnly(owner, ReaderDevice{}); }

  private:
    mutable std::mutex mutex_;
    std::condition_variable released_;
    std::map<ReaderDevice, const void*> owners_;
};
