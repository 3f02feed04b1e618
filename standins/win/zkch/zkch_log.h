// The crash handler stand-in (zkch.dll) reports what it was told in the text
// file "zkch.log" beside the library, one UTF-8 line a call:
//
//     EnableCrashHandler A B C
//     SetSettingsFile "PATH"
//     crash 0xCODE                 (an unhandled exception reached its filter)
//
// PATH is written as it came, without escapes. It writes nothing to the debug
// channel, which belongs to the add-in's trace.
#pragma once

namespace zkch {

inline constexpr char16_t kLogFileName[] = u"zkch.log";

}  // namespace zkch
