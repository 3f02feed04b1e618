// Whether the active explorer shows mail with a mail item selected first, and
// whether its folder is called "Spam".
#include "mail/selection.h"

#include "addin/trace.h"
#include "host/com_error.h"
#include "mail/mapi_defs.h"

namespace qev {

namespace {

constexpr std::int32_t kOlFolder = 2;
constexpr std::int32_t kOlMailItem = 0;

}  // namespace

void GetSelectionItems_(host::Application* a_pApplication, bool& a_mailSelected, bool& a_spamFolder)
{
    a_mailSelected = false;
    a_spamFolder = false;
    try {
        if (!a_pApplication) throw host::ComError(E_POINTER);
        const host::Ref<host::Explorer> spExplorer = a_pApplication->ActiveExplorer();
        if (!spExplorer) return;
        const host::Ref<host::Folder> spFolder = spExplorer->CurrentFolder();
        if (!spFolder) return;

        const std::int32_t folderClass = spFolder->Class();
        const std::int32_t itemType = spFolder->DefaultItemType();
        std::int32_t count = 0;
        if (folderClass == kOlFolder && itemType == kOlMailItem) {
            if (const host::Ref<host::Items> spItems = spFolder->GetItems()) count = spItems->Count();
        } else {
            QEV_TRACE(kTraceProgress,
                      u"[as][qev]     GetSelectionItems_ : not mail folder : class<%d> : GetDefaultItemType<%d>\n",
                      folderClass, itemType);
        }

        if (spFolder->Name() == kSpamFolderName) a_spamFolder = true;

        if (count > 0) {
            a_mailSelected = true;
            const host::Ref<host::Selection> spSelection = spExplorer->GetSelection();
            if (!spSelection) throw host::ComError(E_POINTER);
            if (spSelection->Count() < 1) {
                a_mailSelected = false;
            } else {
                const host::Ref<host::Object> spFirst = spSelection->Item(1);
                if (!host::QueryOrRaise<host::MailItem>(spFirst.Get())) a_mailSelected = false;
            }
        }
    } catch (...) {
        TraceCaughtException(u"GetSelectionItems_");
    }
}

}  // namespace qev
