// New mail in a watched inbox: the engine's verdict is a header line; spam is
// marked read and moved into the store's spam folder, as the engine's options
// ask.
#include "filing/spam_filing.h"

#include "addin/trace.h"
#include "host/com_error.h"
#include "host/format.h"
#include "mail/message_text.h"
#include "mail/text_search.h"

namespace qev {

namespace {

constexpr std::u16string_view kSpamLine = u"X-MarlowcrestWKS-Spam: ";

enum class Mark { None, No, Yes };

// The engine's verdict in header text, in one pass over it: every place
// where the line's name stands is looked at once. "Yes" after any of them
// wins wherever it is; "No" counts only when no "Yes" is found.
Mark FindMark(std::u16string_view headers)
{
    Mark mark = Mark::None;
    for (std::size_t at = FindText(headers, kSpamLine); at != std::u16string_view::npos;
         at = FindText(headers, kSpamLine, at + 1)) {
        const std::u16string_view verdict = headers.substr(at + kSpamLine.size());
        if (verdict.starts_with(u"Yes")) return Mark::Yes;
        if (verdict.starts_with(u"No")) mark = Mark::No;
    }
    return mark;
}

}  // namespace

bool SpamFiling::SearchHeaderForSpamTag_(std::u16string_view a_headers)
{
    const Mark mark = FindMark(a_headers);
    if (mark == Mark::Yes) {
        QEV_TRACE_STEP(u"    SpamTag : yes...");
        return true;
    }
    if (mark == Mark::No) {
        QEV_TRACE_STEP(u"    SpamTag : no...");
        return false;
    }
    // Not scanned by the engine: treated as not spam.
    std::u16string from;
    GetFrom_(a_headers, from);
    QEV_TRACE(kTraceError, u"[as][qev] error : SpamTag : Mail from <%s>...not scanned\n", from);
    return false;
}

void SpamFiling::OnItemAdd_(host::Object* a_pItem)
{
    try {
        const auto spMailItem = host::QueryOrRaise<host::MailItem>(a_pItem);
        if (!m_engine.AntispamOn()) return;
        if (!spMailItem) throw host::ComError(E_POINTER);  // not a mail item: left alone

        // Only the automation boolean VARIANT_TRUE is unread.
        const host::Variant unread = spMailItem->UnRead();
        if (unread.type != host::Variant::Type::Bool || unread.boolValue != host::kVariantTrue) {
            QEV_TRACE_STEP(u"OnItemAdd_ : mail already read !");
            return;
        }
        const std::uint32_t moveToSpam = m_engine.Options().f[kOptionMoveToSpamFolder];
        const std::uint32_t markAsRead = m_engine.Options().f[kOptionMarkAsRead];
        QEV_TRACE(kTraceProgress, u"[as][qev] OnItemAdd_<%d:%d>...\n", moveToSpam, markAsRead);

        if (moveToSpam != 0 || markAsRead != 0) {
            std::u16string headers;
            if (!MailHeaders2Str_(spMailItem.Get(), headers)) {
                QEV_TRACE_ERROR(u"    OnItemAdd_ : MailHeaders2Str_...failed");
            } else if (!SearchHeaderForSpamTag_(headers)) {
                if (TraceLevel >= kTraceProgress) {
                    TraceWhole(
                        Format(u"+++*** OnItemAdd_ : SearchHeaderForSpamTag_\r\n+++START-OF-MAIL+++\r\n%s\r\n"
                               u"+++END-OF-MAIL+++\r\nis NOT spam.\r\n",
                               headers));
                }
            } else {
                if (markAsRead != 0) {
                    QEV_TRACE_STEP(u"    OnItemAdd_ : MarkAsRead...");
                    spMailItem->SetUnRead(false);
                }
                if (moveToSpam != 0) {
                    QEV_TRACE_STEP(u"    OnItemAdd_ : MoveToSpamFolder...");
                    host::Ref<host::Folder> spJunkFolder;
                    m_stores.GetJunkFolder_(spMailItem.Get(), spJunkFolder);
                    if (spJunkFolder) spMailItem->Move(spJunkFolder.Get());  // the moved item is released at once
                }
            }
        }
        QEV_TRACE_STEP(u"OnItemAdd_...ok");
    } catch (...) {
        TraceCaughtException(u"OnItemAdd_");
    }
}

}  // namespace qev
