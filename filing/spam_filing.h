// Filing new mail: the engine's verdict is a header line; spam is marked read
// and moved into its store's spam folder, as far as the engine's options ask.
#pragma once

#include <string_view>

#include "engine/engine_link.h"
#include "host/object.h"
#include "mail/mail_stores.h"

namespace qev {

class SpamFiling {
public:
    // engine gives the antispam switch and the options as last received.
    SpamFiling(const EngineLink& engine, MailStores& stores) noexcept : m_engine(engine), m_stores(stores) {}

    // One new item of a watched inbox. Never raises: every failure ends as a
    // trace line and leaves the item as it was.
    void OnItemAdd_(host::Object* a_pItem);
    // Whether header text carries the engine's spam line; writes its own
    // trace lines.
    static bool SearchHeaderForSpamTag_(std::u16string_view a_headers);

private:
    const EngineLink& m_engine;
    MailStores& m_stores;
};

}  // namespace qev
