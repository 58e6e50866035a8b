#pragma once

namespace lintavel {

// The vector instruction sets of this processor that the engine's fast paths use.
struct CpuFeatures {
  bool avx2_bmi2 = false;  // AVX2 with BMI2 and POPCNT
  bool avx2 = false;
  bool avx512bw = false;
  bool avx512vbmi2 = false;  // with AVX-512BW and POPCNT: byte compress
};

// What this processor offers, asked once; all false off x86-64.
const CpuFeatures& ThisCpu();

}  // namespace lintavel
