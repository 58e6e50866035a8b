#include "engine/sentence_ends.h"

#include <cstring>

#include "engine/byte_scan.h"
#include "engine/cpu_features.h"
#include "engine/simd_x86.h"
#include "engine/squeeze.h"

namespace lintavel {

namespace {

// Scans the text for its sentence ends from the masks of byte_scan.h, then copies
// it with `squeeze`.
std::size_t ScanThenSqueeze(SqueezeFunction squeeze, const char* in, std::size_t size, char* out,
                            std::vector<std::size_t>& ends) {
  SentenceEndScan scan(ends);
  std::size_t dropped_before = 0;  // dropped bytes before the current 64
  char tail[64];
  for (std::size_t base = 0; base < size; base += 64) {
    const char* p = in + base;
    if (size - base < 64) {
      // The end of the text ends its last token: blanks after it.
      std::memset(tail, ' ', sizeof tail);
      std::memcpy(tail, p, size - base);
      p = tail;
    }
    const std::uint64_t dropped = DroppedMask(p);
    scan.Add(
        p, SentenceMarkMask(p), [p] { return SeparatorMask(p); }, ~dropped, base - dropped_before);
    // Counted only where bytes were dropped: the baseline processor has no popcount
    // instruction, and a call for every 64 bytes showed in the profile.
    if (dropped != 0) dropped_before += static_cast<std::size_t>(std::popcount(dropped));
  }
  scan.Finish(size - dropped_before);
  return squeeze(in, size, out);
}

}  // namespace

std::size_t SqueezeFindingSentenceEndsPlain(const char* in, std::size_t size, char* out,
                                            std::vector<std::size_t>& ends) {
  return ScanThenSqueeze(SqueezeDroppedPlain, in, size, out, ends);
}

std::vector<SqueezeFindingFunction> SqueezeFindingSentenceEndsForms() {
  std::vector<SqueezeFindingFunction> forms = {SqueezeFindingSentenceEndsPlain};
#if defined(LINTAVEL_SIMD_X86)
  if (ThisCpu().avx512vbmi2) forms.push_back(x86::SqueezeFindingSentenceEndsAvx512);
#endif
  return forms;
}

std::size_t SqueezeFindingSentenceEnds(const char* in, std::size_t size, char* out,
                                       std::vector<std::size_t>& ends) {
  // In one pass where the processor copies 64 bytes at once; else the scan, then the
  // fastest copy.
  static const SqueezeFindingFunction fastest = SqueezeFindingSentenceEndsForms().back();
  if (fastest != SqueezeFindingSentenceEndsPlain) return fastest(in, size, out, ends);
  return ScanThenSqueeze(SqueezeDropped, in, size, out, ends);
}

}  // namespace lintavel
