#include "engine/utf16.h"

#include <gtest/gtest.h>

#include <string>

namespace lintavel {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

struct DecodeCase {
  const char* name;
  std::string input;
  std::string output;  // UTF-8
  std::uint64_t replaced;
};

class Utf16Decode : public ::testing::TestWithParam<DecodeCase> {};

std::string DecodeInPieces(std::string_view input, std::size_t cut, std::size_t chunk,
                           std::uint64_t& replaced) {
  Utf16Decoder decoder;
  std::string out;
  decoder.Feed(input.substr(0, cut), out);
  for (std::size_t at = cut; at < input.size(); at += chunk) {
    decoder.Feed(input.substr(at, chunk), out);
  }
  decoder.Finish(out);
  replaced = decoder.replaced();
  return out;
}

TEST_P(Utf16Decode, GivesTheSameWhereverTheChunksAreCut) {
  const std::string& input = GetParam().input;
  // A first piece of every length, the rest in pieces of one byte up to the whole.
  for (std::size_t cut = 0; cut <= input.size(); ++cut) {
    for (std::size_t chunk = 1; chunk <= std::max<std::size_t>(input.size(), 1); ++chunk) {
      std::uint64_t replaced = 0;
      EXPECT_EQ(DecodeInPieces(input, cut, chunk, replaced), GetParam().output)
          << "cut at " << cut << ", chunks of " << chunk;
      EXPECT_EQ(replaced, GetParam().replaced) << "cut at " << cut << ", chunks of " << chunk;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, Utf16Decode,
    ::testing::Values(
        DecodeCase{"Empty", "", "", 0},
        DecodeCase{"LittleEndianMark", std::string("\xFF\xFEh\0\xE9\0\xAC\x20", 8),
                   "h\xC3\xA9\xE2\x82\xAC", 0},
        DecodeCase{"BigEndianMark", std::string("\xFE\xFF\0h\0\xE9\x20\xAC", 8),
                   "h\xC3\xA9\xE2\x82\xAC", 0},
        DecodeCase{"NoMarkIsLittleEndian", std::string("h\0i\0", 4), "hi", 0},
        DecodeCase{"SurrogatePairLittleEndian", std::string("\xFF\xFE\x3D\xD8\x00\xDE!\0", 8),
                   "\xF0\x9F\x98\x80!", 0},
        DecodeCase{"SurrogatePairBigEndian", std::string("\xFE\xFF\xD8\x35\xDC\x52", 6),
                   "\xF0\x9D\x91\x92", 0},
        DecodeCase{"MarkOnly", "\xFE\xFF", "", 0},
        DecodeCase{"MarkLaterIsACharacter", std::string("a\0\xFF\xFE", 4), "a\xEF\xBB\xBF", 0},
        DecodeCase{"Utf32MarkIsUtf16WithANul", std::string("\xFF\xFE\0\0a\0\0\0", 8),
                   std::string("\0a\0", 3), 0},
        DecodeCase{"LoneHighBeforeACharacter", std::string("\x3D\xD8x\0", 4), kFffd + "x", 1},
        DecodeCase{"LoneHighAtTheEnd", std::string("x\0\x3D\xD8", 4), "x" + kFffd, 1},
        DecodeCase{"TwoHighsThenALow", std::string("\x3D\xD8\x3D\xD8\x00\xDE", 6),
                   kFffd + "\xF0\x9F\x98\x80", 1},
        DecodeCase{"LoneLow", std::string("\x00\xDCx\0", 4), kFffd + "x", 1},
        DecodeCase{"OddLastByte", std::string("x\0y", 3), "x" + kFffd, 1},
        DecodeCase{"HighThenOddLastByte", std::string("\x3D\xD8\x00", 3), kFffd + kFffd, 2},
        DecodeCase{"OneByte", "\xFE", kFffd, 1}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

}  // namespace
}  // namespace lintavel
