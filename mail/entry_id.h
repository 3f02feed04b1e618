// A MAPI entry identifier the add-in keeps: its own copy of the bytes.
#pragma once

#include <cstdint>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace qev {

class EntryId {
public:
    EntryId() = default;
    // Copies the bytes.
    explicit EntryId(std::span<const std::uint8_t> bytes) : m_bytes(bytes.begin(), bytes.end()) {}
    // Takes over a buffer the provider handed out, without copying it.
    static EntryId Attach(std::vector<std::uint8_t>&& buffer) noexcept
    {
        EntryId id;
        id.m_bytes = std::move(buffer);
        return id;
    }

    // Frees the bytes; the identifier is empty afterwards.
    void Release() noexcept { std::vector<std::uint8_t>().swap(m_bytes); }

    bool Empty() const noexcept { return m_bytes.empty(); }
    std::uint32_t Count() const noexcept { return static_cast<std::uint32_t>(m_bytes.size()); }
    std::span<const std::uint8_t> Bytes() const noexcept { return m_bytes; }

    // Two upper-case hexadecimal digits per byte, as MAPI's HexFromBin writes
    // them: the form Outlook's GetFolderFromID takes. Empty for an empty id.
    std::u16string Hex() const;

    // Same count, same bytes.
    friend bool operator==(const EntryId& a, const EntryId& b) noexcept { return a.m_bytes == b.m_bytes; }

private:
    std::vector<std::uint8_t> m_bytes;
};

// The key order of identifiers: their hexadecimal texts compared character by
// character, a text that is the prefix of another first. Since the digits
// sort as the bytes they stand for, this is the bytes' lexicographic order,
// and no text has to be built to compare.
struct EntryIdLess {
    bool operator()(const EntryId& a, const EntryId& b) const noexcept;
};

using EntryIdSet = std::set<EntryId, EntryIdLess>;

}  // namespace qev
