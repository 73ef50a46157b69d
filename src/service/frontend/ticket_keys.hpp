#pragma once
// Session-ticket keys: a current and a previous set, the current one replaced once a day, so a
// ticket stays valid across one rotation and no longer. Thread-safe.

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>

struct TicketKeySet {
    std::array<unsigned char, 16> name{};
    std::array<unsigned char, 32> hmacKey{};
    std::array<unsigned char, 32> aesKey{};
    std::int64_t created = 0;  // whole seconds of the monotonic clock; 0 = never created
};

class TicketKeyStore {
  public:
    static constexpr std::int64_t kLifetimeSeconds = 86400;

    // The set to encrypt new tickets with, rotated first when due.
    TicketKeySet current(std::int64_t now);
    // The set a received ticket names (current or previous), rotated first when due.
    std::optional<TicketKeySet> find(const unsigned char* name, std::int64_t now);

  private:
    void rotateIfDue(std::int64_t now);  // caller holds mutex_

    std::mutex mutex_;
    TicketKeySet current_;
    TicketKeySet previous_;
};

// Seconds of the monotonic clock.
std::int64_t monotonicSeconds();
