// Feeds arbitrary client messages to one logged-in session whose reader slot can reach a simulated
// type-4 reader with a Mifare Classic card on it. Any reply is fine; what must not happen is a
// crash, a hang, an exception leaving dispatch, or a read or write out of bounds.
//
// Input: messages separated by NUL bytes, each handed to dispatch as one text message.

#include <spdlog/spdlog.h>

#include <cstdint>
#include <memory>
#include <string_view>

#include "../tests/unit/support/fake_channel.hpp"
#include "../tests/unit/support/hex_bytes.hpp"
#include "reader/bus/system_device_bus.hpp"
#include "service/session/session_work.hpp"
#include "sim/card/mifare_classic_card.hpp"
#include "sim/field/type_a_commands.hpp"
#include "sim/world/sim_world.hpp"

namespace {

struct Rig {
    Rig() {
        spdlog::set_level(spdlog::level::off);
        world.add(4, nullptr, {});
        rfsim::attachField(*world.firstOfType(4)->reader, field);
        field->place(rfsim::makeMifare1K(hexBytes("01020304")));
        Orvane::installDeviceBus(world.bus());
        config->SetValue("user", "public", "login");
        config->SetValue("pass", "secret", "login");
    }
    rfsim::SimWorld world;
    std::shared_ptr<rfsim::VirtualField> field = std::make_shared<rfsim::VirtualField>();
    IniCfgPtr config = std::make_shared<IniCfg>();
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Rig rig;
    auto channel = std::make_shared<FakeChannel>();
    SessionWork session(channel, rig.config);
    session.dispatch(R"({"ack":"l","code":0,"user":"public","pass":"secret"})");
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (channel->isConnected()) {
        const std::size_t end = rest.find('\0');
        if (!session.dispatch(rest.substr(0, end))) break;
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return 0;
}
