#include "host/system.h"

#include <atomic>

#include "host/ole_date.h"

namespace host {
namespace {

// Stands in until a platform is installed: writes nothing and finds nothing,
// so that a trace site reached too early cannot crash.
class NoSystem final : public System {
public:
    void DebugOutput(const char16_t*) noexcept override {}
    std::optional<std::u16string> RoamingAppDataFolder() override { return std::nullopt; }
    bool PathExists(std::u16string_view) override { return false; }
    std::optional<std::u16string> SystemMessage(HRESULT) override { return std::nullopt; }
    bool WidenText(std::string_view bytes, unsigned, std::u16string& out, std::uint32_t&) override
    {
        out.append(bytes.begin(), bytes.end());
        return true;
    }
    std::uint32_t TickCount() noexcept override { return 0; }
    bool CurrentDir(std::size_t, std::u16string&) noexcept override { return false; }
    bool SetCurrentDir(std::u16string_view) noexcept override { return false; }
};

NoSystem g_noSystem;
std::atomic<System*> g_system{&g_noSystem};

}  // namespace

std::u16string System::FilterDate(double oleDate)
{
    return FilterDateText(oleDate);
}

System& Sys() noexcept
{
    return *g_system.load(std::memory_order_acquire);
}

void InstallSystem(System* system) noexcept
{
    g_system.store(system ? system : &g_noSystem, std::memory_order_release);
}

}  // namespace host
