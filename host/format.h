// A printf-style formatter for UTF-16 text, the same on both builds.
//
// Conversions: %s (UTF-16 text), %c, %d %i, %u, %x %X, %p, %%, with the flags
// '-', '0', '+', ' ', '#', a width and a precision (either may be '*'), and the
// length modifiers h, l (32 bits, as on Windows), ll and I64 (64 bits).
// A conversion that has no argument prints as if given 0 or an empty text; an
// unknown conversion is copied as it stands. Nothing here throws or reads past
// the arguments it was given; widths and integer precisions are capped at
// 65535 units.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace qev {

class FormatArg {
public:
    enum class Kind { Integer, Pointer, Text };

    template <class T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool> &&
                                            !std::is_same_v<T, char16_t> && !std::is_same_v<T, wchar_t>,
                                        int> = 0>
    FormatArg(T value) noexcept  // NOLINT(google-explicit-constructor)
        : m_kind(Kind::Integer), m_bits(static_cast<std::uint64_t>(value))  // signed values sign-extend
    {
    }
    FormatArg(bool value) noexcept : m_kind(Kind::Integer), m_bits(value ? 1 : 0) {}  // NOLINT
    FormatArg(char16_t value) noexcept : m_kind(Kind::Integer), m_bits(value) {}      // NOLINT
    FormatArg(const void* value) noexcept                                                               // NOLINT
        : m_kind(Kind::Pointer), m_bits(reinterpret_cast<std::uintptr_t>(value))
    {
    }
    FormatArg(std::nullptr_t) noexcept : m_kind(Kind::Pointer) {}  // NOLINT
    FormatArg(const char16_t* text) noexcept                       // NOLINT
        : m_kind(Kind::Text), m_text(text), m_textSize(text ? std::char_traits<char16_t>::length(text) : 0)
    {
    }
    FormatArg(std::u16string_view text) noexcept  // NOLINT
        : m_kind(Kind::Text), m_text(text.data() ? text.data() : u""), m_textSize(text.size())
    {
    }
    FormatArg(const std::u16string& text) noexcept : FormatArg(std::u16string_view(text)) {}  // NOLINT

    Kind kind() const noexcept { return m_kind; }
    std::uint64_t bits() const noexcept { return m_bits; }
    const char16_t* text() const noexcept { return m_text; }  // null for a null text pointer
    std::size_t textSize() const noexcept { return m_textSize; }

private:
    Kind m_kind;
    std::uint64_t m_bits = 0;
    const char16_t* m_text = nullptr;
    std::size_t m_textSize = 0;
};

// Formats into buf, writing at most capacity - 1 units and a terminating zero
// (nothing at all when capacity is 0). Returns the number of units the whole
// text needs, without the terminating zero, even when it did not fit.
std::size_t FormatTo(char16_t* buf, std::size_t capacity, std::u16string_view format,
                     std::span<const FormatArg> args) noexcept;

// Formats into a string of any length.
std::u16string FormatString(std::u16string_view format, std::span<const FormatArg> args);

template <class... Args>
std::u16string Format(std::u16string_view format, const Args&... args)
{
    const std::array<FormatArg, sizeof...(Args)> packed{FormatArg(args)...};
    return FormatString(format, packed);
}

}  // namespace qev
