#include "host/fake/fake_registry.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "host/fake/fake_text.h"

namespace host::fake {

struct FakeRegistry::Node {
    std::u16string name;
    std::map<std::u16string, std::shared_ptr<Node>, PathLess> keys;
    std::map<std::u16string, RegValue, PathLess> values;
    bool deleted = false;
};

namespace {

using Node = FakeRegistry::Node;

// The components of a key path; false when one is empty (other than after a
// final backslash).
bool Split(std::u16string_view path, std::vector<std::u16string>& parts)
{
    parts.clear();
    if (path.empty()) return true;
    if (path.back() == u'\\') path.remove_suffix(1);
    std::size_t start = 0;
    while (true) {
        const std::size_t end = path.find(u'\\', start);
        const std::u16string_view part = path.substr(start, end == std::u16string_view::npos ? end : end - start);
        if (part.empty()) return false;
        parts.emplace_back(part);
        if (end == std::u16string_view::npos) return true;
        start = end + 1;
    }
}

std::shared_ptr<Node> Walk(const std::shared_ptr<Node>& root, const std::vector<std::u16string>& parts)
{
    std::shared_ptr<Node> node = root;
    for (const std::u16string& part : parts) {
        const auto it = node->keys.find(part);
        if (it == node->keys.end()) return nullptr;
        node = it->second;
    }
    return node;
}

std::shared_ptr<Node> WalkCreating(const std::shared_ptr<Node>& root, const std::vector<std::u16string>& parts)
{
    std::shared_ptr<Node> node = root;
    for (const std::u16string& part : parts) {
        std::shared_ptr<Node>& child = node->keys[part];
        if (!child) {
            child = std::make_shared<Node>();
            child->name = part;
        }
        node = child;
    }
    return node;
}

void MarkDeleted(Node& node)
{
    node.deleted = true;
    for (auto& [name, child] : node.keys) MarkDeleted(*child);
}

const char* ViewName(RegView view) noexcept
{
    return view == RegView::Force64 ? "64" : "default";
}

std::string Hex(const std::vector<std::uint8_t>& bytes)
{
    std::string out;
    char buffer[4];
    for (const std::uint8_t b : bytes) {
        std::snprintf(buffer, sizeof buffer, "%02X", b);
        if (!out.empty()) out.push_back(' ');
        out += buffer;
    }
    return out;
}

std::string Render(const RegValue& value)
{
    std::u16string text;
    std::uint32_t number = 0;
    if (value.type == kRegSz && value.AsText(text)) return "REG_SZ " + Quoted(text);
    if (value.type == kRegExpandSz && value.AsText(text)) return "REG_EXPAND_SZ " + Quoted(text);
    if (value.AsDword(number)) {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "0x%08X", number);
        return std::string("REG_DWORD ") + buffer;
    }
    if (value.type == kRegBinary) return "REG_BINARY [" + Hex(value.data) + "]";
    if (value.type == kRegMultiSz) {
        std::string out = "REG_MULTI_SZ";
        std::u16string item;
        for (std::size_t i = 0; i + 1 < value.data.size(); i += 2) {
            const auto c = static_cast<char16_t>(value.data[i] | (value.data[i + 1] << 8));
            if (c != 0) {
                item.push_back(c);
                continue;
            }
            if (item.empty()) break;
            out += " " + Quoted(item);
            item.clear();
        }
        return out;
    }
    return "type " + std::to_string(value.type) + " [" + Hex(value.data) + "]";
}

}  // namespace

const char* RegRootName(RegRoot root) noexcept
{
    switch (root) {
        case RegRoot::ClassesRoot:
            return "HKCR";
        case RegRoot::CurrentUser:
            return "HKCU";
        case RegRoot::LocalMachine:
            return "HKLM";
        case RegRoot::Users:
            return "HKU";
    }
    return "HK?";
}

// ---- an open key ----

class FakeRegistry::Key final : public RegistryKey {
public:
    Key(FakeRegistry& registry, std::shared_ptr<Node> node, std::string path, bool write)
        : m_registry(registry), m_node(std::move(node)), m_path(std::move(path)), m_write(write)
    {
        std::lock_guard lock(m_registry.m_mutex);
        ++m_registry.m_openKeys;
    }
    ~Key() override
    {
        std::lock_guard lock(m_registry.m_mutex);
        --m_registry.m_openKeys;
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    HRESULT QueryValue(std::u16string_view name, RegValue& out) override
    {
        std::lock_guard lock(m_registry.m_mutex);
        m_registry.Record("QueryValue " + m_path + " " + Quoted(name));
        if (const HRESULT hr = m_registry.m_calls.Check("Registry.QueryValue"); FAILED(hr)) return hr;
        if (m_node->deleted) return kHrKeyDeleted;
        const auto it = m_node->values.find(std::u16string(name));
        if (it == m_node->values.end()) return kHrFileNotFound;
        out = it->second;
        return S_OK;
    }

    HRESULT SetValue(std::u16string_view name, const RegValue& value) override
    {
        std::lock_guard lock(m_registry.m_mutex);
        m_registry.Record("SetValue " + m_path + " " + Quoted(name) + " " + Render(value));
        if (const HRESULT hr = m_registry.m_calls.Check("Registry.SetValue"); FAILED(hr)) return hr;
        if (m_node->deleted) return kHrKeyDeleted;
        if (!m_write) return kHrAccessDenied;
        const std::u16string key(name);
        const auto it = m_node->values.find(key);
        if (it != m_node->values.end())
            it->second = value;  // keeps the name's first spelling
        else
            m_node->values.emplace(key, value);
        return S_OK;
    }

    HRESULT DeleteValue(std::u16string_view name) override
    {
        std::lock_guard lock(m_registry.m_mutex);
        m_registry.Record("DeleteValue " + m_path + " " + Quoted(name));
        if (const HRESULT hr = m_registry.m_calls.Check("Registry.DeleteValue"); FAILED(hr)) return hr;
        if (m_node->deleted) return kHrKeyDeleted;
        if (!m_write) return kHrAccessDenied;
        return m_node->values.erase(std::u16string(name)) ? S_OK : kHrFileNotFound;
    }

    HRESULT SubKeyNames(std::vector<std::u16string>& out) override
    {
        std::lock_guard lock(m_registry.m_mutex);
        m_registry.Record("SubKeyNames " + m_path);
        if (const HRESULT hr = m_registry.m_calls.Check("Registry.SubKeyNames"); FAILED(hr)) return hr;
        if (m_node->deleted) return kHrKeyDeleted;
        out.clear();
        for (const auto& [name, child] : m_node->keys) out.push_back(child->name);
        return S_OK;
    }

    HRESULT ValueNames(std::vector<std::u16string>& out) override
    {
        std::lock_guard lock(m_registry.m_mutex);
        m_registry.Record("ValueNames " + m_path);
        if (const HRESULT hr = m_registry.m_calls.Check("Registry.ValueNames"); FAILED(hr)) return hr;
        if (m_node->deleted) return kHrKeyDeleted;
        out.clear();
        for (const auto& [name, value] : m_node->values) out.push_back(name);
        return S_OK;
    }

private:
    FakeRegistry& m_registry;
    std::shared_ptr<Node> m_node;
    std::string m_path;
    bool m_write;
};

// ---- the registry ----

FakeRegistry::FakeRegistry(HostCalls& calls) : m_calls(calls) {}

FakeRegistry::~FakeRegistry() = default;

std::shared_ptr<Node> FakeRegistry::Root(RegRoot root) const
{
    std::lock_guard lock(m_mutex);
    auto& node = m_roots[static_cast<int>(root)];
    if (!node) node = std::make_shared<Node>();
    return node;
}

void FakeRegistry::Record(std::string line)
{
    std::lock_guard lock(m_mutex);
    m_requests.push_back(std::move(line));
}

namespace {

std::string KeyPath(RegRoot root, std::u16string_view path)
{
    std::string out = RegRootName(root);
    if (!path.empty()) out += "\\" + Utf8(path);
    return out;
}

}  // namespace

HRESULT FakeRegistry::OpenKey(RegRoot root, std::u16string_view path, bool write, RegView view,
                              std::unique_ptr<RegistryKey>& out)
{
    std::lock_guard lock(m_mutex);
    out.reset();
    const std::string where = KeyPath(root, path);
    Record("OpenKey " + where + (write ? " write " : " read ") + ViewName(view));
    if (const HRESULT hr = m_calls.Check("Registry.OpenKey"); FAILED(hr)) return hr;
    std::vector<std::u16string> parts;
    if (!Split(path, parts)) return kHrFileNotFound;
    std::shared_ptr<Node> node = Walk(Root(root), parts);
    if (!node) return kHrFileNotFound;
    out = std::make_unique<Key>(*this, std::move(node), where, write);
    return S_OK;
}

HRESULT FakeRegistry::CreateKey(RegRoot root, std::u16string_view path, RegView view, std::unique_ptr<RegistryKey>& out)
{
    std::lock_guard lock(m_mutex);
    out.reset();
    const std::string where = KeyPath(root, path);
    Record("CreateKey " + where + " " + ViewName(view));
    if (const HRESULT hr = m_calls.Check("Registry.CreateKey"); FAILED(hr)) return hr;
    std::vector<std::u16string> parts;
    if (!Split(path, parts)) return kHrFileNotFound;
    out = std::make_unique<Key>(*this, WalkCreating(Root(root), parts), where, true);
    return S_OK;
}

HRESULT FakeRegistry::DeleteTree(RegRoot root, std::u16string_view path, RegView view)
{
    std::lock_guard lock(m_mutex);
    Record("DeleteTree " + KeyPath(root, path) + " " + ViewName(view));
    if (const HRESULT hr = m_calls.Check("Registry.DeleteTree"); FAILED(hr)) return hr;
    std::vector<std::u16string> parts;
    if (!Split(path, parts)) return kHrFileNotFound;
    const std::shared_ptr<Node> top = Root(root);
    if (parts.empty()) {
        // The root itself stays; what lies in it goes.
        for (auto& [name, child] : top->keys) MarkDeleted(*child);
        top->keys.clear();
        top->values.clear();
        return S_OK;
    }
    const std::u16string last = parts.back();
    parts.pop_back();
    const std::shared_ptr<Node> parent = Walk(top, parts);
    if (!parent) return kHrFileNotFound;
    const auto it = parent->keys.find(last);
    if (it == parent->keys.end()) return kHrFileNotFound;
    MarkDeleted(*it->second);
    parent->keys.erase(it);
    return S_OK;
}

void FakeRegistry::Put(RegRoot root, std::u16string_view path, std::u16string_view name, const RegValue& value)
{
    std::lock_guard lock(m_mutex);
    std::vector<std::u16string> parts;
    Split(path, parts);
    const std::shared_ptr<Node> node = WalkCreating(Root(root), parts);
    const std::u16string key(name);
    const auto it = node->values.find(key);
    if (it != node->values.end())
        it->second = value;
    else
        node->values.emplace(key, value);
}

std::optional<RegValue> FakeRegistry::Get(RegRoot root, std::u16string_view path, std::u16string_view name) const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::u16string> parts;
    if (!Split(path, parts)) return std::nullopt;
    const std::shared_ptr<Node> node = Walk(Root(root), parts);
    if (!node) return std::nullopt;
    const auto it = node->values.find(std::u16string(name));
    if (it == node->values.end()) return std::nullopt;
    return it->second;
}

void FakeRegistry::Remove(RegRoot root, std::u16string_view path, std::optional<std::u16string_view> name)
{
    std::lock_guard lock(m_mutex);
    std::vector<std::u16string> parts;
    if (!Split(path, parts)) return;
    if (name) {
        if (const std::shared_ptr<Node> node = Walk(Root(root), parts)) node->values.erase(std::u16string(*name));
        return;
    }
    if (parts.empty()) return;
    const std::u16string last = parts.back();
    parts.pop_back();
    if (const std::shared_ptr<Node> parent = Walk(Root(root), parts)) {
        const auto it = parent->keys.find(last);
        if (it == parent->keys.end()) return;
        MarkDeleted(*it->second);
        parent->keys.erase(it);
    }
}

bool FakeRegistry::KeyExists(RegRoot root, std::u16string_view path) const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::u16string> parts;
    return Split(path, parts) && Walk(Root(root), parts) != nullptr;
}

std::string FakeRegistry::Dump() const
{
    std::lock_guard lock(m_mutex);
    // Roots in the order of their names, keys depth first in name order.
    std::vector<std::pair<std::string, std::shared_ptr<Node>>> roots;
    for (const auto& [id, node] : m_roots) roots.emplace_back(RegRootName(static_cast<RegRoot>(id)), node);
    std::sort(roots.begin(), roots.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string out;
    const std::function<void(const std::string&, const Node&, bool)> visit = [&](const std::string& path,
                                                                                 const Node& node, bool isRoot) {
        if (!isRoot || !node.values.empty()) {
            out += path + "\n";
            for (const auto& [name, value] : node.values)
                out += "  " + (name.empty() ? std::string("(default)") : Utf8(name)) + " = " + Render(value) + "\n";
        }
        for (const auto& [name, child] : node.keys) visit(path + "\\" + Utf8(child->name), *child, false);
    };
    for (const auto& [name, node] : roots) visit(name, *node, true);
    return out;
}

std::vector<std::string> FakeRegistry::Requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void FakeRegistry::ClearRequests()
{
    std::lock_guard lock(m_mutex);
    m_requests.clear();
}

std::size_t FakeRegistry::OpenKeys() const
{
    std::lock_guard lock(m_mutex);
    return m_openKeys;
}

}  // namespace host::fake
