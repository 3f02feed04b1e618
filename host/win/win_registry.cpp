#include "host/win/win_registry.h"

#include <windows.h>

#include <new>
#include <utility>

namespace host::win {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 text crosses the API boundary as it is");

HRESULT FromWin32(LONG error) noexcept
{
    return HRESULT_FROM_WIN32(static_cast<unsigned long>(error));
}

HKEY RootKey(RegRoot root) noexcept
{
    switch (root) {
        case RegRoot::ClassesRoot:
            return HKEY_CLASSES_ROOT;
        case RegRoot::CurrentUser:
            return HKEY_CURRENT_USER;
        case RegRoot::LocalMachine:
            return HKEY_LOCAL_MACHINE;
        case RegRoot::Users:
            return HKEY_USERS;
    }
    return nullptr;
}

REGSAM ViewFlag(RegView view) noexcept
{
    return view == RegView::Force64 ? KEY_WOW64_64KEY : 0;
}

// Registry names are zero-terminated; the seam's views are not.
const wchar_t* Terminated(std::u16string& holder, std::u16string_view text)
{
    holder.assign(text);
    return reinterpret_cast<const wchar_t*>(holder.c_str());
}

class WinKey final : public RegistryKey {
public:
    explicit WinKey(HKEY key) noexcept : m_key(key) {}
    WinKey(const WinKey&) = delete;
    WinKey& operator=(const WinKey&) = delete;
    ~WinKey() override { RegCloseKey(m_key); }

    HRESULT QueryValue(std::u16string_view name, RegValue& out) override
    {
        std::u16string holder;
        const wchar_t* valueName = Terminated(holder, name);
        DWORD type = 0;
        DWORD size = 0;
        LONG error = RegQueryValueExW(m_key, valueName, nullptr, &type, nullptr, &size);
        // The value may grow between the two calls: ask again until it fits.
        std::vector<std::uint8_t> data;
        while (error == ERROR_SUCCESS || error == ERROR_MORE_DATA) {
            data.resize(size);
            DWORD got = size;
            error = RegQueryValueExW(m_key, valueName, nullptr, &type, data.empty() ? nullptr : data.data(), &got);
            if (error == ERROR_SUCCESS) {
                data.resize(got);
                out.type = type;
                out.data = std::move(data);
                return S_OK;
            }
            if (error == ERROR_MORE_DATA) size = got > size ? got : size + 256;
        }
        return FromWin32(error);
    }

    HRESULT SetValue(std::u16string_view name, const RegValue& value) override
    {
        if (value.data.size() > 0xFFFFFFFFu) return E_INVALIDARG;
        std::u16string holder;
        return FromWin32(RegSetValueExW(m_key, Terminated(holder, name), 0, value.type,
                                        value.data.empty() ? nullptr : value.data.data(),
                                        static_cast<DWORD>(value.data.size())));
    }

    HRESULT DeleteValue(std::u16string_view name) override
    {
        std::u16string holder;
        return FromWin32(RegDeleteValueW(m_key, Terminated(holder, name)));
    }

    HRESULT SubKeyNames(std::vector<std::u16string>& out) override
    {
        return Enumerate(out, [this](DWORD index, wchar_t* buffer, DWORD* length) {
            return RegEnumKeyExW(m_key, index, buffer, length, nullptr, nullptr, nullptr, nullptr);
        });
    }

    HRESULT ValueNames(std::vector<std::u16string>& out) override
    {
        return Enumerate(out, [this](DWORD index, wchar_t* buffer, DWORD* length) {
            return RegEnumValueW(m_key, index, buffer, length, nullptr, nullptr, nullptr, nullptr);
        });
    }

private:
    // Names by index until ERROR_NO_MORE_ITEMS; a name longer than the buffer
    // (ERROR_MORE_DATA) is asked for again with a larger one.
    template <class EnumFn>
    HRESULT Enumerate(std::vector<std::u16string>& out, EnumFn enumerate)
    {
        out.clear();
        std::vector<wchar_t> buffer(256);
        for (DWORD index = 0;; ++index) {
            DWORD length = static_cast<DWORD>(buffer.size());
            const LONG error = enumerate(index, buffer.data(), &length);
            if (error == ERROR_NO_MORE_ITEMS) return S_OK;
            if (error == ERROR_MORE_DATA) {
                if (buffer.size() >= 32768) return FromWin32(error);
                buffer.resize(buffer.size() * 4);
                --index;
                continue;
            }
            if (error != ERROR_SUCCESS) return FromWin32(error);
            out.emplace_back(reinterpret_cast<const char16_t*>(buffer.data()), length);
        }
    }

    HKEY m_key;
};

HRESULT Wrap(HKEY key, std::unique_ptr<RegistryKey>& out) noexcept
{
    out.reset(new (std::nothrow) WinKey(key));
    if (out) return S_OK;
    RegCloseKey(key);
    return E_OUTOFMEMORY;
}

}  // namespace

HRESULT WinRegistry::OpenKey(RegRoot root, std::u16string_view path, bool write, RegView view,
                             std::unique_ptr<RegistryKey>& out)
{
    out.reset();
    std::u16string holder;
    HKEY key = nullptr;
    const REGSAM access = KEY_READ | (write ? KEY_WRITE : 0) | ViewFlag(view);
    const LONG error = RegOpenKeyExW(RootKey(root), Terminated(holder, path), 0, access, &key);
    if (error != ERROR_SUCCESS) return FromWin32(error);
    return Wrap(key, out);
}

HRESULT WinRegistry::CreateKey(RegRoot root, std::u16string_view path, RegView view, std::unique_ptr<RegistryKey>& out)
{
    out.reset();
    std::u16string holder;
    HKEY key = nullptr;
    const LONG error = RegCreateKeyExW(RootKey(root), Terminated(holder, path), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       KEY_READ | KEY_WRITE | ViewFlag(view), nullptr, &key, nullptr);
    if (error != ERROR_SUCCESS) return FromWin32(error);
    return Wrap(key, out);
}

HRESULT WinRegistry::DeleteTree(RegRoot root, std::u16string_view path, RegView view)
{
    while (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
    if (path.empty()) return E_INVALIDARG;
    // RegDeleteTreeW takes no view of its own: open the parent in the view
    // asked for and delete the last component below it.
    const std::size_t slash = path.rfind(u'\\');
    const std::u16string_view parentPath =
        slash == std::u16string_view::npos ? std::u16string_view() : path.substr(0, slash);
    const std::u16string_view last = slash == std::u16string_view::npos ? path : path.substr(slash + 1);
    if (last.empty()) return host::kHrFileNotFound;

    std::u16string parentHolder;
    HKEY parent = nullptr;
    LONG error = RegOpenKeyExW(RootKey(root), Terminated(parentHolder, parentPath), 0,
                               KEY_READ | KEY_WRITE | DELETE | ViewFlag(view), &parent);
    if (error != ERROR_SUCCESS) return FromWin32(error);
    std::u16string lastHolder;
    error = RegDeleteTreeW(parent, Terminated(lastHolder, last));
    RegCloseKey(parent);
    return FromWin32(error);
}

}  // namespace host::win
