// The profile's message stores as the add-in files mail into them: the spam
// folder under a store's Deleted Items, a store's inbox, the stores
// themselves. Every lookup starts afresh from Outlook's namespace "MAPI";
// nothing is cached, so a store that joins or leaves the profile is seen at
// the next call.
#pragma once

#include "host/mapi.h"
#include "host/object.h"
#include "host/outlook.h"
#include "mail/entry_id.h"

namespace qev {

class MailStores {
public:
    // application is the add-in's reference to Outlook, which the add-in
    // sets at connection and clears at disconnection; lookups made without
    // it fail.
    explicit MailStores(const host::Ref<host::Application>& application) noexcept : m_pApplication(application) {}

    // The spam folder of the item's store ("Spam" under Deleted Items, made
    // when missing). Each failing step writes its trace line; callers need
    // only whether a folder came back.
    HRESULT GetJunkFolder_(host::MailItem* a_pItem, host::Ref<host::Folder>& a_junkFolder);
    // The store with that entry id, opened for writing or reading; S_OK with
    // no store when the profile has none with that id.
    HRESULT FindStoreByID_(const EntryId& a_storeId, bool a_writable, host::Ref<host::MsgStore>* a_store);
    // The store's inbox; a_inboxId, when given, receives the inbox's entry id.
    HRESULT GetInboxFolder_(const EntryId& a_storeId, host::Ref<host::Folder>& a_inbox, EntryId* a_inboxId = nullptr);
    // Adds the entry id of every store of the profile.
    HRESULT CollectStoreIds_(EntryIdSet& a_storeIds);
    // The namespace "MAPI" and its MAPI object (the session); failures as results.
    HRESULT MapiNamespace_(host::Ref<host::Namespace>& a_namespace);
    HRESULT MapiSessionObject_(host::Ref<host::Object>& a_session);

private:
    const host::Ref<host::Application>& m_pApplication;
};

}  // namespace qev
