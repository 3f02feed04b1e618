// Finding folders from MAPI entry ids: the spam folder under a store's
// Deleted Items, a store's inbox, and the stores of the profile. Every lookup
// starts afresh from the namespace "MAPI"; nothing is cached.
#include <optional>
#include <vector>

#include "mail/mail_stores.h"

#include "addin/trace.h"
#include "host/mapi.h"
#include "mail/mapi_defs.h"

namespace qev {

namespace {

// The trace texts of one identifier read: the failed read (a format with the
// HRESULT), no value, a value that is no byte array, an empty identifier.
struct EntryIdLines {
    const char16_t* failed;
    const char16_t* noValue;
    const char16_t* notBinary;
    const char16_t* empty;
};

// The end of one step of the lookup: the step's failure, written with
// failedFormat; E_UNEXPECTED, written with emptyText, when it gave nothing;
// S_OK when it gave what it was asked for.
HRESULT Step(HRESULT hr, bool gotIt, const char16_t* failedFormat, const char16_t* emptyText)
{
    if (FAILED(hr)) {
        QEV_TRACE(kTraceProgress, failedFormat, hr);
        return hr;
    }
    if (!gotIt) {
        QEV_TRACE_STEP(emptyText);
        return E_UNEXPECTED;
    }
    return S_OK;
}

// Asks object for interface T as one step of the lookup (see Step).
template <class T>
HRESULT QueryStep(host::Object* object, host::Ref<T>& out, const char16_t* failedFormat, const char16_t* emptyText)
{
    const HRESULT hr = host::QueryAs(object, out);
    return Step(hr, static_cast<bool>(out), failedFormat, emptyText);
}

// Reads a byte-array property into id, writing the line of the step that
// fails. The failed read's own HRESULT, or E_UNEXPECTED for a missing value.
HRESULT ReadEntryId(host::MapiProp& prop, std::uint32_t tag, const EntryIdLines& lines, EntryId& id)
{
    std::optional<host::PropValue> value;
    HRESULT hr = prop.GetOneProp(tag, value);
    hr = Step(hr, value.has_value(), lines.failed, lines.noValue);
    if (FAILED(hr)) return hr;
    if (host::PropType(value->tag) != host::kPtBinary) {
        QEV_TRACE_STEP(lines.notBinary);
        return E_UNEXPECTED;
    }
    id = EntryId(value->binary);
    if (id.Empty()) {
        QEV_TRACE_STEP(lines.empty);
        return E_UNEXPECTED;
    }
    return S_OK;
}

// The identifier column of one row of the stores table, when it is one.
bool IsEntryIdColumn(const host::PropValue& column) noexcept
{
    return host::PropType(column.tag) == host::kPtBinary;
}

// The stores table of the session object, read whole with its one column PR_ENTRYID.
HRESULT StoreRows(host::Object* sessionObject, host::Ref<host::MapiSession>& session,
                  std::vector<host::PropValue>& rows)
{
    // A session object without the interface is no session; a query that
    // failed otherwise reports its own failure.
    const HRESULT hr = host::QueryAs(sessionObject, session);
    if (hr == E_NOINTERFACE) return E_UNEXPECTED;
    if (FAILED(hr)) return hr;
    return session->StoreEntryIds(kMapiUnicode, rows);
}

}  // namespace

HRESULT MailStores::MapiNamespace_(host::Ref<host::Namespace>& a_namespace)
{
    a_namespace.Reset();
    if (!m_pApplication) return E_UNEXPECTED;
    const HRESULT hr = HrOf([&] { a_namespace = m_pApplication->GetNamespace(kMapiNamespace); });
    if (FAILED(hr)) return hr;
    return a_namespace ? S_OK : E_UNEXPECTED;
}

HRESULT MailStores::MapiSessionObject_(host::Ref<host::Object>& a_session)
{
    a_session.Reset();
    host::Ref<host::Namespace> spNs;
    HRESULT hr = MapiNamespace_(spNs);
    if (FAILED(hr)) return hr;
    hr = HrOf([&] { a_session = spNs->MapiObject(); });
    if (FAILED(hr)) return hr;
    return a_session ? S_OK : E_UNEXPECTED;
}

HRESULT MailStores::GetJunkFolder_(host::MailItem* a_pItem, host::Ref<host::Folder>& a_junkFolder)
{
    a_junkFolder.Reset();
    if (!a_pItem) {
        QEV_TRACE_STEP(u"GetJunkFolder_ : pItem == NULL");
        return E_INVALIDARG;
    }

    host::Ref<host::Object> spUnkMapiObj;
    HRESULT hr = HrOf([&] { spUnkMapiObj = a_pItem->MapiObject(); });
    hr = Step(hr, static_cast<bool>(spUnkMapiObj),
              u"[as][qev] GetJunkFolder_: pItem->get_MAPIOBJECT failed hr=0x%8.8x\n",
              u"GetJunkFolder_: spUnkMapiObj == NULL");
    if (FAILED(hr)) return hr;
    host::Ref<host::MapiProp> spItemProp;
    hr = QueryStep(spUnkMapiObj.Get(), spItemProp,
                   u"[as][qev] GetJunkFolder_: spUnkMapiObj->QueryInterface failed hr=0x%8.8x\n",
                   u"GetJunkFolder_: spItemProp == NULL");
    if (FAILED(hr)) return hr;
    EntryId eidStoreEntryID;
    hr = ReadEntryId(
        *spItemProp, kPrStoreEntryId,
        {u"[as][qev] GetJunkFolder_: HrGetOneProp PR_STORE_ENTRYID failed hr=0x%8.8x\n",
         u"GetJunkFolder_: !sppvStoreEntryID", u"GetJunkFolder_: PROP_TYPE(sppvStoreEntryID->ulPropTag) != PT_BINARY",
         u"GetJunkFolder_: !eidStoreEntryID"},
        eidStoreEntryID);
    if (FAILED(hr)) return hr;

    if (!m_pApplication) {
        QEV_TRACE_STEP(u"GetJunkFolder_: !m_pApplication");
        return E_UNEXPECTED;
    }
    // Outlook's own failures here raise, as its object model does.
    const host::Ref<host::Namespace> spNs = m_pApplication->GetNamespace(kMapiNamespace);
    if (!spNs) {
        QEV_TRACE_STEP(u"GetJunkFolder_: !spNs");
        return E_UNEXPECTED;
    }

    host::Ref<host::MsgStore> spMsgStore;
    hr = FindStoreByID_(eidStoreEntryID, true, &spMsgStore);
    hr = Step(hr, static_cast<bool>(spMsgStore), u"[as][qev] GetJunkFolder_: FindStoreByID_ failed hr=0x%8.8x\n",
              u"GetJunkFolder_: !spMsgStore");
    if (FAILED(hr)) return hr;
    host::Ref<host::MapiProp> spStoreProp;
    hr = QueryStep(spMsgStore.Get(), spStoreProp,
                   u"[as][qev] GetJunkFolder_: spMsgStore->QueryInterface failed hr=0x%8.8x\n",
                   u"GetJunkFolder_: !spStoreProp");
    if (FAILED(hr)) return hr;
    EntryId eidDeletedItems;
    hr = ReadEntryId(*spStoreProp, kPrIpmWastebasketEntryId,
                     {u"[as][qev] GetJunkFolder_: HrGetOneProp(PR_IPM_WASTEBASKET_ENTRYID) failed hr=0x%8.8x\n",
                      u"GetJunkFolder_: !sppvDeletedItemsEntryID",
                      u"GetJunkFolder_: PROP_TYPE(sppvDeletedItemsEntryID->ulPropTag) != PT_BINARY",
                      u"GetJunkFolder_: !eidDeletedItems"},
                     eidDeletedItems);
    if (FAILED(hr)) return hr;
    if (TraceLevel >= kTraceProgress) {
        Trace(u"[as][qev] GetJunkFolder_: strDeletedItemsID=%s\n", eidDeletedItems.Hex());
    }

    // Some providers refuse the Unicode flag; they are asked once more without it.
    host::Ref<host::Object> spUnkDeletedItemsFolder;
    hr = spMsgStore->OpenEntry(eidDeletedItems.Bytes(), kOpenEntryFlags, spUnkDeletedItemsFolder);
    if (hr == MAPI_E_UNKNOWN_FLAGS) {
        QEV_TRACE_STEP(
            u"GetJunkFolder_: call OpenEntry using IMsgStore returned MAPI_E_UNKNOWN_FLAGS, trying without "
            u"MAPI_E_UNKNOWN_FLAGS");
        hr = spMsgStore->OpenEntry(eidDeletedItems.Bytes(), kOpenEntryFlagsAnsi, spUnkDeletedItemsFolder);
    }
    hr = Step(hr, static_cast<bool>(spUnkDeletedItemsFolder),
              u"[as][qev] GetJunkFolder_: spMsgStore->OpenEntry failed hr=0x%8.8x\n",
              u"GetJunkFolder_: !spUnkDeletedItemsFolder");
    if (FAILED(hr)) return hr;
    host::Ref<host::MapiFolder> spDeletedItemsFolder;
    hr = QueryStep(spUnkDeletedItemsFolder.Get(), spDeletedItemsFolder,
                   u"[as][qev] GetJunkFolder_: spUnkDeletedItemsFolder->QueryInterface failed hr=0x%8.8x\n",
                   u"GetJunkFolder_: !spDeletedItemsFolder");
    if (FAILED(hr)) return hr;

    // Opens the folder when it exists already.
    host::Ref<host::Object> spJunkMapiFolder;
    hr = spDeletedItemsFolder->CreateFolder(kFolderGeneric, kSpamFolderName, kCreateFolderFlags, spJunkMapiFolder);
    hr = Step(hr, static_cast<bool>(spJunkMapiFolder),
              u"[as][qev] GetJunkFolder_: spDeletedItemsFolder->CreateFolder failed hr=0x%8.8x\n",
              u"GetJunkFolder_: !spJunkMapiFolder");
    if (FAILED(hr)) return hr;
    host::Ref<host::MapiProp> spJunkMapiFolderProp;
    hr = QueryStep(spJunkMapiFolder.Get(), spJunkMapiFolderProp,
                   u"[as][qev] GetJunkFolder_: spJunkMapiFolder->QueryInterface failed hr=0x%8.8x\n",
                   u"GetJunkFolder_: !spJunkMapiFolderProp");
    if (FAILED(hr)) return hr;
    EntryId eidJunkFolder;
    hr = ReadEntryId(*spJunkMapiFolderProp, kPrEntryId,
                     {u"[as][qev] GetJunkFolder_: HrGetOneProp(spJunkMapiFolderProp.p, PR_ENTRYID, "
                      u"&sppvJunkFolderEntryID) failed hr=0x%8.8x\n",
                      u"GetJunkFolder_: !sppvJunkFolderEntryID",
                      u"GetJunkFolder_: PROP_TYPE(sppvJunkFolderEntryID->ulPropTag) != PT_BINARY",
                      u"GetJunkFolder_: !eidJunkFolder"},
                     eidJunkFolder);
    if (FAILED(hr)) return hr;
    EntryId eidJunkFolderStore;
    hr = ReadEntryId(*spJunkMapiFolderProp, kPrStoreEntryId,
                     {u"[as][qev] GetJunkFolder_: HrGetOneProp(spJunkMapiFolderProp.p, PR_STORE_ENTRYID, "
                      u"&sppvJunkFolderStoreEntryID) failed hr=0x%8.8x\n",
                      u"GetJunkFolder_: !sppvJunkFolderStoreEntryID",
                      u"GetJunkFolder_: PROP_TYPE(sppvJunkFolderStoreEntryID->ulPropTag) != PT_BINARY",
                      u"GetJunkFolder_: !eidJunkFolderStore"},
                     eidJunkFolderStore);
    if (FAILED(hr)) return hr;

    a_junkFolder = spNs->GetFolderFromID(eidJunkFolder.Hex(), eidJunkFolderStore.Hex());
    return Step(S_OK, static_cast<bool>(a_junkFolder), nullptr, u"GetJunkFolder_: !spJunkFolder");
}

HRESULT MailStores::FindStoreByID_(const EntryId& a_storeId, bool a_writable, host::Ref<host::MsgStore>* a_store)
{
    if (!a_store) return E_POINTER;
    a_store->Reset();

    host::Ref<host::Object> spSessionObj;
    HRESULT hr = MapiSessionObject_(spSessionObj);
    if (FAILED(hr)) return hr;
    host::Ref<host::MapiSession> spSession;
    std::vector<host::PropValue> rows;
    if (FAILED(hr = StoreRows(spSessionObj.Get(), spSession, rows))) return hr;
    for (const host::PropValue& row : rows) {
        if (!IsEntryIdColumn(row) || EntryId(row.binary) != a_storeId) continue;
        host::Ref<host::Object> spStoreObj;
        spSession->OpenMsgStore(row.binary, a_writable ? kOpenStoreWrite : kOpenStoreRead, spStoreObj);
        *a_store = host::QueryAs<host::MsgStore>(spStoreObj.Get());
        if (*a_store) break;
    }
    return S_OK;
}

HRESULT MailStores::GetInboxFolder_(const EntryId& a_storeId, host::Ref<host::Folder>& a_inbox, EntryId* a_inboxId)
{
    a_inbox.Reset();
    host::Ref<host::Namespace> spNs;
    HRESULT hr = MapiNamespace_(spNs);
    if (FAILED(hr)) return E_UNEXPECTED;

    host::Ref<host::MsgStore> spMsgStore;
    if (FAILED(hr = FindStoreByID_(a_storeId, false, &spMsgStore))) return hr;
    if (!spMsgStore) return E_UNEXPECTED;

    std::vector<std::uint8_t> receiveFolder;
    if (FAILED(hr = spMsgStore->GetReceiveFolder(kInboxMessageClass, kMapiUnicode, receiveFolder))) return hr;
    EntryId eidInbox = EntryId::Attach(std::move(receiveFolder));
    if (eidInbox.Empty()) return E_UNEXPECTED;

    hr = HrOf([&] { a_inbox = spNs->GetFolderFromID(eidInbox.Hex(), a_storeId.Hex()); });
    if (FAILED(hr)) return hr;
    if (!a_inbox) return E_UNEXPECTED;
    if (a_inboxId) *a_inboxId = std::move(eidInbox);
    return S_OK;
}

HRESULT MailStores::CollectStoreIds_(EntryIdSet& a_storeIds)
{
    host::Ref<host::Object> spSessionObj;
    HRESULT hr = MapiSessionObject_(spSessionObj);
    if (FAILED(hr)) return hr;
    host::Ref<host::MapiSession> spSession;
    std::vector<host::PropValue> rows;
    if (FAILED(hr = StoreRows(spSessionObj.Get(), spSession, rows))) return hr;
    for (const host::PropValue& row : rows) {
        if (IsEntryIdColumn(row) && !row.binary.empty()) a_storeIds.insert(EntryId(row.binary));
    }
    return S_OK;
}

}  // namespace qev
