#include "mail/entry_id.h"

#include <algorithm>

namespace qev {

std::u16string EntryId::Hex() const
{
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string text(m_bytes.size() * 2, u'0');
    std::size_t i = 0;
    for (const std::uint8_t b : m_bytes) {
        text[i++] = kDigits[b >> 4];
        text[i++] = kDigits[b & 0x0F];
    }
    return text;
}

bool EntryIdLess::operator()(const EntryId& a, const EntryId& b) const noexcept
{
    const auto x = a.Bytes();
    const auto y = b.Bytes();
    return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end());
}

}  // namespace qev
