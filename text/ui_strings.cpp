#include "text/ui_strings.h"

#include <memory>

#include "addin/module_folder.h"
#include "addin/trace.h"
#include "text/product_info.h"
#include "text/string_table.h"

namespace qev {

CLangModules g_langModules;

namespace {

// The path of the add-in's own module; empty when it has none (the host
// program's folder is no place to look for modules).
std::u16string AddinPath(host::Libraries& libraries)
{
    return AddinModulePath(libraries);
}

// "C:\P\qev.dll" -> "C:\P\": cut just after the last backslash.
std::u16string FolderWithBackslash(std::u16string_view path)
{
    const std::size_t slash = path.rfind(u'\\');
    return slash == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(0, slash + 1));
}

// "C:\P\qev.dll" -> "qev": after the last backslash, cut at the last dot.
std::u16string BaseName(std::u16string_view path)
{
    const std::size_t slash = path.rfind(u'\\');
    std::u16string_view name = slash == std::u16string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind(u'.');
    if (dot != std::u16string_view::npos) name = name.substr(0, dot);
    return std::u16string(name);
}

std::unique_ptr<host::RegistryKey> OpenLanguageKey(host::Registry& registry, host::RegView view)
{
    std::unique_ptr<host::RegistryKey> key;
    if (FAILED(registry.OpenKey(host::RegRoot::Users, kLanguageKey, false, view, key))) key.reset();
    return key;
}

// "wslibsite_lang" as REG_SZ only; a 32-bit process on 64-bit Windows finds
// it in the 64-bit view when its own view lacks the key.
std::u16string LanguageCode(host::Registry& registry)
{
    std::unique_ptr<host::RegistryKey> key = OpenLanguageKey(registry, host::RegView::Default);
    if (!key) key = OpenLanguageKey(registry, host::RegView::Force64);
    std::u16string code;
    host::RegValue value;
    if (key && SUCCEEDED(key->QueryValue(kLanguageValue, value)) && value.type == host::kRegSz) value.AsText(code);
    return code.empty() ? std::u16string(kDefaultLanguage) : code;
}

// "rtl" of any type, up to 4 bytes (a longer value is too big for the read
// and counts as missing); right to left exactly when it is 1.
std::u16string Layout(host::Registry& registry)
{
    std::unique_ptr<host::RegistryKey> key = OpenLanguageKey(registry, host::RegView::Default);
    host::RegValue value;
    if (!key || FAILED(key->QueryValue(kLayoutValue, value)) || value.data.size() > 4) return u"ltr";
    std::uint32_t number = 0;
    for (std::size_t i = 0; i < value.data.size(); ++i) number |= static_cast<std::uint32_t>(value.data[i]) << (8 * i);
    return number == 1 ? u"rtl" : u"ltr";
}

// folder + "\lang\<code>\<base>.txtui" or folder + "\ui\<layout>\<base>.ui".
// The folders given end in a backslash already: the doubled one is read as one.
std::u16string ModulePath(std::u16string_view folder, bool isText, std::u16string_view choice,
                          std::u16string_view base)
{
    std::u16string path(folder);
    path += isText ? u"\\lang\\" : u"\\ui\\";
    path += choice;
    path += u'\\';
    path += base;
    path += isText ? u".txtui" : u".ui";
    return path;
}

bool EndsWithZarevora32(std::u16string_view folder)
{
    constexpr std::u16string_view kSuffix = u"zarevora32\\";
    std::u16string lower(folder);
    for (char16_t& c : lower)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    const std::size_t first = lower.find(kSuffix);
    return first != std::u16string::npos && first + kSuffix.size() == lower.size();
}

void ReplaceProductName(host::Libraries& libraries, std::u16string& text)
{
    constexpr std::u16string_view kPlaceholder = kProductNamePlaceholder;
    std::size_t at = text.find(kPlaceholder);
    if (at == std::u16string::npos) return;  // the product is asked only when a text needs it
    const CProductInfo& holder = GetProductInfo_(libraries);
    if (!holder.info) return;
    const char16_t* name = holder.info->GetProductName();
    const std::u16string productName = name ? name : u"";
    while (at != std::u16string::npos) {
        text.replace(at, kPlaceholder.size(), productName);
        at = text.find(kPlaceholder, at + productName.size());
    }
}

}  // namespace

// ---- the guard ----

CCurrentDirGuard::CCurrentDirGuard(host::Services& services, std::u16string_view folder) : m_system(services.system)
{
    if (folder.empty()) return;  // no folder of the add-in's: the directory stays
    constexpr std::size_t kMaxPath = 260;
    std::u16string previous;
    const bool kept = m_system.CurrentDir(kMaxPath, previous);
    if (kept && previous == folder) return;
    if (m_system.SetCurrentDir(folder) && kept) m_previous = std::move(previous);
}

CCurrentDirGuard::CCurrentDirGuard(host::Services& services)
    : CCurrentDirGuard(services, [&] {
          std::u16string folder = FolderWithBackslash(AddinPath(services.libraries));
          if (!folder.empty()) folder.pop_back();
          return folder;
      }())
{
}

CCurrentDirGuard::~CCurrentDirGuard()
{
    if (!m_previous.empty()) m_system.SetCurrentDir(m_previous);
}

// ---- the modules ----

host::LibraryHandle LoadLangModule_(host::Services& services, bool isText)
{
    try {
        host::Libraries& libraries = services.libraries;
        const std::u16string addinPath = AddinPath(libraries);
        if (addinPath.empty()) return nullptr;  // neither folder nor file name to go by
        const std::u16string base = BaseName(addinPath);
        const std::u16string addinFolder = FolderWithBackslash(addinPath);
        const std::u16string language = LanguageCode(services.registry);
        const std::u16string& choice = isText ? language : Layout(services.registry);

        if (host::LibraryHandle module = libraries.Load(ModulePath(addinFolder, isText, choice, base), false, nullptr))
            return module;

        // An add-in in a "...\zarevora32\" folder has its modules below the
        // same name in the product's folder.
        std::u16string productFolder = ProductString(libraries, kStringProductFolder);
        if (EndsWithZarevora32(addinFolder)) productFolder += u"zarevora32\\";
        const std::u16string path =
            ModulePath(productFolder, isText, isText ? language : Layout(services.registry), base);
        host::LibraryHandle module = libraries.Load(path, false, nullptr);
        if (module) TraceBare(path);
        return module;
    } catch (...) {
        return nullptr;  // no module: texts are empty, pictures the add-in's own
    }
}

void CLangModules::Load(host::Services& services)
{
    ui = LoadLangModule_(services, false);
    text = LoadLangModule_(services, true);
    if (!text) text = ui;
}

void LoadUiStringModules(host::Services& services)
{
    const CCurrentDirGuard guard(services);
    g_langModules.Load(services);
}

void UnloadUiStringModules(host::Libraries& libraries) noexcept
{
    if (g_langModules.text && g_langModules.text != g_langModules.ui) libraries.Free(g_langModules.text);
    if (g_langModules.ui) libraries.Free(g_langModules.ui);
    g_langModules = CLangModules{};
}

// ---- lookups ----

std::u16string LoadUiString_(host::Services& services, std::uint32_t number)
{
    try {
        const CCurrentDirGuard guard(services);
        host::Libraries& libraries = services.libraries;
        const host::LibraryHandle module = g_langModules.text ? g_langModules.text : libraries.Self();
        std::vector<std::uint8_t> block;
        std::u16string text;
        if (module && SUCCEEDED(libraries.Resource(module, host::ResourceType::StringTable, StringBlockId(number), block)))
            text = StringFromBlock(block, number).value_or(u"");
        ReplaceProductName(libraries, text);
        return text;
    } catch (...) {
        return {};
    }
}

host::LibraryHandle GetUiModule_(host::Services& services)
{
    try {
        const CCurrentDirGuard guard(services);
        return g_langModules.ui ? g_langModules.ui : services.libraries.Self();
    } catch (...) {
        return g_langModules.ui;
    }
}

HRESULT LoadUiPicture_(host::Services& services, host::ResourceType type, std::uint32_t id,
                       std::vector<std::uint8_t>& out)
{
    out.clear();
    try {
        const CCurrentDirGuard guard(services);
        const host::LibraryHandle module = GetUiModule_(services);
        if (!module) return host::kHrResourceNameNotFound;
        return services.libraries.Resource(module, type, id, out);
    } catch (...) {
        out.clear();
        return E_FAIL;
    }
}

}  // namespace qev
