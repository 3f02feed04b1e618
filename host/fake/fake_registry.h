// The in-memory registry: a tree of keys with typed values under each root.
// Key and value names compare without regard to ASCII case and keep the case
// they were created with. Both registry views share the one tree; every
// request records which view it asked for.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host/fake/fake_ledger.h"
#include "host/fake/fake_system.h"
#include "host/registry.h"

namespace host::fake {

// The system error of an operation on a key that was deleted while open
// (ERROR_KEY_DELETED).
inline constexpr HRESULT kHrKeyDeleted = static_cast<HRESULT>(0x800703FAu);

// "HKLM", "HKCU", "HKCR", "HKU".
const char* RegRootName(RegRoot root) noexcept;

class FakeRegistry final : public Registry {
public:
    explicit FakeRegistry(HostCalls& calls);
    ~FakeRegistry();

    // Registry. A key opened without write access refuses SetValue and
    // DeleteValue with kHrAccessDenied; a key deleted while open answers
    // kHrKeyDeleted. One trailing backslash is ignored; a path with another
    // empty component (a doubled or leading backslash) is not found.
    HRESULT OpenKey(RegRoot root, std::u16string_view path, bool write, RegView view,
                    std::unique_ptr<RegistryKey>& out) override;
    HRESULT CreateKey(RegRoot root, std::u16string_view path, RegView view, std::unique_ptr<RegistryKey>& out) override;
    HRESULT DeleteTree(RegRoot root, std::u16string_view path, RegView view) override;

    // ---- the world's side (not host calls) ----

    // Creates the key and its parents as needed and sets the value.
    void Put(RegRoot root, std::u16string_view path, std::u16string_view name, const RegValue& value);
    std::optional<RegValue> Get(RegRoot root, std::u16string_view path, std::u16string_view name) const;
    // Removes the value; removes the key with everything under it when name is nothing.
    void Remove(RegRoot root, std::u16string_view path, std::optional<std::u16string_view> name = std::nullopt);
    bool KeyExists(RegRoot root, std::u16string_view path) const;

    // The whole tree as sorted text, one key per line with its values indented
    // under it:
    //   HKLM\SOFTWARE\Marlowcrest\Desktop
    //     AppPath = REG_SZ "C:\..."
    //     Count = REG_DWORD 0x00000007
    std::string Dump() const;

    // Every request of the add-in, in order: "OpenKey HKLM\SOFTWARE\X read 64",
    // "CreateKey HKCR\qev.Connect default", "QueryValue HKLM\SOFTWARE\X \"AppPath\"", ...
    std::vector<std::string> Requests() const;
    void ClearRequests();
    // Keys the add-in has open now.
    std::size_t OpenKeys() const;

    struct Node;

private:
    class Key;
    std::shared_ptr<Node> Root(RegRoot root) const;
    void Record(std::string line);

    HostCalls& m_calls;
    mutable std::recursive_mutex m_mutex;
    mutable std::map<int, std::shared_ptr<Node>> m_roots;  // made on first use
    std::vector<std::string> m_requests;
    std::size_t m_openKeys = 0;
};

}  // namespace host::fake
