// A failure inside one message's handling, on the service with simulated readers: the connection
// that sent it is closed, the service and its other sessions go on.

#include <gtest/gtest.h>

#include <stdexcept>

#include "reader/bus/system_device_bus.hpp"
#include "sim_service.hpp"
#include "support/log_capture.hpp"

using nlohmann::json;

namespace {

// A bus whose driver calls fail by throwing.
class ThrowingBus : public Orvane::DeviceBus {
  public:
    std::unique_ptr<Orvane::HidDevice> openHid(std::uint16_t, std::uint16_t) override {
        throw std::runtime_error("hid driver gave up");
    }
    std::unique_ptr<Orvane::UsbDevice> openUsb(std::uint16_t, std::uint16_t) override {
        throw std::runtime_error("usb driver gave up");
    }
    std::unique_ptr<Orvane::HidDevice> wrapHid(std::intptr_t, int) override { return nullptr; }
    std::unique_ptr<Orvane::UsbDevice> wrapUsb(std::intptr_t) override { return nullptr; }
    std::vector<serial::PortInfo> listSerialPorts() override { throw std::runtime_error("no port list"); }
};

}  // namespace

TEST(SessionFailure, AnExceptionInOneMessageClosesThatConnectionOnly) {
    LogCapture log;  // before the service, so that its threads log here
    // Readers keep the bus they were made on, so it outlives the service.
    const auto throwing = std::make_shared<ThrowingBus>();
    SimService service;
    ASSERT_TRUE(service.ready());
    SimClient bystander(service);
    SimClient client(service);
    ASSERT_TRUE(bystander.loggedIn() && client.loggedIn());

    Orvane::installDeviceBus(throwing);
    ASSERT_EQ(client.call(100, {{"rfIdx", 0}, {"devType", kReaderVaHid}})["err"], 0);
    Orvane::installDeviceBus(service.readers.sharedBus());
    const std::string ack = client.send(105, {{"rfIdx", 0}, {"open", true}});
    EXPECT_TRUE(client.ws().closedByServer());

    EXPECT_EQ(bystander.call(1)["err"], 0);
    SimClient newcomer(service);
    EXPECT_TRUE(newcomer.loggedIn());
    EXPECT_TRUE(log.contains("error message code 105 ack \"" + ack + "\" failed: hid driver gave up"));
}
