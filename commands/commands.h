// The user's seven commands: Is spam, Not spam, Add spammer, Add friend hand
// the selected mail to the engine (and file it into or out of the spam
// folder); Spammers, Friends, Settings open the engine's own windows. The
// ribbon and the command bar both call them with a ClickSource, which the
// commands do not read. A burst of clicks on a classifying command runs only
// its first click.
#pragma once

#include <cstdint>

#include "engine/engine_link.h"
#include "host/object.h"
#include "host/outlook.h"
#include "mail/mail_stores.h"

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

class Commands {
public:
    // application is the add-in's reference to Outlook (set at connection).
    Commands(EngineLink& engine, MailStores& stores, const host::Ref<host::Application>& application) noexcept
        : m_engine(engine), m_stores(stores), m_pApplication(application)
    {
    }

    // Forgets the last click: a new connection starts without one.
    void Reset() noexcept { m_lastClickTick = 0; }

    // The command of that key. Never raises.
    void Run(CommandKey key, const ClickSource& source);

    void OnClickIsSpam_(const ClickSource& source);
    void OnClickNotSpam_(const ClickSource& source);
    void OnClickAddSpammer_(const ClickSource& source);
    void OnClickAddFriend_(const ClickSource& source);
    void OnClickSpammers_(const ClickSource& source);
    void OnClickFriends_(const ClickSource& source);
    void OnClickSettings_(const ClickSource& source);

private:
    struct Classifying;
    struct Display;

    // True when this click follows the last classifying click by less than
    // 500 ms (and is to be ignored); the tick is kept either way.
    bool RepeatedClick_();
    void Classify_(const Classifying& command);
    void Display_(const Display& command);

    EngineLink& m_engine;
    MailStores& m_stores;
    const host::Ref<host::Application>& m_pApplication;
    std::uint32_t m_lastClickTick = 0;
};

}  // namespace qev
