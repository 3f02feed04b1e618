// The language and layout modules that hold the add-in's UI texts and pictures.
//
// Both are resource-only libraries named after the add-in's module ("qev"):
//   <add-in folder>\lang\<code>\qev.txtui   texts (string tables)
//   <add-in folder>\ui\<ltr|rtl>\qev.ui     pictures (bitmaps 200-206, PNGs 208-214)
// and, when not there, the same below the product's folder. The language code
// ("wslibsite_lang", default en-us) and the layout ("rtl" = 1) are machine-wide
// values under HKEY_USERS\.DEFAULT\Software\ZarUD. The modules are loaded at
// every connection and stay loaded for the life of the process.
//
// What other parts call:
//   LoadUiString_(services, 302)        a text, "<#ProductName#>" filled in; empty when absent
//   GetUiModule_(services)              the module to take pictures from
//   LoadUiPicture_(services, type, id)  a picture's bytes from that module
// All of them run on the host's UI thread (they change the process's current
// directory for their length) and never throw.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/services.h"

namespace qev {

// The process-wide pair. Empty at load; every Load replaces both fields.
struct CLangModules {
    host::LibraryHandle ui = nullptr;    // the layout module (.ui), or none
    host::LibraryHandle text = nullptr;  // the language module (.txtui); the UI module when it did not load

    // Fills both fields: the layout module first, then the language module.
    void Load(host::Services& services);
};

extern CLangModules g_langModules;

inline constexpr char16_t kProductNamePlaceholder[] = u"<#ProductName#>";
inline constexpr char16_t kLanguageKey[] = u".DEFAULT\\Software\\ZarUD";  // under HKEY_USERS
inline constexpr char16_t kLanguageValue[] = u"wslibsite_lang";
inline constexpr char16_t kLayoutValue[] = u"rtl";
inline constexpr char16_t kDefaultLanguage[] = u"en-us";

// Makes a folder current for its lifetime and puts the previous current
// directory back at its end; with no folder given, the add-in's folder (an
// empty folder, as when the add-in's own module is not found, changes nothing). When
// the previous directory cannot be read (or is 260 units or longer) or the
// folder cannot be made current, nothing is put back. A folder that is current
// already is left as it is, with nothing to put back: a guard inside another
// for the same folder costs no change of directory (under Wine each change
// opens the folder through the server).
class CCurrentDirGuard {
public:
    CCurrentDirGuard(host::Services& services, std::u16string_view folder);
    explicit CCurrentDirGuard(host::Services& services);
    ~CCurrentDirGuard();
    CCurrentDirGuard(const CCurrentDirGuard&) = delete;
    CCurrentDirGuard& operator=(const CCurrentDirGuard&) = delete;

private:
    host::System& m_system;
    std::u16string m_previous;  // empty: nothing to put back
};

// Run by every initialisation of the add-in (CConnect::Init_): g_langModules.Load
// under a CCurrentDirGuard.
void LoadUiStringModules(host::Services& services);

// Frees the modules when the add-in's module is unloaded: the text module if
// it is not the UI module, then the UI module.
void UnloadUiStringModules(host::Libraries& libraries) noexcept;

// Finds and loads one module (isText: the language module, else the layout
// module), first beside the add-in, then in the product's folder (whose path
// is then written to the debug channel as a bare line). Null when neither loads,
// and when the add-in's own module is not found (no folder, no file name).
host::LibraryHandle LoadLangModule_(host::Services& services, bool isText);

// Text number (0 to 65535) from the language module, or from the add-in's own
// module when there is none (which holds no texts); empty when absent. Every
// "<#ProductName#>" is replaced by the product's name. While the product
// information cannot be had the placeholder stays as it is: a visible marker
// of a broken installation reads better than texts with a hole in them.
std::u16string LoadUiString_(host::Services& services, std::uint32_t number);

// The layout module, or the add-in's own module when there is none.
host::LibraryHandle GetUiModule_(host::Services& services);

// The bytes of picture id (a command-bar bitmap: ResourceType::Bitmap, the
// resource without its file header; a ribbon picture: ResourceType::Png) from
// GetUiModule_'s module. S_OK, or the loader's error with out empty.
HRESULT LoadUiPicture_(host::Services& services, host::ResourceType type, std::uint32_t id,
                       std::vector<std::uint8_t>& out);

}  // namespace qev
