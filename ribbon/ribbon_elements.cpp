#include "ribbon/ribbon_elements.h"

namespace qev {

RibbonElement* RibbonElements::Find(std::u16string_view id) noexcept
{
    for (RibbonElement& row : m_rows)
        if (row.id == id) return &row;
    return nullptr;
}

}  // namespace qev
