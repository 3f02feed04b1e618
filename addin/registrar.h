// The add-in's registration script engine: runs a script in the registrar's
// syntax (the REGISTRY resource of qev.dll) against host::Registry, to
// register or to unregister.
//
//   HKCR
//   {
//       NoRemove CLSID
//       {
//           ForceRemove {GUID} = s 'Connect Class'
//           {
//               InprocServer32 = s '%MODULE%'
//               {
//                   val ThreadingModel = s 'Apartment'
//               }
//           }
//       }
//   }
//
// Roots: HKCR / HKEY_CLASSES_ROOT, HKCU / HKEY_CURRENT_USER, HKLM /
// HKEY_LOCAL_MACHINE. A key is a name (bare, or quoted with ' where '' stands
// for one quote), optionally "= TYPE DATA" for its default value, optionally a
// block of subkeys and "val NAME = TYPE DATA" named values. Types: s (REG_SZ),
// e (REG_EXPAND_SZ), d (REG_DWORD, decimal or 0x hex), b (REG_BINARY, hex
// digits). Tokens are separated by white space; keywords compare without case.
// %NAME% is replaced inside any token by the value given with AddReplacement,
// %% by one %.
//
// Registering creates every key and writes its values. A key marked
// ForceRemove is deleted with everything under it first; a key marked Delete is
// deleted and nothing more.
// Unregistering removes what the script wrote:
//   - ForceRemove keys go whole;
//   - NoRemove keys stay; the script's keys under them are unregistered and
//     their "val" values deleted;
//   - other keys are unregistered below, then deleted when no subkey is left
//     in them (a subkey that someone else put there keeps the key; only the
//     script's own values are then taken out of it);
//   - Delete keys are left alone.
// Keys that do not exist are passed over.
//
// The whole script is read, and checked against the mappings, before the
// registry is touched: a malformed script changes nothing.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/hresult.h"
#include "host/registry.h"

namespace qev {

// One area of the registry moved elsewhere: the key (root, path) and every key
// under it are written at (toRoot, toPath) instead. An empty path is the whole root.
struct RegistryMapping {
    host::RegRoot root;
    std::u16string path;
    host::RegRoot toRoot;
    std::u16string toPath;
};

// The areas a registration for the current user only is moved to: the classes
// root to HKCU\Software\Classes, the machine's Outlook add-in list to the
// user's.
std::vector<RegistryMapping> PerUserMappings();

// The result of a script that fails to read.
inline constexpr HRESULT kHrScriptSyntax = DISP_E_EXCEPTION;
// A mapped run reaches outside the mapped areas.
inline constexpr HRESULT kHrOutsideMapping = E_ACCESSDENIED;

class Registrar {
public:
    explicit Registrar(host::Registry& registry, host::RegView view = host::RegView::Default);

    // %name% in the script stands for value (name compared without case).
    void AddReplacement(std::u16string name, std::u16string value);

    // With mappings, every key the script names must lie in a mapped area or
    // be one of the parents of one; parents are passed through untouched (they
    // may not carry values, ForceRemove or Delete).
    void SetMappings(std::vector<RegistryMapping> mappings);

    // S_OK, kHrScriptSyntax, kHrOutsideMapping or the registry's error.
    // Registering stops at the first failure; unregistering goes on and
    // answers the first failure.
    HRESULT Register(std::u16string_view script) noexcept;
    HRESULT Unregister(std::u16string_view script) noexcept;

    // What went wrong in the last run, for the trace ("line 7: '}' expected").
    const std::u16string& LastError() const noexcept { return m_lastError; }

    struct Key;
    struct Root;

private:
    HRESULT Run(std::u16string_view script, bool registering) noexcept;

    host::Registry& m_registry;
    host::RegView m_view;
    std::vector<std::pair<std::u16string, std::u16string>> m_replacements;
    std::vector<RegistryMapping> m_mappings;
    std::u16string m_lastError;
};

// The text of a REGISTRY resource: UTF-16LE after its byte order mark, else
// UTF-8 (with or without its mark). False when the bytes are not valid text.
bool DecodeScript(std::span<const std::uint8_t> bytes, std::u16string& out);

}  // namespace qev
