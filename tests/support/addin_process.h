// The add-in's process-wide state, put back to what a freshly loaded module
// has: for a process that replaces the whole platform under the add-in (a
// suite's in-memory world, a benchmark's). The product information holder and
// the language and layout modules are forgotten without being called or
// freed: the libraries they point into belonged to the world that is gone.
#pragma once

#include "addin/connect.h"
#include "addin/trace.h"
#include "text/product_info.h"
#include "text/ui_strings.h"

namespace qev::testing {

inline void ResetAddinProcess() noexcept
{
    TraceLevel = 0;
    g_outlookVersion = -1;
    g_productInfo = CProductInfo{};
    g_langModules = CLangModules{};
}

}  // namespace qev::testing
