#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace lintavel {

// Finds where the sentences of a text end while the text is copied without its
// dropped bytes (SqueezeDropped): the places in the copy of the separator after
// each token whose last byte but tabs is '.', '!' or '?', and of the copy's end
// when the last token is one. The text is taken 64 bytes at a time from their
// masks; marks are few, so the bytes are looked at one by one only around them.
class SentenceEndScan {
 public:
  // Gives the ends in `ends`, emptied first.
  explicit SentenceEndScan(std::vector<std::size_t>& ends) : ends_(ends) { ends_.clear(); }

  // Takes the next 64 bytes at `p`, whose '.', '!' and '?' are `marked` and whose
  // kept bytes `kept`, and whose copy begins at `copied`; separators_of() gives
  // their mask of separators, asked for only where a sentence may end.
  template <class SeparatorsOf>
  void Add(const char* p, std::uint64_t marked, const SeparatorsOf& separators_of,
           std::uint64_t kept, std::size_t copied) {
    if ((marked | carry_) == 0) return;
    const std::uint64_t separators = separators_of();
    // Tabs after a mark keep it the token's last byte but tabs.
    std::uint64_t after = ((marked << 1) | carry_) & ~separators & ~marked;
    while (after != 0) {
      const int i = std::countr_zero(after);
      after &= after - 1;
      if (p[i] != '\t') continue;
      marked |= std::uint64_t{1} << i;
      if (i < 63) after |= (std::uint64_t{1} << (i + 1)) & ~separators & ~marked;
    }
    for (std::uint64_t at = separators & ((marked << 1) | carry_); at != 0; at &= at - 1) {
      const int i = std::countr_zero(at);
      const std::uint64_t kept_before = kept & ((std::uint64_t{1} << i) - 1);
      ends_.push_back(copied + static_cast<std::size_t>(std::popcount(kept_before)));
    }
    carry_ = marked >> 63;
  }

  // Ends the text, whose copy holds `copied` bytes.
  void Finish(std::size_t copied) {
    if (carry_ != 0) ends_.push_back(copied);
  }

 private:
  std::vector<std::size_t>& ends_;
  std::uint64_t carry_ = 0;  // the byte before the next 64 ends a marked token so far
};

// SqueezeDropped that also gives the sentence ends of the text, in order, in `ends`.
std::size_t SqueezeFindingSentenceEnds(const char* in, std::size_t size, char* out,
                                       std::vector<std::size_t>& ends);

// The same from the plain scans, for the checks of the fast form.
std::size_t SqueezeFindingSentenceEndsPlain(const char* in, std::size_t size, char* out,
                                            std::vector<std::size_t>& ends);

// Every form that this processor can run, the plain one first, so that the tests
// hold each of them to the plain one.
using SqueezeFindingFunction = std::size_t (*)(const char* in, std::size_t size, char* out,
                                               std::vector<std::size_t>& ends);
std::vector<SqueezeFindingFunction> SqueezeFindingSentenceEndsForms();

}  // namespace lintavel
