#include <gtest/gtest.h>

#include "service/frontend/rf_dock.hpp"
#include "service/frontend/ticket_keys.hpp"

TEST(ServerLimits, WorkersAndConnections) {
    EXPECT_EQ(clampedWorkers(0), 1);
    EXPECT_EQ(clampedWorkers(-3), 1);
    EXPECT_EQ(clampedWorkers(4), 4);
    EXPECT_EQ(clampedWorkers(2000), 1500);
    EXPECT_EQ(roundedMaxConnect(401, 4), 404);
    EXPECT_EQ(roundedMaxConnect(2, 4), 4);
    EXPECT_EQ(roundedMaxConnect(10, 4), 12);
    EXPECT_EQ(roundedMaxConnect(400, 4), 400);
    EXPECT_EQ(roundedMaxConnect(-1, 3), 3);
    EXPECT_EQ(roundedMaxConnect(INT32_MAX, 1500) % 1500, 0);
}

TEST(TicketKeyStore, ATicketOutlivesOneRotationButNotTwo) {
    TicketKeyStore store;
    const std::int64_t t0 = 1000;
    const TicketKeySet first = store.current(t0);
    EXPECT_EQ(store.current(t0 + TicketKeyStore::kLifetimeSeconds).name, first.name);  // 86400 s: not yet

    const TicketKeySet second = store.current(t0 + TicketKeyStore::kLifetimeSeconds + 1);
    EXPECT_NE(second.name, first.name);
    ASSERT_TRUE(store.find(first.name.data(), t0 + TicketKeyStore::kLifetimeSeconds + 2));
    EXPECT_EQ(store.find(first.name.data(), t0 + 86402)->aesKey, first.aesKey);

    store.current(second.created + TicketKeyStore::kLifetimeSeconds + 1);
    EXPECT_FALSE(store.find(first.name.data(), second.created + TicketKeyStore::kLifetimeSeconds + 2));
    EXPECT_TRUE(store.find(second.name.data(), second.created + TicketKeyStore::kLifetimeSeconds + 2));
}

TEST(TicketKeyStore, NeverCreatedSetMatchesNothing) {
    TicketKeyStore store;
    const unsigned char zeros[16] = {};
    EXPECT_FALSE(store.find(zeros, 5));  // the previous set is still empty
}
