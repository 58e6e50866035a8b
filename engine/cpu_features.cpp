#include "engine/cpu_features.h"

#if defined(__x86_64__) && defined(__GNUC__) && __has_include(<sys/platform/x86.h>)
// The header spells its return type as C's _Bool, which clang refuses in C++.
#define _Bool bool
#include <sys/platform/x86.h>
#undef _Bool
#define LINTAVEL_ASK_LIBC 1
#endif

namespace lintavel {

// The C library has probed the processor already, so asking it costs nothing; the
// compiler's own probe links a constructor that runs CPUID at every start (tens of
// microseconds each under a hypervisor), so it is only the fallback.
const CpuFeatures& ThisCpu() {
  static const CpuFeatures features = [] {
    CpuFeatures found;
#if defined(LINTAVEL_ASK_LIBC)
    found.avx2 = CPU_FEATURE_ACTIVE(AVX2);
    found.avx2_bmi2 = found.avx2 && CPU_FEATURE_ACTIVE(BMI2) && CPU_FEATURE_ACTIVE(POPCNT);
    found.avx512bw = CPU_FEATURE_ACTIVE(AVX512BW);
    found.avx512vbmi2 =
        found.avx512bw && CPU_FEATURE_ACTIVE(AVX512_VBMI2) && CPU_FEATURE_ACTIVE(POPCNT);
#elif defined(__x86_64__) && defined(__GNUC__)
    found.avx2 = __builtin_cpu_supports("avx2");
    found.avx2_bmi2 =
        found.avx2 && __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
    found.avx512bw = __builtin_cpu_supports("avx512bw");
    found.avx512vbmi2 =
        found.avx512bw && __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("popcnt");
#endif
    return found;
  }();
  return features;
}

}  // namespace lintavel
