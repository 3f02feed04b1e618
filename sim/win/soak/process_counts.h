// What the process holds of the system's objects, for a soak to watch:
// GDI objects, USER objects and kernel handles.
//
// Windows answers GetGuiResources and GetProcessHandleCount. Wine 8 answers
// 0 to all three (stubs), so where they answer 0 the figures are counted
// another way that Wine does implement:
//   GDI objects: the live entries of the process's GDI handle table, which
//                Wine's win32u shares through the PEB (GdiSharedHandleTable);
//   handles:     the process's entries of the system's handle list
//                (NtQuerySystemInformation, SystemExtendedHandleInformation).
// USER objects have no such second source: -1 when the call answers 0.
#pragma once

#include <cstdint>
#include <string>

namespace qev::sim::win {

struct ProcessCounts {
    std::int64_t gdiObjects = -1;
    std::int64_t userObjects = -1;
    std::int64_t handles = -1;
    // Where each came from, for the soak's report.
    std::string gdiSource;
    std::string handleSource;
};

ProcessCounts CountProcessObjects();

}  // namespace qev::sim::win
