#include "addin/dispatch_names.h"

namespace qev {
namespace {

char16_t FoldAscii(char16_t c) noexcept
{
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool EqualNoCase(std::u16string_view a, std::u16string_view b) noexcept
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

}  // namespace

const DispatchName* FindDispatchName(std::u16string_view name) noexcept
{
    for (const DispatchName& entry : kDispatchNames)
        if (EqualNoCase(entry.name, name)) return &entry;
    return nullptr;
}

const DispatchName* FindDispatchId(std::int32_t objectId) noexcept
{
    for (const DispatchName& entry : kDispatchNames)
        if (entry.objectId == objectId) return &entry;
    return nullptr;
}

}  // namespace qev
