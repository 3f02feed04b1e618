// Message headers from the network, as the filing reads them: the sender's
// address, the engine's spam mark and the line-end joining must take any text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "filing/spam_filing.h"
#include "mail/message_text.h"
#include "mail/text_search.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::u16string headers(reinterpret_cast<const char16_t*>(data), size / 2);

    std::u16string from;
    if (qev::GetFrom_(headers, from)) {
        if (from.empty()) std::abort();  // a found address is never empty
        // A From line ends at the first CR LF after it, and only without one
        // at the first LF: with mixed line ends a lone LF before the CR LF
        // stays in the address, but a CR LF never does.
        if (from.find(u"\r\n") != std::u16string::npos) std::abort();
        if (from.find(u'\n') != std::u16string::npos &&
            headers.find(u"\r\n", headers.find(u"\nFrom:")) == std::u16string::npos)
            std::abort();
    }
    const bool spam = qev::SpamFiling::SearchHeaderForSpamTag_(headers);
    if (spam != (headers.find(u"X-MarlowcrestWKS-Spam: Yes") != std::u16string::npos)) std::abort();

    // The search in blocks finds what a plain search finds, for needles of
    // every length taken from the text itself, from every start.
    for (std::size_t length = 1; length <= 12 && length <= headers.size(); length += 5) {
        const std::u16string_view needle = std::u16string_view(headers).substr(headers.size() - length);
        for (std::size_t from = 0; from <= headers.size(); from += 7)
            if (qev::FindText(headers, needle, from) != headers.find(needle, from)) std::abort();
    }

    std::u16string joined = headers;
    qev::CrLfToLf(joined);
    std::size_t pairs = 0;
    for (std::size_t at = headers.find(u"\r\n"); at != std::u16string::npos; at = headers.find(u"\r\n", at + 2)) ++pairs;
    if (joined.size() != headers.size() - pairs) std::abort();
    if (joined.find(u"\r\n") != std::u16string::npos && pairs == 0) std::abort();
    return 0;
}
