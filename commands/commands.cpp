// The seven commands. The four classifying ones share one walk over the
// explorer's selection; they differ in their names, the engine call and what
// happens to a message afterwards, which one table row says.
#include "commands/commands.h"

#include <optional>
#include <string>

#include "addin/trace.h"
#include "host/com_error.h"
#include "host/format.h"
#include "host/mapi.h"
#include "host/system.h"
#include "mail/mapi_defs.h"
#include "mail/message_text.h"

namespace qev {

namespace {

constexpr std::uint32_t kRepeatedClickMs = 500;

enum class AfterMessage { None, FileAsSpam, BackToInbox };
enum class EngineCall { IsSpam, NotSpam, AddSpammer, AddFriend };

// The inbox of the store that holds the explorer's current folder, when it
// can be found; any failure leaves it unknown.
host::Ref<host::Folder> InboxOfCurrentStore(MailStores& stores, host::Folder* currentFolder)
{
    host::Ref<host::Folder> inbox;
    if (!currentFolder) return inbox;
    host::Ref<host::Object> spMapiObj;
    if (FAILED(host::HrOf([&] { spMapiObj = currentFolder->MapiObject(); }))) return inbox;
    host::Ref<host::MapiProp> spProp;
    if (FAILED(host::QueryAs(spMapiObj.Get(), spProp))) return inbox;
    std::optional<host::PropValue> value;
    if (FAILED(spProp->GetOneProp(kPrStoreEntryId, value)) || !value) return inbox;
    if (host::PropType(value->tag) != host::kPtBinary) return inbox;
    if (FAILED(stores.GetInboxFolder_(EntryId(value->binary), inbox))) inbox.Reset();
    return inbox;
}

// A folder's EntryID; an absent folder has an empty one.
std::u16string EntryIdText(host::Folder* folder)
{
    return folder ? folder->EntryID() : std::u16string();
}

}  // namespace

struct Commands::Classifying {
    const char16_t* name;  // "OnClickIsSpam_"
    EngineCall call;
    bool findsSpamFolder;
    AfterMessage after;
};

struct Commands::Display {
    const char16_t* name;  // "OnClickSpammers_"
    std::int32_t (IAsClient::*show)(std::int32_t, std::int32_t);
    bool rereadsOptions;
};

void Commands::Run(CommandKey key, const ClickSource& source)
{
    switch (key) {
        case CommandKey::IsSpam: return OnClickIsSpam_(source);
        case CommandKey::NotSpam: return OnClickNotSpam_(source);
        case CommandKey::AddSpammer: return OnClickAddSpammer_(source);
        case CommandKey::AddFriend: return OnClickAddFriend_(source);
        case CommandKey::Spammers: return OnClickSpammers_(source);
        case CommandKey::Friends: return OnClickFriends_(source);
        case CommandKey::Settings: return OnClickSettings_(source);
    }
}

void Commands::OnClickIsSpam_(const ClickSource&)
{
    Classify_({u"OnClickIsSpam_", EngineCall::IsSpam, true, AfterMessage::FileAsSpam});
}

void Commands::OnClickNotSpam_(const ClickSource&)
{
    Classify_({u"OnClickNotSpam_", EngineCall::NotSpam, true, AfterMessage::BackToInbox});
}

void Commands::OnClickAddSpammer_(const ClickSource&)
{
    Classify_({u"OnClickAddSpammer_", EngineCall::AddSpammer, false, AfterMessage::None});
}

void Commands::OnClickAddFriend_(const ClickSource&)
{
    Classify_({u"OnClickAddFriend_", EngineCall::AddFriend, false, AfterMessage::None});
}

void Commands::OnClickSpammers_(const ClickSource&)
{
    Display_({u"OnClickSpammers_", &IAsClient::ShowSpammers, false});
}

void Commands::OnClickFriends_(const ClickSource&)
{
    Display_({u"OnClickFriends_", &IAsClient::ShowFriends, false});
}

void Commands::OnClickSettings_(const ClickSource&)
{
    Display_({u"OnClickSettings_", &IAsClient::ShowSettings, true});
}

bool Commands::RepeatedClick_()
{
    const std::uint32_t previous = m_lastClickTick;
    const std::uint32_t now = host::Sys().TickCount();
    m_lastClickTick = now;
    // A tick count that wrapped (not greater than the last) never counts as a repeat.
    return now > previous && now - previous < kRepeatedClickMs;
}

void Commands::Classify_(const Classifying& command)
{
    try {
        if (RepeatedClick_()) return;
        if (TraceLevel >= kTraceProgress) Trace(u"[as][qev] %s...\n", command.name);
        IAsClient* client = m_engine.Client();
        if (!client) {
            if (TraceLevel >= kTraceError) Trace(u"[as][qev] error : %s : m_asClient<$null>\n", command.name);
            return;
        }
        if (!m_pApplication) throw host::ComError(E_POINTER);
        const host::Ref<host::Explorer> spExplorer = m_pApplication->ActiveExplorer();
        if (!spExplorer) throw host::ComError(E_POINTER);
        const host::Ref<host::Selection> spSelection = spExplorer->GetSelection();
        if (!spSelection) throw host::ComError(E_POINTER);

        host::Ref<host::Folder> spCurrentFolder;
        host::Ref<host::Folder> spInbox;
        if (command.after == AfterMessage::BackToInbox) {
            spCurrentFolder = spExplorer->CurrentFolder();
            spInbox = InboxOfCurrentStore(m_stores, spCurrentFolder.Get());
        }

        const AsOptions& options = m_engine.Options();
        host::Ref<host::Folder> spJunkFolder;
        // The count is read again before every item: the engine's work
        // may change the selection.
        for (std::int32_t i = 1; i <= spSelection->Count(); ++i) {
            const host::Ref<host::Object> spItem = spSelection->Item(i);
            const auto spMailItem = host::QueryOrRaise<host::MailItem>(spItem.Get());
            if (!spMailItem) continue;  // not mail: skipped silently

            // The first spam folder found serves the rest of the click.
            if (command.findsSpamFolder && !spJunkFolder) m_stores.GetJunkFolder_(spMailItem.Get(), spJunkFolder);

            std::u16string text;
            if (!Mail2Str_(spMailItem.Get(), text)) {
                if (TraceLevel >= kTraceError) {
                    Trace(u"[as][qev] error :     %s : Mail2Str_...failed\n", command.name);
                }
                continue;
            }

            switch (command.call) {
                case EngineCall::IsSpam: client->IsSpam(0, text.c_str()); break;
                case EngineCall::NotSpam: client->NotSpam(0, text.c_str()); break;
                case EngineCall::AddSpammer: client->AddSpammer(0, text.c_str(), true); break;
                case EngineCall::AddFriend: client->AddFriend(0, text.c_str(), true); break;
            }

            switch (command.after) {
                case AfterMessage::None:
                    break;
                case AfterMessage::FileAsSpam:
                    if (options.f[kOptionMarkAsRead] != 0) spMailItem->SetUnRead(false);
                    if (options.f[kOptionMoveToSpamFolder] != 0 && spJunkFolder) {
                        spMailItem->Move(spJunkFolder.Get());  // the moved item is released at once
                    }
                    break;
                case AfterMessage::BackToInbox:
                    // Only out of the spam folder, and only where the inbox is known.
                    if (spJunkFolder && spInbox &&
                        EntryIdText(spJunkFolder.Get()) == EntryIdText(spCurrentFolder.Get())) {
                        spMailItem->SetUnRead(false);
                        spMailItem->Move(spInbox.Get());
                    }
                    break;
            }
        }
        if (TraceLevel >= kTraceProgress) Trace(u"[as][qev] %s...ok\n", command.name);
    } catch (...) {
        TraceCaughtException(command.name);
    }
}

void Commands::Display_(const Display& command)
{
    try {
        if (TraceLevel >= kTraceProgress) Trace(u"[as][qev] %s...\n", command.name);
        IAsClient* client = m_engine.Client();
        if (!client) {
            if (TraceLevel >= kTraceError) Trace(u"[as][qev] error : %s : m_asClient<$null>\n", command.name);
            return;
        }
        (client->*command.show)(0, 0);
        if (command.rereadsOptions) m_engine.RereadOptions();
    } catch (...) {
        TraceCaughtException(command.name);
    }
}

}  // namespace qev
