// Registry scripts: the registrar parses its whole script before it writes,
// so any text either registers and unregisters cleanly or is refused.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "addin/registrar.h"
#include "host/fake/fake_ledger.h"
#include "host/fake/fake_registry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::u16string script;
    if (!qev::DecodeScript(std::span<const std::uint8_t>(data, size), script))
        script.assign(reinterpret_cast<const char16_t*>(data), size / 2);

    host::fake::HostCalls calls;
    host::fake::FakeRegistry registry(calls);
    const std::string before = registry.Dump();
    qev::Registrar registrar(registry);
    registrar.AddReplacement(u"MODULE", u"C:\\Program Files\\Marlowcrest\\Desktop\\qev.dll");
    registrar.AddReplacement(u"APPID", u"");
    const HRESULT registered = registrar.Register(script);
    if (registered == qev::kHrScriptSyntax && registry.Dump() != before) std::abort();  // refused: nothing written
    registrar.Unregister(script);
    if (registry.OpenKeys() != 0) std::abort();
    return 0;
}
