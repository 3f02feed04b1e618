#include "addin/registrar.h"

#include <exception>
#include <memory>
#include <new>
#include <optional>

#include "host/format.h"

namespace qev {

enum class KeyMark { None, NoRemove, ForceRemove, Delete };

struct NamedValue {
    std::u16string name;
    host::RegValue value;
};

struct Registrar::Key {
    std::u16string name;
    KeyMark mark = KeyMark::None;
    std::optional<host::RegValue> defaultValue;
    std::vector<NamedValue> values;
    std::vector<Key> subkeys;
    int line = 0;
};

struct Registrar::Root {
    host::RegRoot root;
    std::vector<Key> keys;
};

namespace {

using Key = Registrar::Key;
using Root = Registrar::Root;

// ---- text ----

char16_t Fold(char16_t c) noexcept
{
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool SameText(std::u16string_view a, std::u16string_view b) noexcept
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i])) return false;
    return true;
}

// True when path is prefix itself or lies under it (whole components).
bool PathUnder(std::u16string_view path, std::u16string_view prefix) noexcept
{
    if (prefix.empty()) return true;
    if (path.size() < prefix.size() || !SameText(path.substr(0, prefix.size()), prefix)) return false;
    return path.size() == prefix.size() || path[prefix.size()] == u'\\';
}

std::u16string Join(std::u16string_view parent, std::u16string_view name)
{
    std::u16string out(parent);
    if (!out.empty() && !name.empty()) out += u'\\';
    out += name;
    return out;
}

const char16_t* RootName(host::RegRoot root) noexcept
{
    switch (root) {
        case host::RegRoot::ClassesRoot:
            return u"HKCR";
        case host::RegRoot::CurrentUser:
            return u"HKCU";
        case host::RegRoot::LocalMachine:
            return u"HKLM";
        case host::RegRoot::Users:
            return u"HKU";
    }
    return u"HK?";
}

std::u16string FullName(host::RegRoot root, std::u16string_view path)
{
    return Join(RootName(root), path);
}

bool IsNotFound(HRESULT hr) noexcept
{
    return hr == host::kHrFileNotFound;
}

// ---- reading the script ----

// A script that fails to read: its line and what was wrong.
struct SyntaxError {
    int line;
    std::u16string what;
};

struct Token {
    std::u16string text;
    bool quoted = false;
    int line = 0;

    bool Is(std::u16string_view punctuation) const noexcept { return !quoted && text == punctuation; }
    bool IsKeyword(std::u16string_view keyword) const noexcept { return !quoted && SameText(text, keyword); }
};

class Lexer {
public:
    Lexer(std::u16string_view script, const std::vector<std::pair<std::u16string, std::u16string>>& replacements)
        : m_script(script), m_replacements(replacements)
    {
    }

    // The next token, or nothing at the end of the script.
    std::optional<Token> Next()
    {
        SkipSpace();
        if (m_pos >= m_script.size()) return std::nullopt;
        Token token;
        token.line = m_line;
        std::u16string raw;
        if (m_script[m_pos] == u'\'') {
            token.quoted = true;
            ++m_pos;
            while (true) {
                if (m_pos >= m_script.size()) throw SyntaxError{token.line, u"unterminated quoted text"};
                const char16_t c = m_script[m_pos++];
                if (c == u'\'') {
                    if (m_pos < m_script.size() && m_script[m_pos] == u'\'') {
                        raw += u'\'';
                        ++m_pos;
                        continue;
                    }
                    break;
                }
                if (c == u'\n') ++m_line;
                raw += c;
            }
        } else {
            while (m_pos < m_script.size() && !IsSpace(m_script[m_pos])) raw += m_script[m_pos++];
        }
        token.text = Replace(raw, token.line);
        return token;
    }

private:
    static bool IsSpace(char16_t c) noexcept { return c <= u' ' || c == 0xFEFF; }

    void SkipSpace() noexcept
    {
        while (m_pos < m_script.size() && IsSpace(m_script[m_pos])) {
            if (m_script[m_pos] == u'\n') ++m_line;
            ++m_pos;
        }
    }

    std::u16string Replace(std::u16string_view raw, int line) const
    {
        std::u16string out;
        std::size_t i = 0;
        while (i < raw.size()) {
            if (raw[i] != u'%') {
                out += raw[i++];
                continue;
            }
            const std::size_t close = raw.find(u'%', i + 1);
            if (close == std::u16string_view::npos) throw SyntaxError{line, u"'%' without its closing '%'"};
            const std::u16string_view name = raw.substr(i + 1, close - i - 1);
            i = close + 1;
            if (name.empty()) {
                out += u'%';
                continue;
            }
            bool found = false;
            for (const auto& [key, value] : m_replacements) {
                if (SameText(key, name)) {
                    out += value;
                    found = true;
                    break;
                }
            }
            if (!found) throw SyntaxError{line, Format(u"no replacement for %%%s%%", name)};
        }
        return out;
    }

    std::u16string_view m_script;
    const std::vector<std::pair<std::u16string, std::u16string>>& m_replacements;
    std::size_t m_pos = 0;
    int m_line = 1;
};

class Parser {
public:
    Parser(std::u16string_view script, const std::vector<std::pair<std::u16string, std::u16string>>& replacements)
        : m_lexer(script, replacements)
    {
        m_next = m_lexer.Next();
    }

    std::vector<Root> Script()
    {
        std::vector<Root> roots;
        while (m_next) {
            const Token name = Take(u"a root key");
            Root root{RootOf(name), {}};
            Expect(u"{");
            while (!Peek(u"}")) {
                if (m_next && m_next->IsKeyword(u"val"))
                    throw SyntaxError{m_next->line, u"a value needs a key, not a root"};
                root.keys.push_back(ParseKey());
            }
            Expect(u"}");
            roots.push_back(std::move(root));
        }
        return roots;
    }

private:
    static host::RegRoot RootOf(const Token& token)
    {
        if (!token.quoted) {
            if (SameText(token.text, u"HKCR") || SameText(token.text, u"HKEY_CLASSES_ROOT"))
                return host::RegRoot::ClassesRoot;
            if (SameText(token.text, u"HKCU") || SameText(token.text, u"HKEY_CURRENT_USER"))
                return host::RegRoot::CurrentUser;
            if (SameText(token.text, u"HKLM") || SameText(token.text, u"HKEY_LOCAL_MACHINE"))
                return host::RegRoot::LocalMachine;
        }
        throw SyntaxError{token.line, Format(u"unknown root key '%s'", token.text)};
    }

    Key ParseKey()
    {
        Key key;
        key.line = m_next ? m_next->line : 0;
        while (m_next &&
               (m_next->IsKeyword(u"NoRemove") || m_next->IsKeyword(u"ForceRemove") || m_next->IsKeyword(u"Delete"))) {
            const Token mark = Take(u"");
            if (key.mark != KeyMark::None)
                throw SyntaxError{mark.line, u"more than one of NoRemove, ForceRemove, Delete"};
            key.mark = mark.IsKeyword(u"NoRemove")      ? KeyMark::NoRemove
                       : mark.IsKeyword(u"ForceRemove") ? KeyMark::ForceRemove
                                                        : KeyMark::Delete;
        }
        key.name = Name(Take(u"a key name"), u"key");
        if (Peek(u"=")) {
            Take(u"");
            key.defaultValue = Value();
        }
        if (Peek(u"{")) {
            Take(u"");
            while (!Peek(u"}")) {
                if (m_next && m_next->IsKeyword(u"val")) {
                    Take(u"");
                    NamedValue named;
                    named.name = Take(u"a value name").text;
                    Expect(u"=");
                    named.value = Value();
                    key.values.push_back(std::move(named));
                } else {
                    key.subkeys.push_back(ParseKey());
                }
            }
            Expect(u"}");
        }
        if (key.mark == KeyMark::Delete && (key.defaultValue || !key.values.empty() || !key.subkeys.empty()))
            throw SyntaxError{key.line, Format(u"the Delete key '%s' cannot carry values or subkeys", key.name)};
        return key;
    }

    static std::u16string Name(const Token& token, std::u16string_view what)
    {
        if (!token.quoted && (token.text == u"{" || token.text == u"}" || token.text == u"="))
            throw SyntaxError{token.line, Format(u"'%s' where a %s name was expected", token.text, what)};
        if (token.text.empty()) throw SyntaxError{token.line, Format(u"empty %s name", what)};
        if (token.text.find(u'\\') != std::u16string::npos)
            throw SyntaxError{token.line, Format(u"'\\' in the %s name '%s'", what, token.text)};
        return token.text;
    }

    host::RegValue Value()
    {
        const Token type = Take(u"a value type");
        const Token data = Take(u"the value's data");
        if (type.IsKeyword(u"s")) return host::RegValue::Text(data.text);
        if (type.IsKeyword(u"e")) {
            host::RegValue value = host::RegValue::Text(data.text);
            value.type = host::kRegExpandSz;
            return value;
        }
        if (type.IsKeyword(u"d")) return host::RegValue::Dword(Number(data));
        if (type.IsKeyword(u"b")) return Binary(data);
        throw SyntaxError{type.line, Format(u"unknown value type '%s'", type.text)};
    }

    static std::uint32_t Number(const Token& token)
    {
        std::u16string_view text = token.text;
        unsigned base = 10;
        if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
            base = 16;
            text.remove_prefix(2);
        }
        if (text.empty()) throw SyntaxError{token.line, u"a number was expected"};
        std::uint64_t value = 0;
        for (const char16_t c : text) {
            const int digit = HexDigit(c);
            if (digit < 0 || static_cast<unsigned>(digit) >= base)
                throw SyntaxError{token.line, Format(u"'%s' is not a number", token.text)};
            value = value * base + static_cast<unsigned>(digit);
            if (value > 0xFFFFFFFFu) throw SyntaxError{token.line, Format(u"'%s' does not fit in 32 bits", token.text)};
        }
        return static_cast<std::uint32_t>(value);
    }

    static host::RegValue Binary(const Token& token)
    {
        if (token.text.size() % 2 != 0)
            throw SyntaxError{token.line, Format(u"'%s' has an odd number of hex digits", token.text)};
        host::RegValue value;
        value.type = host::kRegBinary;
        for (std::size_t i = 0; i < token.text.size(); i += 2) {
            const int high = HexDigit(token.text[i]);
            const int low = HexDigit(token.text[i + 1]);
            if (high < 0 || low < 0) throw SyntaxError{token.line, Format(u"'%s' is not hex data", token.text)};
            value.data.push_back(static_cast<std::uint8_t>(high * 16 + low));
        }
        return value;
    }

    static int HexDigit(char16_t c) noexcept
    {
        if (c >= u'0' && c <= u'9') return c - u'0';
        if (c >= u'a' && c <= u'f') return c - u'a' + 10;
        if (c >= u'A' && c <= u'F') return c - u'A' + 10;
        return -1;
    }

    bool Peek(std::u16string_view punctuation)
    {
        if (!m_next) throw SyntaxError{m_lastLine, Format(u"the script ends where '%s' was expected", punctuation)};
        return m_next->Is(punctuation);
    }

    Token Take(std::u16string_view what)
    {
        if (!m_next) throw SyntaxError{m_lastLine, Format(u"the script ends where %s was expected", what)};
        Token token = std::move(*m_next);
        m_lastLine = token.line;
        m_next = m_lexer.Next();
        return token;
    }

    void Expect(std::u16string_view punctuation)
    {
        const int line = m_next ? m_next->line : m_lastLine;
        const Token token = Take(Format(u"'%s'", punctuation));
        if (!token.Is(punctuation))
            throw SyntaxError{line, Format(u"'%s' expected, found '%s'", punctuation, token.text)};
    }

    Lexer m_lexer;
    std::optional<Token> m_next;
    int m_lastLine = 1;
};

// ---- where keys go ----

enum class Place { Direct, Parent, Outside };

struct Target {
    Place place = Place::Direct;
    host::RegRoot root{};
    std::u16string path;
};

Target Locate(const std::vector<RegistryMapping>& mappings, host::RegRoot root, std::u16string_view path)
{
    if (mappings.empty()) return {Place::Direct, root, std::u16string(path)};
    const RegistryMapping* best = nullptr;
    bool parent = false;
    for (const RegistryMapping& mapping : mappings) {
        if (mapping.root != root) continue;
        if (PathUnder(path, mapping.path)) {
            if (!best || mapping.path.size() > best->path.size()) best = &mapping;
        } else if (PathUnder(mapping.path, path)) {
            parent = true;
        }
    }
    if (best) {
        std::u16string rest(path.substr(best->path.size()));
        if (!rest.empty() && rest.front() == u'\\') rest.erase(0, 1);
        return {Place::Direct, best->toRoot, Join(best->toPath, rest)};
    }
    return {parent ? Place::Parent : Place::Outside, root, std::u16string(path)};
}

// A failure of the registry, with the operation it stopped.
struct Failure {
    HRESULT hr;
    std::u16string what;
};

class Runner {
public:
    Runner(host::Registry& registry, host::RegView view, const std::vector<RegistryMapping>& mappings)
        : m_registry(registry), m_view(view), m_mappings(mappings)
    {
    }

    // Throws SyntaxError-like Failure with kHrOutsideMapping before anything is touched.
    void Check(host::RegRoot root, const std::u16string& parent, const Key& key) const
    {
        const std::u16string path = Join(parent, key.name);
        const Target target = Locate(m_mappings, root, path);
        if (target.place == Place::Outside)
            throw Failure{kHrOutsideMapping, Format(u"line %d: %s lies outside the areas this registration may write",
                                                    key.line, FullName(root, path))};
        if (target.place == Place::Parent && (key.defaultValue || !key.values.empty() ||
                                              key.mark == KeyMark::ForceRemove || key.mark == KeyMark::Delete))
            throw Failure{kHrOutsideMapping,
                          Format(u"line %d: %s may only be passed through here", key.line, FullName(root, path))};
        for (const Key& sub : key.subkeys) Check(root, path, sub);
    }

    void Register(host::RegRoot root, const std::u16string& parent, const Key& key)
    {
        const std::u16string path = Join(parent, key.name);
        const Target target = Locate(m_mappings, root, path);
        if (target.place == Place::Direct) {
            if (key.mark == KeyMark::Delete || key.mark == KeyMark::ForceRemove) {
                const HRESULT hr = m_registry.DeleteTree(target.root, target.path, m_view);
                if (FAILED(hr) && !IsNotFound(hr)) throw Failure{hr, u"delete " + FullName(target.root, target.path)};
                if (key.mark == KeyMark::Delete) return;
            }
            std::unique_ptr<host::RegistryKey> opened;
            HRESULT hr = m_registry.CreateKey(target.root, target.path, m_view, opened);
            if (FAILED(hr) || !opened)
                throw Failure{FAILED(hr) ? hr : E_FAIL, u"create " + FullName(target.root, target.path)};
            if (key.defaultValue) {
                hr = opened->SetValue(u"", *key.defaultValue);
                if (FAILED(hr)) throw Failure{hr, u"set the default value of " + FullName(target.root, target.path)};
            }
            for (const NamedValue& named : key.values) {
                hr = opened->SetValue(named.name, named.value);
                if (FAILED(hr))
                    throw Failure{hr, Format(u"set %s in %s", named.name, FullName(target.root, target.path))};
            }
        }
        for (const Key& sub : key.subkeys) Register(root, path, sub);
    }

    void Unregister(host::RegRoot root, const std::u16string& parent, const Key& key)
    {
        const std::u16string path = Join(parent, key.name);
        const Target target = Locate(m_mappings, root, path);
        if (target.place != Place::Direct) {
            for (const Key& sub : key.subkeys) Unregister(root, path, sub);
            return;
        }
        const std::u16string where = FullName(target.root, target.path);
        switch (key.mark) {
            case KeyMark::Delete:
                return;
            case KeyMark::ForceRemove:
                Note(m_registry.DeleteTree(target.root, target.path, m_view), u"delete " + where);
                return;
            case KeyMark::NoRemove:
            case KeyMark::None:
                break;
        }

        {
            std::unique_ptr<host::RegistryKey> probe;
            const HRESULT hr = m_registry.OpenKey(target.root, target.path, false, m_view, probe);
            if (IsNotFound(hr)) return;
            if (!Note(hr, u"open " + where)) return;
        }
        for (const Key& sub : key.subkeys) Unregister(root, path, sub);

        if (key.mark == KeyMark::None) {
            std::vector<std::u16string> left;
            {
                std::unique_ptr<host::RegistryKey> opened;
                if (!Note(m_registry.OpenKey(target.root, target.path, false, m_view, opened), u"open " + where))
                    return;
                if (!Note(opened->SubKeyNames(left), u"list the subkeys of " + where)) return;
            }
            if (left.empty()) {
                Note(m_registry.DeleteTree(target.root, target.path, m_view), u"delete " + where);
                return;
            }
        }
        if (key.values.empty() && !(key.mark == KeyMark::None && key.defaultValue)) return;

        std::unique_ptr<host::RegistryKey> opened;
        if (!Note(m_registry.OpenKey(target.root, target.path, true, m_view, opened), u"open " + where)) return;
        for (const NamedValue& named : key.values)
            Note(opened->DeleteValue(named.name), Format(u"delete %s in %s", named.name, where));
        if (key.mark == KeyMark::None && key.defaultValue)
            Note(opened->DeleteValue(u""), u"delete the default value of " + where);
    }

    // The first failure of an unregistration; a missing key or value is none.
    const std::optional<Failure>& FirstFailure() const noexcept { return m_first; }

private:
    bool Note(HRESULT hr, std::u16string what)
    {
        if (SUCCEEDED(hr) || IsNotFound(hr)) return SUCCEEDED(hr);
        if (!m_first) m_first = Failure{hr, std::move(what)};
        return false;
    }

    host::Registry& m_registry;
    host::RegView m_view;
    const std::vector<RegistryMapping>& m_mappings;
    std::optional<Failure> m_first;
};

}  // namespace

std::vector<RegistryMapping> PerUserMappings()
{
    return {
        {host::RegRoot::ClassesRoot, u"", host::RegRoot::CurrentUser, u"Software\\Classes"},
        {host::RegRoot::LocalMachine, u"Software\\Microsoft\\Office\\Outlook\\Addins", host::RegRoot::CurrentUser,
         u"Software\\Microsoft\\Office\\Outlook\\Addins"},
    };
}

Registrar::Registrar(host::Registry& registry, host::RegView view) : m_registry(registry), m_view(view) {}

void Registrar::AddReplacement(std::u16string name, std::u16string value)
{
    for (auto& [key, existing] : m_replacements) {
        if (SameText(key, name)) {
            existing = std::move(value);
            return;
        }
    }
    m_replacements.emplace_back(std::move(name), std::move(value));
}

void Registrar::SetMappings(std::vector<RegistryMapping> mappings)
{
    m_mappings = std::move(mappings);
}

HRESULT Registrar::Register(std::u16string_view script) noexcept
{
    return Run(script, true);
}

HRESULT Registrar::Unregister(std::u16string_view script) noexcept
{
    return Run(script, false);
}

HRESULT Registrar::Run(std::u16string_view script, bool registering) noexcept
{
    try {
        m_lastError.clear();
        std::vector<Root> roots;
        try {
            roots = Parser(script, m_replacements).Script();
        } catch (const SyntaxError& error) {
            m_lastError = Format(u"line %d: %s", error.line, error.what);
            return kHrScriptSyntax;
        }

        Runner runner(m_registry, m_view, m_mappings);
        try {
            for (const Root& root : roots)
                for (const Key& key : root.keys) runner.Check(root.root, u"", key);
            for (const Root& root : roots) {
                for (const Key& key : root.keys) {
                    if (registering)
                        runner.Register(root.root, u"", key);
                    else
                        runner.Unregister(root.root, u"", key);
                }
            }
        } catch (const Failure& failure) {
            m_lastError = failure.what;
            return failure.hr;
        }
        if (const auto& first = runner.FirstFailure()) {
            m_lastError = Format(u"%s: 0x%08X", first->what, static_cast<std::uint32_t>(first->hr));
            return first->hr;
        }
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

bool DecodeScript(std::span<const std::uint8_t> bytes, std::u16string& out)
{
    out.clear();
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        if (bytes.size() % 2 != 0) return false;
        for (std::size_t i = 2; i < bytes.size(); i += 2)
            out.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
        return true;
    }
    std::size_t i = 0;
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) i = 3;
    while (i < bytes.size()) {
        const std::uint8_t lead = bytes[i];
        std::uint32_t code = 0;
        std::size_t extra = 0;
        if (lead < 0x80) {
            code = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            code = lead & 0x1Fu;
            extra = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            code = lead & 0x0Fu;
            extra = 2;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            code = lead & 0x07u;
            extra = 3;
        } else {
            return false;
        }
        if (bytes.size() - i - 1 < extra) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const std::uint8_t next = bytes[i + k];
            if ((next & 0xC0u) != 0x80u) return false;
            code = (code << 6) | (next & 0x3Fu);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not text.
        if ((extra == 2 && code < 0x800) || (extra == 3 && code < 0x10000) || code > 0x10FFFF ||
            (code >= 0xD800 && code <= 0xDFFF))
            return false;
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FFu)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
        i += extra + 1;
    }
    return true;
}

}  // namespace qev
