#include "host/format.h"

#include <algorithm>
#include <cstdint>

namespace qev {
namespace {

// Counts every unit and stores those that fit, leaving room for the zero.
struct BoundedSink {
    char16_t* buf;
    std::size_t capacity;
    std::size_t size = 0;

    void Put(char16_t c) noexcept
    {
        if (size + 1 < capacity) buf[size] = c;
        ++size;
    }
    void Put(const char16_t* text, std::size_t n) noexcept
    {
        if (size + 1 < capacity) {
            const std::size_t room = capacity - 1 - size;
            std::copy_n(text, std::min(n, room), buf + size);
        }
        size += n;
    }
    void Repeat(char16_t c, std::size_t n) noexcept
    {
        for (std::size_t i = 0; i < n; ++i) Put(c);
    }
};

struct StringSink {
    std::u16string& out;

    void Put(char16_t c) { out.push_back(c); }
    void Put(const char16_t* text, std::size_t n) { out.append(text, n); }
    void Repeat(char16_t c, std::size_t n) { out.append(n, c); }
};

enum class Length { Default, Char, Short, Long64 };

// Widths and integer precisions beyond this are taken as this: no trace line
// needs more, and a hostile format cannot make the formatter allocate without bound.
constexpr std::size_t kMaxPad = 65535;

struct Directive {
    bool left = false;
    bool zero = false;
    bool plus = false;
    bool space = false;
    bool alternate = false;
    std::size_t width = 0;
    bool hasPrecision = false;
    std::size_t precision = 0;
    Length length = Length::Default;
};

// Reads the arguments in order; a missing one reads as an empty argument.
class ArgReader {
public:
    explicit ArgReader(std::span<const FormatArg> args) : m_args(args) {}

    const FormatArg* Next() noexcept { return m_next < m_args.size() ? &m_args[m_next++] : nullptr; }

    std::int64_t NextInt() noexcept
    {
        const FormatArg* arg = Next();
        if (!arg || arg->kind() == FormatArg::Kind::Text) return 0;
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(arg->bits()));
    }

private:
    std::span<const FormatArg> m_args;
    std::size_t m_next = 0;
};

std::uint64_t IntegerBits(const FormatArg* arg) noexcept
{
    if (!arg || arg->kind() == FormatArg::Kind::Text) return 0;
    return arg->bits();
}

// Narrows the argument's bits to the conversion's size, as a C library reading
// that size from the argument list would.
std::uint64_t Narrow(std::uint64_t bits, Length length, bool isSigned) noexcept
{
    switch (length) {
    case Length::Char:
        return isSigned ? static_cast<std::uint64_t>(static_cast<std::int64_t>(static_cast<std::int8_t>(bits)))
                        : static_cast<std::uint8_t>(bits);
    case Length::Short:
        return isSigned ? static_cast<std::uint64_t>(static_cast<std::int64_t>(static_cast<std::int16_t>(bits)))
                        : static_cast<std::uint16_t>(bits);
    case Length::Default:
        return isSigned ? static_cast<std::uint64_t>(static_cast<std::int64_t>(static_cast<std::int32_t>(bits)))
                        : static_cast<std::uint32_t>(bits);
    case Length::Long64:
        break;
    }
    return bits;
}

template <class Sink>
void PutPadded(Sink& sink, const Directive& directive, const char16_t* text, std::size_t n)
{
    const std::size_t pad = directive.width > n ? directive.width - n : 0;
    if (!directive.left) sink.Repeat(u' ', pad);
    sink.Put(text, n);
    if (directive.left) sink.Repeat(u' ', pad);
}

template <class Sink>
void PutInteger(Sink& sink, const Directive& directive, std::uint64_t bits, bool isSigned, unsigned base, bool upper,
                std::size_t minDigits)
{
    bool negative = false;
    std::uint64_t magnitude = bits;
    if (isSigned && static_cast<std::int64_t>(bits) < 0) {
        negative = true;
        magnitude = 0 - bits;
    }

    char16_t digits[24];
    std::size_t n = 0;
    const char* alphabet = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    while (magnitude != 0) {
        digits[n++] = static_cast<char16_t>(alphabet[magnitude % base]);
        magnitude /= base;
    }
    std::size_t precision = directive.hasPrecision ? std::min(directive.precision, kMaxPad) : 1;
    precision = std::max(precision, minDigits);
    const std::size_t zeros = precision > n ? precision - n : 0;

    char16_t prefix[2];
    std::size_t prefixSize = 0;
    if (negative) prefix[prefixSize++] = u'-';
    else if (isSigned && directive.plus) prefix[prefixSize++] = u'+';
    else if (isSigned && directive.space) prefix[prefixSize++] = u' ';
    if (base == 16 && directive.alternate && bits != 0) {
        prefix[prefixSize++] = u'0';
        prefix[prefixSize++] = upper ? u'X' : u'x';
    }

    const std::size_t body = prefixSize + zeros + n;
    const std::size_t pad = directive.width > body ? directive.width - body : 0;
    const bool zeroPad = directive.zero && !directive.left && !directive.hasPrecision;
    if (!directive.left && !zeroPad) sink.Repeat(u' ', pad);
    sink.Put(prefix, prefixSize);
    if (zeroPad) sink.Repeat(u'0', pad);
    sink.Repeat(u'0', zeros);
    for (std::size_t i = n; i > 0; --i) sink.Put(digits[i - 1]);
    if (directive.left) sink.Repeat(u' ', pad);
}

template <class Sink>
void FormatCore(Sink& sink, std::u16string_view format, std::span<const FormatArg> args)
{
    ArgReader reader(args);
    std::size_t i = 0;
    const std::size_t end = format.size();
    while (i < end) {
        const char16_t c = format[i];
        if (c != u'%') {
            // Copy the literal run in one go.
            std::size_t j = i + 1;
            while (j < end && format[j] != u'%') ++j;
            sink.Put(format.data() + i, j - i);
            i = j;
            continue;
        }
        const std::size_t start = i++;
        Directive directive;
        for (; i < end; ++i) {
            const char16_t f = format[i];
            if (f == u'-') directive.left = true;
            else if (f == u'0') directive.zero = true;
            else if (f == u'+') directive.plus = true;
            else if (f == u' ') directive.space = true;
            else if (f == u'#') directive.alternate = true;
            else break;
        }
        if (i < end && format[i] == u'*') {
            const std::int64_t w = reader.NextInt();
            if (w < 0) directive.left = true;
            directive.width = std::min<std::size_t>(static_cast<std::size_t>(w < 0 ? -w : w), kMaxPad);
            ++i;
        } else {
            while (i < end && format[i] >= u'0' && format[i] <= u'9') {
                directive.width = std::min<std::size_t>(directive.width * 10 + (format[i] - u'0'), kMaxPad);
                ++i;
            }
        }
        if (i < end && format[i] == u'.') {
            ++i;
            directive.hasPrecision = true;
            if (i < end && format[i] == u'*') {
                const std::int64_t p = reader.NextInt();
                directive.hasPrecision = p >= 0;
                directive.precision = p >= 0 ? static_cast<std::size_t>(p) : 0;
                ++i;
            } else {
                while (i < end && format[i] >= u'0' && format[i] <= u'9') {
                    directive.precision = std::min<std::size_t>(directive.precision * 10 + (format[i] - u'0'), SIZE_MAX / 16);
                    ++i;
                }
            }
        }
        // Length modifiers: l is 32 bits, as on Windows.
        if (i < end) {
            const std::u16string_view rest = format.substr(i);
            if (rest.starts_with(u"ll") || rest.starts_with(u"I64")) {
                directive.length = Length::Long64;
                i += rest[0] == u'I' ? 3 : 2;
            } else if (rest.starts_with(u"I32")) {
                i += 3;
            } else if (rest.starts_with(u"hh")) {
                directive.length = Length::Char;
                i += 2;
            } else if (rest[0] == u'h') {
                directive.length = Length::Short;
                ++i;
            } else if (rest[0] == u'z' || rest[0] == u'j' || rest[0] == u't' || rest[0] == u'I') {
                directive.length = Length::Long64;
                ++i;
            } else if (rest[0] == u'l' || rest[0] == u'w') {
                ++i;
            }
        }
        if (i >= end) {
            // A conversion cut off by the end of the format is copied as it stands.
            sink.Put(format.data() + start, end - start);
            break;
        }
        const char16_t conversion = format[i++];
        switch (conversion) {
        case u'%':
            sink.Put(u'%');
            break;
        case u'd':
        case u'i':
            PutInteger(sink, directive, Narrow(IntegerBits(reader.Next()), directive.length, true), true, 10, false, 0);
            break;
        case u'u':
            PutInteger(sink, directive, Narrow(IntegerBits(reader.Next()), directive.length, false), false, 10, false, 0);
            break;
        case u'x':
        case u'X':
            PutInteger(sink, directive, Narrow(IntegerBits(reader.Next()), directive.length, false), false, 16,
                       conversion == u'X', 0);
            break;
        case u'p': {
            // As the Windows C library writes a 64-bit pointer: 16 upper-case digits.
            Directive pointerDirective = directive;
            pointerDirective.hasPrecision = false;
            pointerDirective.alternate = false;
            PutInteger(sink, pointerDirective, IntegerBits(reader.Next()), false, 16, true, 16);
            break;
        }
        case u'c': {
            const FormatArg* arg = reader.Next();
            char16_t ch = 0;
            if (arg && arg->kind() == FormatArg::Kind::Text) ch = arg->textSize() ? arg->text()[0] : 0;
            else ch = static_cast<char16_t>(IntegerBits(arg));
            if (ch != 0) PutPadded(sink, directive, &ch, 1);
            else PutPadded(sink, directive, &ch, 0);
            break;
        }
        case u's':
        case u'S': {
            const FormatArg* arg = reader.Next();
            const char16_t* text = u"";
            std::size_t n = 0;
            if (arg && arg->kind() == FormatArg::Kind::Text) {
                if (arg->text()) {
                    text = arg->text();
                    n = arg->textSize();
                } else {
                    text = u"(null)";
                    n = 6;
                }
            }
            if (directive.hasPrecision) n = std::min(n, directive.precision);
            PutPadded(sink, directive, text, n);
            break;
        }
        default:
            // Unknown conversion: copied as written, no argument taken.
            sink.Put(format.data() + start, i - start);
            break;
        }
    }
}

}  // namespace

std::size_t FormatTo(char16_t* buf, std::size_t capacity, std::u16string_view format,
                     std::span<const FormatArg> args) noexcept
{
    BoundedSink sink{buf, capacity};
    FormatCore(sink, format, args);
    if (capacity > 0) buf[std::min(sink.size, capacity - 1)] = 0;
    return sink.size;
}

std::u16string FormatString(std::u16string_view format, std::span<const FormatArg> args)
{
    std::u16string out;
    StringSink sink{out};
    FormatCore(sink, format, args);
    return out;
}

}  // namespace qev
