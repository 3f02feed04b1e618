// Extended MAPI as the add-in uses it: single properties, property streams,
// message stores, folders and the session's table of stores. On Windows these
// wrap the provider's interfaces (mapi32's HrGetOneProp, HrQueryAllRows, ...);
// in the native build they are the in-memory profile's.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/hresult.h"
#include "host/object.h"

namespace host {

// Property types (the low 16 bits of a tag).
inline constexpr std::uint32_t kPtString8 = 0x001E;
inline constexpr std::uint32_t kPtUnicode = 0x001F;
inline constexpr std::uint32_t kPtBinary = 0x0102;
constexpr std::uint32_t PropType(std::uint32_t tag) noexcept
{
    return tag & 0xFFFFu;
}

// One property value as HrGetOneProp returns it. The text or bytes stay in
// the buffer the provider put them in, which the value holds on to (MAPI's
// allocation on Windows, the stored property in memory): reading a body of
// 100 MB copies nothing, and copies of a value share that buffer.
struct PropValue {
    std::uint32_t tag = 0;  // the value's own tag: its type may differ from the one asked for
    // False when the provider returned the value with a null string or byte
    // pointer (the value then holds nothing).
    bool pointerSet = true;
    std::u16string_view unicode;           // kPtUnicode, up to its terminator
    std::string_view string8;              // kPtString8, up to its terminator
    std::span<const std::uint8_t> binary;  // kPtBinary
    std::shared_ptr<const void> buffer;    // keeps the three views valid

    // Values that own their text or bytes. A text ends at its first NUL, as
    // a string of MAPI's does.
    static PropValue Unicode(std::uint32_t tag, std::u16string text);
    static PropValue String8(std::uint32_t tag, std::string text);
    static PropValue Binary(std::uint32_t tag, std::vector<std::uint8_t> bytes);
};

// IMAPIProp.
class MapiProp : public Object {
public:
    static constexpr Iface kIface = Iface::MapiProp;

    // HrGetOneProp: S_OK with the value in out, or the failure (out empty).
    virtual HRESULT GetOneProp(std::uint32_t tag, std::optional<PropValue>& out) = 0;
    // OpenProperty(tag, IID_IStream, 0, 0): an object to ask for its Stream, or the failure.
    virtual HRESULT OpenProperty(std::uint32_t tag, Ref<Object>& out) = 0;

protected:
    ~MapiProp() = default;
};

// IMsgStore.
class MsgStore : public MapiProp {
public:
    static constexpr Iface kIface = Iface::MsgStore;

    // OpenEntry(entry id, no interface id, flags): the opened object, or the failure.
    virtual HRESULT OpenEntry(std::span<const std::uint8_t> entryId, std::uint32_t flags, Ref<Object>& out) = 0;
    // GetReceiveFolder(message class, flags): the receive folder's entry id.
    virtual HRESULT GetReceiveFolder(std::u16string_view messageClass, std::uint32_t flags,
                                     std::vector<std::uint8_t>& entryId) = 0;

protected:
    ~MsgStore() = default;
};

// IMAPIFolder.
class MapiFolder : public MapiProp {
public:
    static constexpr Iface kIface = Iface::MapiFolder;

    // CreateFolder(type, name, no comment, no interface id, flags).
    virtual HRESULT CreateFolder(std::uint32_t folderType, std::u16string_view name, std::uint32_t flags,
                                 Ref<Object>& out) = 0;

protected:
    ~MapiFolder() = default;
};

// IMAPISession.
class MapiSession : public Object {
public:
    static constexpr Iface kIface = Iface::MapiSession;

    // GetMsgStoresTable(flags) read whole (HrQueryAllRows) with the one column
    // PR_ENTRYID: that column of every row, in the table's order.
    virtual HRESULT StoreEntryIds(std::uint32_t flags, std::vector<PropValue>& rows) = 0;
    // OpenMsgStore(no window, entry id, no interface id, flags).
    virtual HRESULT OpenMsgStore(std::span<const std::uint8_t> entryId, std::uint32_t flags, Ref<Object>& out) = 0;
    // PR_PROFILE_NAME_W (0x3D12001F) of the profile's global section, through
    // AdminServices(0) and OpenProfileSection: S_OK with the value, or the failure.
    virtual HRESULT ProfileName(std::optional<PropValue>& out) = 0;

protected:
    ~MapiSession() = default;
};

}  // namespace host
