#include "host/com_error.h"

#include <cstdint>
#include <utility>

#include "host/format.h"
#include "host/system.h"

namespace host {

ComError::ComError(HRESULT hr, std::u16string description) : m_hr(hr), m_description(std::move(description)) {}

const std::u16string& ComError::ErrorMessage() const
{
    if (!m_message) m_message = ComErrorMessageText(m_hr);
    return *m_message;
}

std::u16string ComErrorMessageText(HRESULT hr)
{
    if (std::optional<std::u16string> text = Sys().SystemMessage(hr)) {
        // The table's texts end in CR LF: drop the LF, then the CR before it.
        if (text->size() >= 2 && text->back() == u'\n') {
            text->pop_back();
            if (text->back() == u'\r') text->pop_back();
        }
        return std::move(*text);
    }
    const auto code = static_cast<std::uint32_t>(hr);
    char16_t buf[32];
    if (code >= 0x80040201u && code <= 0x8004FFFFu)
        qev::FormatTo(buf, 32, u"IDispatch error #%d", std::array<qev::FormatArg, 1>{code - 0x80040200u});
    else
        qev::FormatTo(buf, 32, u"Unknown error 0x%0lX", std::array<qev::FormatArg, 1>{code});
    return buf;
}

}  // namespace host
