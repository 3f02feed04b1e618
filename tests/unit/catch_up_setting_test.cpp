// The catch-up setting: which of the three places decides, and what does
// not count as a value.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "filing/catch_up_setting.h"
#include "host/fake/fake_world.h"

namespace {

using host::RegRoot;
using host::RegValue;

constexpr char16_t kPolicy[] = u"Software\\Policies\\Marlowcrest\\qev";
constexpr char16_t kOwn[] = u"Software\\Marlowcrest\\qev";

TEST(CatchUpSetting, PolicyThenUserThenMachineDecide)
{
    struct Case {
        const char* name;
        std::optional<RegValue> policy;
        std::optional<RegValue> user;
        std::optional<RegValue> machine;
        bool on;
    };
    const std::vector<Case> cases = {
        {"nothing set", {}, {}, {}, false},
        {"user on", {}, RegValue::Dword(1), {}, true},
        {"user any non-zero", {}, RegValue::Dword(0x100), {}, true},
        {"machine on", {}, {}, RegValue::Dword(1), true},
        {"user off over machine on", {}, RegValue::Dword(0), RegValue::Dword(1), false},
        {"policy off over user on", RegValue::Dword(0), RegValue::Dword(1), {}, false},
        {"policy on over user off", RegValue::Dword(1), RegValue::Dword(0), {}, true},
        {"text is no value: the user's decides", RegValue::Text(u"1"), RegValue::Dword(0), {}, false},
        {"text alone is off", {}, RegValue::Text(u"1"), {}, false},
    };
    for (const Case& c : cases) {
        host::fake::FakeWorld world;
        auto& registry = world.Registry();
        if (c.policy) registry.Put(RegRoot::LocalMachine, kPolicy, u"CatchUp", *c.policy);
        if (c.user) registry.Put(RegRoot::CurrentUser, kOwn, u"CatchUp", *c.user);
        if (c.machine) registry.Put(RegRoot::LocalMachine, kOwn, u"CatchUp", *c.machine);
        EXPECT_EQ(qev::CatchUpSettingOn(registry), c.on) << c.name;
        EXPECT_EQ(registry.OpenKeys(), 0u) << c.name << ": every key is closed";
    }
}

}  // namespace
