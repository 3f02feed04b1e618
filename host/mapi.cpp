#include "host/mapi.h"

#include <utility>

namespace host {
namespace {

// A value of tag whose views will point into what owner holds.
template <class T>
std::pair<PropValue, const T*> Owning(std::uint32_t tag, T content)
{
    auto owner = std::make_shared<const T>(std::move(content));
    const T* held = owner.get();
    PropValue value;
    value.tag = tag;
    value.buffer = std::move(owner);
    return {std::move(value), held};
}

}  // namespace

PropValue PropValue::Unicode(std::uint32_t tag, std::u16string text)
{
    auto [value, held] = Owning(tag, std::move(text));
    value.unicode = std::u16string_view(held->c_str());
    return std::move(value);
}

PropValue PropValue::String8(std::uint32_t tag, std::string text)
{
    auto [value, held] = Owning(tag, std::move(text));
    value.string8 = std::string_view(held->c_str());
    return std::move(value);
}

PropValue PropValue::Binary(std::uint32_t tag, std::vector<std::uint8_t> bytes)
{
    auto [value, held] = Owning(tag, std::move(bytes));
    value.binary = *held;
    return std::move(value);
}

}  // namespace host
