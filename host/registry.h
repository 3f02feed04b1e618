// The Windows registry as the add-in uses it: reading its switches, the
// crash handler's location, and writing its own registration.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/hresult.h"

namespace host {

enum class RegRoot {
    ClassesRoot,
    CurrentUser,
    LocalMachine,
    // HKEY_USERS: the language and layout switches live under its .DEFAULT profile.
    Users,
};

// Which view of the registry a 64-bit process asks for (KEY_WOW64_64KEY).
enum class RegView { Default, Force64 };

inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

// The system errors the registry answers with, as HRESULTs (HRESULT_FROM_WIN32).
inline constexpr HRESULT kHrFileNotFound = static_cast<HRESULT>(0x80070002u);
inline constexpr HRESULT kHrAccessDenied = static_cast<HRESULT>(0x80070005u);

struct RegValue {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;

    static RegValue Text(std::u16string_view text);  // REG_SZ, with its terminating zero
    static RegValue Dword(std::uint32_t value);
    // REG_SZ / REG_EXPAND_SZ data as text, cut at the first zero; nothing for other types.
    bool AsText(std::u16string& out) const;
    bool AsDword(std::uint32_t& out) const;
};

// An open key; closed when destroyed.
class RegistryKey {
public:
    virtual ~RegistryKey() = default;

    // Errors are kHrFileNotFound for a missing value, or the system's error.
    virtual HRESULT QueryValue(std::u16string_view name, RegValue& out) = 0;
    virtual HRESULT SetValue(std::u16string_view name, const RegValue& value) = 0;
    virtual HRESULT DeleteValue(std::u16string_view name) = 0;
    virtual HRESULT SubKeyNames(std::vector<std::u16string>& out) = 0;
    virtual HRESULT ValueNames(std::vector<std::u16string>& out) = 0;
};

class Registry {
public:
    // path is relative to root, components separated by '\'. An empty path opens the root.
    virtual HRESULT OpenKey(RegRoot root, std::u16string_view path, bool write, RegView view,
                            std::unique_ptr<RegistryKey>& out) = 0;
    // Opens the key, creating it and its missing parents.
    virtual HRESULT CreateKey(RegRoot root, std::u16string_view path, RegView view,
                              std::unique_ptr<RegistryKey>& out) = 0;
    // Deletes the key with everything under it; kHrFileNotFound when it does not exist.
    virtual HRESULT DeleteTree(RegRoot root, std::u16string_view path, RegView view) = 0;

protected:
    ~Registry() = default;
};

}  // namespace host
