// The product's identity (name, folder, registry key), asked of the product
// configuration library that lies beside the add-in. Loaded on first use and
// kept for the life of the process; while it cannot be loaded, every lookup
// tries again.
#pragma once

#include <string>

#include "host/libraries.h"
#include "text/product_info_abi.h"

namespace qev {

// The holder. Available exactly when info is set.
struct CProductInfo {
    host::LibraryHandle module = nullptr;
    ZkCreateObjectFn createObject = nullptr;
    ZkDestroyObjectFn destroyObject = nullptr;
    IZkObject* object = nullptr;
    IProductInfo* info = nullptr;
};

// The process's one holder: empty when the add-in's module is loaded, and
// never emptied by the add-in once it is available.
extern CProductInfo g_productInfo;

// Stands in for a folder or key while product information is not available.
inline constexpr char16_t kNotInited[] = u"<error-interface-not-inited>";

// The holder, loading the library first when it is not available. The
// interface is used after this returns, without the lock.
CProductInfo& GetProductInfo_(host::Libraries& libraries);

// String `number` of the "Desktop" component, or kNotInited.
std::u16string ProductString(host::Libraries& libraries, std::uint32_t number);

}  // namespace qev
