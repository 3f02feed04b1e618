// Which vector instructions the processor running the add-in has: the build
// targets every 64-bit processor (SSE2), and the paths through whole
// messages take wider ones where they are there.
#pragma once

namespace qev {

#if defined(__x86_64__)
// True only where the system also saves the wide registers. The answer is
// read from what the runtime asked the processor at load, so asking costs a
// load and a test (and no function's static, whose guard a MinGW DLL pays
// for with a thread record it never frees).
inline bool HasAvx2() noexcept
{
    return __builtin_cpu_supports("avx2") != 0;
}
#endif

}  // namespace qev
