#include "engine/byte_scan.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

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

}  // namespace
}  // namespace lintavel
