#pragma once
// The machine fingerprint of session command 2: SHA-256 over a text gathered, in a fixed order,
// from the machine id, the network interfaces and the processor information, so that the same
// system state always gives the same bytes.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include <nlohmann/json.hpp>

using HardwareAddress = std::array<std::uint8_t, 6>;

// Where the identity text comes from. Tests point `root` at a fixture tree and replace the kernel
// query; the service uses the defaults.
struct IdentitySources {
    std::string root = "/";
    std::function<std::optional<HardwareAddress>(const std::string& interfaceName)> hardwareAddress;
};

// The interfaces asked about, in this order.
const std::array<const char*, 3>& identityInterfaces();

// The interface's hardware address as the kernel reports it (SIOCGIFHWADDR); nullopt when the
// interface does not exist or the query fails.
std::optional<HardwareAddress> kernelHardwareAddress(const std::string& interfaceName);

// The identity text: machine id, /sys addresses, processor lines, kernel addresses, then "0".
std::string machineIdentityText(const IdentitySources& sources = {});

// SHA-256 of the identity text.
void machineDigest(std::span<std::uint8_t, 32> out, const IdentitySources& sources = {});

// Fills the reply of command 2: `sha256` (the digest) and `md5` (MD5 of the 32 digest bytes), both
// lower-case hexadecimal.
void fillMachineIdentity(nlohmann::json& reply, const IdentitySources& sources = {});
