// The mail suites' and benchmarks' way in to CConnect's mail operations.
#pragma once

#include <string>
#include <string_view>

#include "addin/connect.h"

namespace qev {

struct CConnectMailAccess {
    static bool GetFrom(std::u16string_view headers, std::u16string& from) { return CConnect::GetFrom_(headers, from); }
    static bool SearchHeaderForSpamTag(std::u16string_view h) { return CConnect::SearchHeaderForSpamTag_(h); }
    static bool MailHeaders2Str(CConnect& c, host::MailItem* i, std::u16string& out)
    {
        return c.MailHeaders2Str_(i, out);
    }
    static bool MailBody2Str(CConnect& c, host::MailItem* i, std::u16string& out) { return c.MailBody2Str_(i, out); }
    static bool Mail2Str(CConnect& c, host::MailItem* i, std::u16string& out) { return c.Mail2Str_(i, out); }
    static HRESULT GetJunkFolder(CConnect& c, host::MailItem* i, host::Ref<host::Folder>& f)
    {
        return c.GetJunkFolder_(i, f);
    }
    static void GetSelectionItems(CConnect& c, bool& mail, bool& spam) { c.GetSelectionItems_(mail, spam); }
    static void OnItemAdd(CConnect& c, host::Object* item) { c.OnItemAdd_(item); }
    static HRESULT UnadviseInbox(CConnect& c, const EntryId& store) { return c.UnadviseInbox_(store); }
    static HRESULT UnadviseInboxes(CConnect& c) { return c.UnadviseInboxes_(); }
    static HRESULT WatchedStoreIds(const CConnect& c, EntryIdSet& ids) { return c.WatchedStoreIds_(ids); }
    static bool AccountManagerHeld(const CConnect& c) { return static_cast<bool>(c.m_pAccountManager); }
};

}  // namespace qev
