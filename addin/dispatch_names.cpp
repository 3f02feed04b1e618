#include "addin/dispatch_names.h"

#include "host/utf.h"

namespace qev {

const DispatchName* FindDispatchName(std::u16string_view name) noexcept
{
    for (const DispatchName& entry : kDispatchNames)
        if (host::EqualNoCase(entry.name, name)) return &entry;
    return nullptr;
}

const DispatchName* FindDispatchId(std::int32_t objectId) noexcept
{
    for (const DispatchName& entry : kDispatchNames)
        if (entry.objectId == objectId) return &entry;
    return nullptr;
}

}  // namespace qev
