// Automation values crossing the seam (the VARIANT of COM), reduced to the
// kinds the add-in is called with.
#pragma once

#include <cstdint>
#include <string>

#include "host/object.h"

namespace host {

inline constexpr std::int16_t kVariantTrue = -1;  // VARIANT_TRUE, 0xFFFF
inline constexpr std::int16_t kVariantFalse = 0;

struct Variant {
    // Other: any value the add-in does not take (a reference to a value,
    // an array, another scalar type); it is never unwrapped or converted.
    enum class Type { Empty, Bool, Int32, Text, Unknown, Dispatch, Other };

    Type type = Type::Empty;
    std::int16_t boolValue = kVariantFalse;  // Bool: the raw VARIANT_BOOL
    std::int32_t intValue = 0;               // Int32
    std::u16string text;                     // Text (a BSTR)
    Ref<Object> object;                      // Unknown, Dispatch

    static Variant Boolean(bool b)
    {
        Variant v;
        v.type = Type::Bool;
        v.boolValue = b ? kVariantTrue : kVariantFalse;
        return v;
    }
    static Variant RawBool(std::int16_t raw)
    {
        Variant v;
        v.type = Type::Bool;
        v.boolValue = raw;
        return v;
    }
    static Variant Int(std::int32_t i)
    {
        Variant v;
        v.type = Type::Int32;
        v.intValue = i;
        return v;
    }
    static Variant String(std::u16string s)
    {
        Variant v;
        v.type = Type::Text;
        v.text = std::move(s);
        return v;
    }
    static Variant OfUnknown(Ref<Object> o)
    {
        Variant v;
        v.type = Type::Unknown;
        v.object = std::move(o);
        return v;
    }
};

// An IStream: what ImportSettings reads its settings from.
class Stream : public Object {
public:
    static constexpr Iface kIface = Iface::Stream;

    // The stream's size in bytes (IStream::Stat without the name); throws ComError.
    virtual std::uint64_t Size() = 0;
    // Reads up to size bytes; returns how many were read; throws ComError.
    virtual std::uint32_t Read(void* buffer, std::uint32_t size) = 0;

protected:
    ~Stream() = default;
};

}  // namespace host
