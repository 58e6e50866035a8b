#include "engine/byte_scan.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/sentence_ends.h"
#include "engine/squeeze.h"
#include "engine/text_rules.h"

namespace lintavel {
namespace {

TEST(ByteScan, MasksAgreeWithThePlainFormsForEveryByteAtEveryPlace) {
  for (int value = 0; value < 256; ++value) {
    for (unsigned place = 0; place < 64; ++place) {
      std::string block(64, 'a');
      block[place] = static_cast<char>(value);
      ASSERT_EQ(SeparatorMask(block.data()), SeparatorMaskPlain(block.data())) << value;
      ASSERT_EQ(DroppedMask(block.data()), DroppedMaskPlain(block.data())) << value;
      ASSERT_EQ(SentenceMarkMask(block.data()), SentenceMarkMaskPlain(block.data())) << value;
    }
  }
}

TEST(ByteScan, LineFeedsAndMarkupAgreeWithThePlainFormsOnRandomText) {
  // Few distinct bytes, so that line ends, '<' and '&' are common and runs of them long
  // enough to overflow a byte counter (more than 255 vector steps).
  const char alphabet[] = {'\n', '<', '&', 'a', '\r', '\x80'};
  std::mt19937 random(7);
  for (int round = 0; round < 400; ++round) {
    const bool long_run = round % 50 == 0;
    std::string text(long_run ? 9000 + random() % 100 : random() % 300, long_run ? '\n' : 'a');
    for (char& c : text) {
      if (random() % (long_run ? 1000 : 8) == 0) c = alphabet[random() % std::size(alphabet)];
    }
    const std::size_t size = text.size() - (text.empty() ? 0 : random() % text.size());
    const bool after_cr = round % 2 == 0;
    ASSERT_EQ(CountLineEnds(text.data(), size, after_cr),
              CountLineEndsPlain(text.data(), size, after_cr))
        << "round " << round;
    for (std::size_t from = 0; from <= size; from += 1 + random() % 40) {
      ASSERT_EQ(FindMarkup(text.data(), size, from), FindMarkupPlain(text.data(), size, from))
          << "round " << round << ", from " << from;
    }
  }
}

// Every form against the definition: after each token (a run of bytes between
// separators) whose last byte but tabs is '.', '!' or '?', the sentence ends at the
// copy's place of the separator after it, or at the copy's end.
TEST(SentenceEnds, EveryFormFindsThemAtTheirPlaceInTheCopy) {
  const char alphabet[] = {'a', 'b', ' ', '\n', '\r', '\t', '.', '!', '?', ',', '\xE9', '-'};
  std::mt19937 random(5);
  for (int round = 0; round < 2000; ++round) {
    // Lengths around the 64-byte steps, and tokens that run across them.
    std::string text(round % 5 == 0 ? 64 * (1 + random() % 3) : random() % 300, 'a');
    for (char& c : text) c = alphabet[random() % sizeof alphabet];
    std::string copy;
    std::vector<std::size_t> expected;
    for (std::size_t i = 0; i < text.size();) {
      if (ClassOf(text[i]) == ByteClass::kSeparator) {
        copy += text[i++];
        continue;
      }
      char last = 0;
      for (; i < text.size() && ClassOf(text[i]) != ByteClass::kSeparator; ++i) {
        if (text[i] != '\t') last = text[i];
        if (ClassOf(text[i]) == ByteClass::kWord) copy += text[i];
      }
      if (last == '.' || last == '!' || last == '?') expected.push_back(copy.size());
    }
    const std::vector<SqueezeFindingFunction> forms = SqueezeFindingSentenceEndsForms();
    for (std::size_t form = 0; form <= forms.size(); ++form) {
      // The last: the form that the engine runs.
      const SqueezeFindingFunction squeeze =
          form < forms.size() ? forms[form] : SqueezeFindingSentenceEnds;
      std::string out(text.size() + kSqueezeSlack, '\0');
      std::vector<std::size_t> ends = {7};  // emptied first
      out.resize(squeeze(text.data(), text.size(), out.data(), ends));
      ASSERT_EQ(out, copy) << "round " << round << ", form " << form;
      ASSERT_EQ(ends, expected) << "round " << round << ", form " << form << ": " << text;
    }
  }
}

}  // namespace
}  // namespace lintavel
