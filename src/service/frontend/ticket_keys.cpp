#include "service/frontend/ticket_keys.hpp"

#include <openssl/rand.h>

#include <algorithm>
#include <ctime>

std::int64_t monotonicSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec;
}

void TicketKeyStore::rotateIfDue(std::int64_t now) {
    if (current_.created != 0 && now - current_.created <= kLifetimeSeconds) return;
    TicketKeySet fresh;
    if (RAND_bytes(fresh.name.data(), fresh.name.size()) != 1 ||
        RAND_bytes(fresh.hmacKey.data(), fresh.hmacKey.size()) != 1 ||
        RAND_bytes(fresh.aesKey.data(), fresh.aesKey.size()) != 1)
        return;  // keep the old keys rather than issue tickets under weak ones
    fresh.created = std::max<std::int64_t>(now, 1);
    previous_ = current_;
    current_ = fresh;
}

TicketKeySet TicketKeyStore::current(std::int64_t now) {
    std::lock_guard lock(mutex_);
    rotateIfDue(now);
    return current_;
}

std::optional<TicketKeySet> TicketKeyStore::find(const unsigned char* name, std::int64_t now) {
    std::lock_guard lock(mutex_);
    rotateIfDue(now);
    // A set that was never created has an all-zero name that a forged ticket could carry.
    for (const TicketKeySet* set : {&current_, &previous_})
        if (set->created != 0 && std::equal(set->name.begin(), set->name.end(), name)) return *set;
    return std::nullopt;
}
