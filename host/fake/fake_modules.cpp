#include "host/fake/fake_modules.h"

#include "host/fake/fake_text.h"

namespace host::fake {

const BuiltModule* FindBuiltModule(std::u16string_view path) noexcept
{
    for (const BuiltModule& module : BuiltUiModules())
        if (EqualNoCase(module.path, path)) return &module;
    return nullptr;
}

FakeLibraries::Resources ResourcesOf(std::span<const BuiltResource> resources)
{
    FakeLibraries::Resources out;
    for (const BuiltResource& r : resources) out[{r.type, r.id}].assign(r.data, r.data + r.size);
    return out;
}

FakeLibraries::Resources ResourcesOf(const BuiltModule& module)
{
    return ResourcesOf(std::span(module.resources, module.count));
}

FakeLibraries::Resources AddinModuleResources()
{
    return ResourcesOf(BuiltAddinResources());
}

}  // namespace host::fake
