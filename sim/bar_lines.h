// The command bar's transcript lines and the button a tag names, one
// definition for both runners' worlds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace qev::sim {

// The command (IsSpam, NotSpam, ...) of an add-in button's tag
// ("zk.qev_CommandBar.Buttons_101" is IsSpam, ... 107 Settings); empty when
// the tag names none.
std::string ButtonKeyOfTag(std::u16string_view tag);
// The tag of a command's button; empty for an unknown command.
std::u16string TagOfButtonKey(std::string_view key);

// "* BUTTON KEY caption="TEXT" tag="TAG" face=WxH|none"
std::string ButtonLine(std::u16string_view tag, std::u16string_view caption,
                       const std::optional<std::pair<std::int32_t, std::int32_t>>& face);
// "* BAR "NAME" pos=N top=N left=N visible=0|1"
std::string BarLine(std::u16string_view name, std::int32_t pos, std::int32_t top, std::int32_t left, bool visible);
// "* ENABLED KEY true|false"
std::string EnabledLine(std::u16string_view tag, bool enabled);

}  // namespace qev::sim
