// The user's seven commands: Is spam, Not spam, Add spammer, Add friend (they
// hand the selected mail to the engine) and Spammers, Friends, Settings (they
// open the engine's own windows). Both user interfaces call them with a
// ClickSource; a repeated click is guarded by the host's tick count.
#pragma once

#include <cstdint>

#include "host/object.h"

namespace qev {

// The commands' keys: the ribbon's control ids and the command bar's buttons.
enum class CommandKey { IsSpam, NotSpam, AddSpammer, AddFriend, Spammers, Friends, Settings };

// How a command was reached.
struct ClickSource {
    enum class Kind : std::int32_t { CommandBar = 1, Ribbon = 2 };
    Kind kind = Kind::CommandBar;
    host::Object* button = nullptr;   // the command bar's button
    bool* cancelDefault = nullptr;    // the click's cancel-default output
    host::Object* control = nullptr;  // the ribbon's control
    bool fromExplorer = true;
};

// Not built yet: the commands come with the command bar. What they keep from
// connection to connection is the tick of the last click.
class Commands {
public:
    void Reset() noexcept { m_lastClickTick = 0; }

private:
    std::uint32_t m_lastClickTick = 0;
};

}  // namespace qev
