#include "host/fake/fake_text.h"

#include <cstdint>

namespace host::fake {

std::string Quoted(std::u16string_view text)
{
    return "\"" + Utf8(text) + "\"";
}

}  // namespace host::fake
