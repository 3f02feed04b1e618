// The crash handler library's exports (zkch.dll).
#pragma once

#include <cstdint>

namespace qev {

extern "C" {
using EnableCrashHandlerFn = std::int32_t (*)(std::uint32_t, std::uint32_t, std::uint32_t);
using SetSettingsFileFn = std::int32_t (*)(const char16_t* path);
}

inline constexpr char16_t kCrashHandlerLibrary[] = u"zkch.dll";
inline constexpr char16_t kCrashHandlerSettingsFile[] = u"zkch.xml";

}  // namespace qev
