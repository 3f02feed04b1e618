// Which vector instructions the processor running the add-in has: the build
// targets every 64-bit processor (SSE2), and the paths through whole
// messages take wider ones where they are there.
#pragma once

namespace qev {

#if defined(__x86_64__)
// Asked of the processor once; true only where the system also saves the
// wide registers.
inline bool HasAvx2() noexcept
{
    static const bool avx2 = __builtin_cpu_supports("avx2") != 0;
    return avx2;
}
#endif

}  // namespace qev
