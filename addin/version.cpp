#include "addin/version.h"

#include <limits>
#include <string>

#include "addin/trace.h"

namespace qev {

std::int32_t LeadingDecimal(std::u16string_view text) noexcept
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\n' || text[i] == u'\r' ||
                               text[i] == u'\v' || text[i] == u'\f'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i] - u'0');
        if (value > kLimit) value = kLimit;
    }
    if (negative) return static_cast<std::int32_t>(-value);
    return static_cast<std::int32_t>(value == kLimit ? kLimit - 1 : value);
}

std::int32_t MajorVersion(std::u16string_view version, std::int32_t previous) noexcept
{
    std::int32_t major = previous;
    const std::size_t dot = version.find(u'.');
    if (dot != std::u16string_view::npos && dot > 0) major = LeadingDecimal(version.substr(0, dot));
    if (major == 0) major = LeadingDecimal(version);
    return major;
}

bool UseRibbon(host::Application* application)
{
    if (!application) return false;
    std::u16string version;
    try {
        version = application->Version();
    } catch (...) {
        return false;
    }
    const std::size_t dot = version.find(u'.');
    if (dot == std::u16string::npos || dot == 0) return false;
    const std::int32_t major = LeadingDecimal(std::u16string_view(version).substr(0, dot));
    const bool ribbon = major >= 14;
    QEV_TRACE(kTraceProgress, u"[as][qev] CConnect::UseRibbon() Outlook major version is %d; fUseRibbon: %s\n", major,
              ribbon ? u"true" : u"false");
    return ribbon;
}

}  // namespace qev
