#include "standins/win/zkascl/engine_text.h"

#include "host/utf.h"
#include "sim/escape.h"

#include <vector>

namespace zkascl {
namespace {

using host::Utf8;

// Appends text, escaped for the store file.
void AppendField(std::string& out, std::u16string_view text)
{
    for (const char c : Utf8(text)) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                out += c;
                break;
        }
    }
}

std::u16string UnescapeField(std::string_view field)
{
    std::string bytes;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            bytes += field[i];
            continue;
        }
        switch (field[++i]) {
            case 't':
                bytes += '\t';
                break;
            case 'r':
                bytes += '\r';
                break;
            case 'n':
                bytes += '\n';
                break;
            default:
                bytes += field[i];
                break;
        }
    }
    return host::Utf16(bytes);
}

bool ParseNumber(std::string_view text, std::uint32_t& out)
{
    if (text.empty() || text.size() > 10) return false;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 0xFFFFFFFFu) return false;
    out = static_cast<std::uint32_t>(value);
    return true;
}

std::vector<std::string_view> SplitTabs(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos) return fields;
        start = tab + 1;
    }
}

char16_t Lower(char16_t c) noexcept
{
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool IsBlank(char16_t c) noexcept
{
    return c == u' ' || c == u'\t';
}

std::u16string_view Trim(std::u16string_view text)
{
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace

std::string QuotedArg(const char16_t* text)
{
    return '"' + Utf8(qev::sim::EscapeUtf16(text ? std::u16string_view(text) : std::u16string_view())) + '"';
}

std::string SerializeStore(const Store& store)
{
    std::string out = "# zkascl engine store\n";
    for (const auto& [name, value] : store.values) {
        out += "value\t";
        AppendField(out, name);
        out += '\t' + std::to_string(value) + '\n';
    }
    for (const std::u16string& address : store.spammers) {
        out += "spammer\t";
        AppendField(out, address);
        out += '\n';
    }
    for (const std::u16string& address : store.friends) {
        out += "friend\t";
        AppendField(out, address);
        out += '\n';
    }
    out += "learned\tspam\t" + std::to_string(store.learnedSpam) + '\n';
    out += "learned\tham\t" + std::to_string(store.learnedHam) + '\n';
    return out;
}

Store ParseStore(std::string_view text)
{
    Store store;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::vector<std::string_view> fields = SplitTabs(line);
        std::uint32_t number = 0;
        if (fields[0] == "value" && fields.size() == 3 && ParseNumber(fields[2], number)) {
            store.values[UnescapeField(fields[1])] = number;
        } else if (fields[0] == "spammer" && fields.size() == 2 && !fields[1].empty()) {
            store.spammers.insert(UnescapeField(fields[1]));
        } else if (fields[0] == "friend" && fields.size() == 2 && !fields[1].empty()) {
            store.friends.insert(UnescapeField(fields[1]));
        } else if (fields[0] == "learned" && fields.size() == 3 && ParseNumber(fields[2], number)) {
            if (fields[1] == "spam") store.learnedSpam = number;
            if (fields[1] == "ham") store.learnedHam = number;
        }
    }
    return store;
}

std::u16string SenderOf(std::u16string_view mailText)
{
    // Unfold the header block into one line per field.
    std::vector<std::u16string> fields;
    while (!mailText.empty()) {
        std::size_t end = mailText.find(u'\n');
        std::u16string_view line = mailText.substr(0, end);
        mailText.remove_prefix(end == std::u16string_view::npos ? mailText.size() : end + 1);
        if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
        if (line.empty()) break;  // the end of the headers
        if (IsBlank(line.front()) && !fields.empty())
            fields.back().append(line);
        else
            fields.emplace_back(line);
    }
    for (const std::u16string& field : fields) {
        const std::size_t colon = field.find(u':');
        if (colon == std::u16string::npos) continue;
        const std::u16string_view name = Trim(std::u16string_view(field).substr(0, colon));
        if (name.size() != 4 || Lower(name[0]) != u'f' || Lower(name[1]) != u'r' || Lower(name[2]) != u'o' ||
            Lower(name[3]) != u'm')
            continue;
        std::u16string_view value = std::u16string_view(field).substr(colon + 1);
        const std::size_t open = value.rfind(u'<');
        if (open != std::u16string_view::npos) {
            const std::size_t close = value.find(u'>', open);
            if (close != std::u16string_view::npos) value = value.substr(open + 1, close - open - 1);
        }
        value = Trim(value);
        std::u16string address;
        for (const char16_t c : value) address += Lower(c);
        return address;
    }
    return {};
}

}  // namespace zkascl
