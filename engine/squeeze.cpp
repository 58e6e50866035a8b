#include "engine/squeeze.h"

#include "engine/cpu_features.h"
#include "engine/simd_x86.h"
#include "engine/text_rules.h"

namespace lintavel {

std::size_t SqueezeDroppedPlain(const char* in, std::size_t size, char* out) {
  char* next = out;
  for (std::size_t i = 0; i < size; ++i) {
    *next = in[i];
    next += ClassOf(in[i]) != ByteClass::kDropped ? 1 : 0;
  }
  return static_cast<std::size_t>(next - out);
}

std::vector<SqueezeFunction> SqueezeForms() {
  std::vector<SqueezeFunction> forms = {SqueezeDroppedPlain};
#if defined(LINTAVEL_SIMD_X86)
  if (ThisCpu().avx2_bmi2) forms.push_back(x86::SqueezeDroppedAvx2);
  if (ThisCpu().avx512vbmi2) forms.push_back(x86::SqueezeDroppedAvx512);
#endif
  return forms;
}

std::size_t SqueezeDropped(const char* in, std::size_t size, char* out) {
  // The fastest form, the last one.
  static const SqueezeFunction squeeze = SqueezeForms().back();
  return squeeze(in, size, out);
}

}  // namespace lintavel
