#include "sim/win/soak/process_counts.h"

#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <vector>

namespace qev::sim::win {
namespace {

// An entry of Wine's GDI handle table (its ntgdi.h, GDI_HANDLE_ENTRY): 24
// bytes, Type 0 when the entry is free.
struct GdiHandleEntry {
    UINT64 object;
    ULONG owner;
    USHORT unique;
    UCHAR type;
    UCHAR flags;
    UINT64 userPointer;
};
static_assert(sizeof(GdiHandleEntry) == 24);
constexpr std::size_t kGdiHandleCount = 0x10000;
// PEB::GdiSharedHandleTable in a 64-bit process.
constexpr std::size_t kGdiTableOffset = 0xF8;

std::int64_t LiveGdiEntries()
{
    PROCESS_BASIC_INFORMATION basic = {};
    if (NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0)
        return -1;
    const auto* peb = reinterpret_cast<const char*>(basic.PebBaseAddress);
    const auto* table = *reinterpret_cast<const GdiHandleEntry* const*>(peb + kGdiTableOffset);
    if (!table) return -1;
    std::int64_t live = 0;
    for (std::size_t i = 0; i < kGdiHandleCount; ++i) live += table[i].type != 0;
    return live;
}

// SystemExtendedHandleInformation (64) and its entries.
constexpr auto kSystemExtendedHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(64);
constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);
struct HandleEntry {
    PVOID object;
    ULONG_PTR processId;
    ULONG_PTR handle;
    ULONG access;
    USHORT creatorBackTrace;
    USHORT typeIndex;
    ULONG attributes;
    ULONG reserved;
};
struct HandleList {
    ULONG_PTR count;
    ULONG_PTR reserved;
    HandleEntry entries[1];
};

std::int64_t ListedHandles()
{
    std::vector<unsigned char> buffer(1 << 20);
    for (int tries = 0; tries < 8; ++tries) {
        ULONG needed = 0;
        const NTSTATUS status = NtQuerySystemInformation(kSystemExtendedHandleInformation, buffer.data(),
                                                         static_cast<ULONG>(buffer.size()), &needed);
        if (status == kInfoLengthMismatch) {
            buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed + 4096));
            continue;
        }
        if (status != 0) return -1;
        const auto* list = reinterpret_cast<const HandleList*>(buffer.data());
        const ULONG_PTR self = GetCurrentProcessId();
        std::int64_t mine = 0;
        for (ULONG_PTR i = 0; i < list->count; ++i) mine += list->entries[i].processId == self;
        return mine;
    }
    return -1;
}

}  // namespace

ProcessCounts CountProcessObjects()
{
    ProcessCounts counts;
    const HANDLE self = GetCurrentProcess();
    if (const DWORD gdi = GetGuiResources(self, GR_GDIOBJECTS); gdi != 0) {
        counts.gdiObjects = gdi;
        counts.gdiSource = "GetGuiResources";
    } else {
        counts.gdiObjects = LiveGdiEntries();
        counts.gdiSource = "the GDI handle table's live entries";
    }
    if (const DWORD user = GetGuiResources(self, GR_USEROBJECTS); user != 0) counts.userObjects = user;
    DWORD handles = 0;
    if (GetProcessHandleCount(self, &handles) && handles != 0) {
        counts.handles = handles;
        counts.handleSource = "GetProcessHandleCount";
    } else {
        counts.handles = ListedHandles();
        counts.handleSource = "the system's handle list";
    }
    return counts;
}

}  // namespace qev::sim::win
