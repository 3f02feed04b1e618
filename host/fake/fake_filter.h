// Item filters as Outlook's Items.Restrict reads them (Jet syntax):
// comparisons of a property in brackets with a value, joined with AND, OR,
// NOT and parentheses. "[UnRead] = True AND [ReceivedTime] >= '3/2/2026
// 9:05 AM'". Dates are written in the short date form, to the minute, in
// single or double quotes; a comparison with a property the item does not
// have admits nothing. Properties known here: UnRead and Subject (= and <>), ReceivedTime;
// the ones Outlook refuses to filter on (EntryID, Body, HTMLBody, ...) and
// any other name make the filter invalid, as do malformed values.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "host/fake/fake_message.h"

namespace host::fake {

class ItemFilter {
public:
    // Nothing when Outlook would refuse the filter.
    static std::optional<ItemFilter> Parse(std::u16string_view filter);

    bool Admits(const Message& message) const;

    struct Node;

private:
    explicit ItemFilter(std::shared_ptr<const Node> root) noexcept : m_root(std::move(root)) {}
    std::shared_ptr<const Node> m_root;
};

}  // namespace host::fake
