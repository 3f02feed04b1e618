#include "sim/bar_lines.h"

#include <array>

#include "sim/transcript.h"

namespace qev::sim {
namespace {

constexpr std::u16string_view kTagPrefix = u"zk.qev_CommandBar.Buttons_";
// By sink id 101 to 107.
constexpr std::array<std::string_view, 7> kKeys{"IsSpam",   "NotSpam", "AddSpammer", "AddFriend",
                                                 "Spammers", "Friends", "Settings"};

}  // namespace

std::string ButtonKeyOfTag(std::u16string_view tag)
{
    if (tag.size() != kTagPrefix.size() + 3 || tag.substr(0, kTagPrefix.size()) != kTagPrefix) return {};
    const std::u16string_view id = tag.substr(kTagPrefix.size());
    if (id[0] != u'1' || id[1] != u'0' || id[2] < u'1' || id[2] > u'7') return {};
    return std::string(kKeys[static_cast<std::size_t>(id[2] - u'1')]);
}

std::u16string TagOfButtonKey(std::string_view key)
{
    for (std::size_t i = 0; i < kKeys.size(); ++i)
        if (kKeys[i] == key) return std::u16string(kTagPrefix) + u"10" + static_cast<char16_t>(u'1' + i);
    return {};
}

std::string ButtonLine(std::u16string_view tag, std::u16string_view caption,
                       const std::optional<std::pair<std::int32_t, std::int32_t>>& face)
{
    const std::string key = ButtonKeyOfTag(tag);
    return "* BUTTON " + (key.empty() ? std::string("?") : key) + " caption=\"" + EscapeText(caption) +
           "\" tag=\"" + EscapeText(tag) + "\" face=" +
           (face ? std::to_string(face->first) + "x" + std::to_string(face->second) : std::string("none"));
}

std::string BarLine(std::u16string_view name, std::int32_t pos, std::int32_t top, std::int32_t left, bool visible)
{
    return "* BAR \"" + EscapeText(name) + "\" pos=" + std::to_string(pos) + " top=" + std::to_string(top) +
           " left=" + std::to_string(left) + " visible=" + (visible ? "1" : "0");
}

std::string EnabledLine(std::u16string_view tag, bool enabled)
{
    const std::string key = ButtonKeyOfTag(tag);
    return "* ENABLED " + (key.empty() ? std::string("?") : key) + (enabled ? " true" : " false");
}

}  // namespace qev::sim
