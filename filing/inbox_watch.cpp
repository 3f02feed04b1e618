// Watching every store's Inbox, and the account changes that add or remove stores.
//
// Not built yet: the add-in does not reach the mail stores so far; start-up and
// shutdown call these steps in their places.
#include "addin/connect.h"

namespace qev {

void CConnect::WatchInboxes_() {}

void CConnect::UnadviseInboxes_() {}

void CConnect::AdviseAccountManager_() {}

void CConnect::UnadviseAccountManager_() {}

}  // namespace qev
