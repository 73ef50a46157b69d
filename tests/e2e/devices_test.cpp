// GET /devices on the service of this machine (which has no readers) and on the simulator, and the
// rules it shares with the other routes.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>

#include "http_client.hpp"
#include "service_process.hpp"
#include "sim_service.hpp"

using nlohmann::json;

TEST(Devices, ServiceOnAMachineWithoutReadersListsNone) {
    ServiceHome home;
    RunningService service(home, freePort());
    ASSERT_TRUE(service.ready()) << service.output();

    auto res = httpRequest(service.port(), "GET", "/devices", {{"Origin", "https://app.example"}});
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->headers["content-type"], "application/json");
    EXPECT_EQ(res->headers["access-control-allow-origin"], "https://app.example");
    const json survey = json::parse(res->body);
    EXPECT_EQ(survey["devices"], json::array());
    ASSERT_TRUE(survey["ports"].is_array());
    for (const json& port : survey["ports"]) {
        EXPECT_TRUE(port["port"].is_string());
        EXPECT_TRUE(port["type"] == 2 || port["type"] == 5) << port;
        EXPECT_TRUE(port["canOpen"].is_boolean()) << port;
    }
    EXPECT_TRUE(survey["portGrabbers"].is_array());
}

TEST(Devices, ForeignHostIsRefusedAsForEveryRoute) {
    ServiceHome home;
    const int port = freePort();
    home.writeConfig("[server]\nsrvHost = 127.0.0.1\n");
    RunningService service(home, port);
    ASSERT_TRUE(service.ready());
    EXPECT_TRUE(httpRequest(port, "GET", "/devices", {}, "127.0.0.1:" + std::to_string(port)));
    EXPECT_FALSE(httpRequest(port, "GET", "/devices", {}, "evil.example"));
}

TEST(Devices, SimulatorListsItsVirtualReadersWithTheirTypes) {
    SimService service;
    for (std::uint8_t type = 1; type <= 6; ++type)
        service.readers.add(type);
    ASSERT_TRUE(service.ready());

    const auto res = httpRequest(service.port(), "GET", "/devices");
    ASSERT_TRUE(res);
    ASSERT_EQ(res->status, 200);
    const json survey = json::parse(res->body);
    std::multiset<std::pair<int, std::string>> devices;
    for (const json& device : survey["devices"]) {
        devices.emplace(device["type"].get<int>(),
                        device["link"].get<std::string>() + " " + device["ids"].get<std::string>());
        EXPECT_EQ(device["canOpen"], true) << device;
    }
    EXPECT_EQ(devices,
              (std::multiset<std::pair<int, std::string>>{
                  {1, "HID 10c4:0210"}, {3, "HID 1a86:e010"}, {4, "HID 0483:5751"}, {6, "USB 1a86:7523"}}));
    std::multiset<int> portTypes;
    for (const json& port : survey["ports"]) {
        portTypes.insert(port["type"].get<int>());
        EXPECT_EQ(port["port"], service.readers.portOf(port["type"].get<int>())) << port;
        EXPECT_EQ(port["canOpen"], true) << port;
    }
    EXPECT_EQ(portTypes, (std::multiset<int>{2, 5}));
    // Nothing of the machine behind it: the simulator's ports are its own.
    EXPECT_EQ(survey["portGrabbers"], json::array());
}
