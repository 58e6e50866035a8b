// Counting ranges of a file, merging results and their serialized form.
#include <gtest/gtest.h>

#include <filesystem>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "corpus/corpus_counts.h"
#include "corpus/corpus_run.h"
#include "corpus/option_names.h"
#include "engine/block_text.h"
#include "engine/range_extraction.h"
#include "support/failing_allocations.h"
#include "support/range_split.h"
#include "support/temp_dir.h"

namespace lintavel {
namespace {

using testing::RangeSplitMismatch;
using testing::TempDir;

// The bytes of a literal, NULs and all.
template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

constexpr InputEncoding kEncodings[] = {InputEncoding::kCp1252, InputEncoding::kUtf8,
                                        InputEncoding::kUtf16, InputEncoding::kAuto};

// Files whose boundaries fall on every awkward place: inside CR LF, next to tabs,
// inside a byte-order mark, inside UTF-8 and UTF-16 sequences.
const struct {
  const char* name;
  std::string bytes;
} kAwkwardFiles[] = {
    {"line ends", "a\r\nb\r\n\r\nc\rd\n\re"},
    {"tabs and blanks", "\ta\tb \t c\t\t\td  e  "},
    {"punctuation", "... don't (x) -- co-op !? ,"},
    {"cp1252 high", "caf\xe9 \x80uro \x81\x8d\x9d \xff"},
    {"utf-8 bom",
     "\xef\xbb\xbfword \xef\xbb\xbf"
     "again\r\n"},
    {"ill-formed utf-8", "a\xc3 \xe2\x82\r\n\xf0\x9f\x98 \xffz\xc3\xa9\xa9 \xed\xa0\x80"},
    {"utf-16le bom", Bytes("\xff\xfe"
                           "a\0 \0b\0\r\0\n\0\xe9\0 \0=\xd8\0\xde\t\0d\0")},
    {"utf-16be bom", Bytes("\xfe\xff\0a\0 \0b\0\r\0\n\0\xe9\0 \xd8=\xde\0\0\t\0d")},
    {"utf-16 odd end, lone surrogate", Bytes("a\0\0\xd8 \0b\0 ")},
    {"one word", "x"},
};

TEST(RangeCounting, EverySplitInTwoPlacesEqualsTheWholeFile) {
  TempDir dir;
  for (const auto& file : kAwkwardFiles) {
    const auto path = dir.Write("text", file.bytes);
    for (const InputEncoding encoding : kEncodings) {
      for (const bool fold_case : {false, true}) {
        CorpusSettings settings;
        settings.fold_case = fold_case;
        settings.per_file = fold_case;  // folded in the text, and with files figures
        for (std::uint64_t a = 0; a <= file.bytes.size(); ++a) {
          for (std::uint64_t b = a; b <= file.bytes.size(); ++b) {
            const std::string mismatch = RangeSplitMismatch(path, encoding, {a, b}, settings);
            ASSERT_EQ(mismatch, "") << file.name << ", encoding " << static_cast<int>(encoding)
                                    << ", fold " << fold_case << ", cut at " << a << ", " << b;
          }
        }
      }
    }
  }
}

TEST(RangeCounting, WordsLongerThanABlockAcrossRanges) {
  TempDir dir;
  std::string text = "a b ";
  text.append(kBlockBytes * 2 + 5, 'x');
  text.append(" c\r\n");
  text.append(kBlockBytes / 2, 'y');
  const auto path = dir.Write("long", text);
  for (const InputEncoding encoding : {InputEncoding::kCp1252, InputEncoding::kUtf8}) {
    EXPECT_EQ(RangeSplitMismatch(path, encoding, {2, kBlockBytes, kBlockBytes * 2 + 8}, {}), "");
  }
}

TEST(RangeCounting, FailuresAreValuesNamingTheFile) {
  TempDir dir;
  const struct {
    std::filesystem::path path;
    std::string reason;
  } cases[] = {
      {dir.path() / "missing \xff.txt", "No such file or directory"},
      {dir.path(), "it is a folder, not a file"},
      {"/dev/null", "it is not a regular file (a pipe, a device or a socket)"},
  };
  for (const auto& c : cases) {
    std::vector<FileFailure> failures;
    const ExtractionResult result =
        ExtractRange(c.path, {0, std::nullopt}, FileDecoding::kCp1252, {},
                     [&](const FileFailure& failure) { failures.push_back(failure); });
    ASSERT_EQ(failures.size(), 1u) << c.path;
    EXPECT_EQ(failures[0].path, c.path);
    EXPECT_EQ(failures[0].stage, FailureStage::kOpen);
    EXPECT_EQ(failures[0].reason, c.reason);
    EXPECT_EQ(result.reports, 1);
    EXPECT_EQ(OpeningFailure(c.path)->reason, c.reason);
  }
}

TEST(RangeCounting, RangesOutsideTheFileAreRefused) {
  TempDir dir;
  const auto path = dir.Write("text", "four");
  for (const ByteRange range : {ByteRange{5, std::nullopt}, ByteRange{0, 5}, ByteRange{3, 2}}) {
    EXPECT_THROW(ExtractRange(path, range, FileDecoding::kCp1252, {}, nullptr),
                 std::invalid_argument);
  }
}

TEST(RangeCounting, AFileWhoseSizeReadsZeroIsReadWhole) {
  // Not a file of /proc/self, which qemu-user makes up for the programs it runs.
  const std::filesystem::path pseudo = "/proc/version";
  const ExtractionResult result =
      ExtractRange(pseudo, {0, std::nullopt}, FileDecoding::kCp1252, {}, nullptr);
  EXPECT_GT(result.total, 0u);
}

TEST(RangeCounting, RunningOutOfMemoryThrowsInsteadOfCountingInPart) {
  TempDir dir;
  const auto path = dir.Write("text", "some words to count");
  testing::FailingAllocations failing(kBlockBytes / 2);
  EXPECT_THROW(ExtractRange(path, {0, std::nullopt}, FileDecoding::kCp1252, {}, nullptr),
               std::bad_alloc);
}

CorpusCounts CountsOf(const std::vector<std::pair<std::string, std::uint64_t>>& words,
                      const CountsOrigin& origin, std::vector<FileFailure> failures = {}) {
  CorpusMerger merger(WordEncoding::kUtf8, false, nullptr);
  for (const auto& [word, count] : words) merger.AddWord(1, word, count);
  return CorpusCounts(std::move(merger).Take(), std::move(failures), origin);
}

TEST(CorpusCounts, MergesOnlyWhatAddsUpToOneRun) {
  const CountsOrigin plain{InputEncoding::kUtf8};
  const auto with = [&](auto change) {
    CountsOrigin origin = plain;
    change(origin);
    return origin;
  };
  const struct {
    const char* name;
    CountsOrigin other;
    bool merges;
  } cases[] = {
      {"same options", plain, true},
      {"cut by top", with([](CountsOrigin& o) { o.cut = true; }), false},
      {"folded", with([](CountsOrigin& o) { o.fold_case = true; }), false},
      {"html", with([](CountsOrigin& o) { o.html = true; }), false},
      {"per file", with([](CountsOrigin& o) { o.per_file = true; }), false},
      {"stop words", with([](CountsOrigin& o) { o.stop_words = 7; }), false},
      {"encoding", with([](CountsOrigin& o) { o.encoding = InputEncoding::kAuto; }), false},
  };
  for (const auto& c : cases) {
    const CorpusCounts a = CountsOf({{"a", 2}, {"b", 1}}, plain);
    const CorpusCounts b = CountsOf({{"b", 3}}, c.other);
    const CorpusCounts empty;
    const CorpusCounts* parts[] = {&empty, &a, &b};
    if (!c.merges) {
      EXPECT_THROW(CorpusCounts::Merged(parts), std::invalid_argument) << c.name;
      continue;
    }
    const CorpusCounts merged = CorpusCounts::Merged(parts);
    EXPECT_EQ(merged.list().total, 6u) << c.name;
    EXPECT_EQ(merged.CountOf("b"), 4u) << c.name;
  }
  CorpusCounts cut = CountsOf({{"a", 2}, {"b", 1}}, plain);
  cut.Shape(0, 1, WordOrder::kCount);
  const CorpusCounts* alone[] = {&cut};
  EXPECT_THROW(CorpusCounts::Merged(alone), std::invalid_argument);
}

TEST(CorpusCounts, SerializedFormRoundTripsAndRefusesEveryCutShortForm) {
  CountsOrigin origin{InputEncoding::kAuto, true, false, true, 12345, false};
  const CorpusCounts counts =
      CountsOf({{"word", 3}, {"caf\xc3\xa9", 1}}, origin,
               {{"bad \xff name", FailureStage::kRead, 5, "Input/output error"}});
  const std::string bytes = counts.Serialize();
  const CorpusCounts back = CorpusCounts::Deserialize(bytes);
  EXPECT_EQ(back.Serialize(), bytes);
  EXPECT_EQ(back.origin(), counts.origin());
  EXPECT_EQ(back.CountOf("word"), 3u);
  ASSERT_EQ(back.failures().size(), 1u);
  EXPECT_EQ(FailureMessage(back.failures()[0]), FailureMessage(counts.failures()[0]));
  EXPECT_EQ(back.failures()[0].error_number, 5);
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    EXPECT_THROW(CorpusCounts::Deserialize(bytes.substr(0, size)), std::invalid_argument) << size;
  }
  EXPECT_THROW(CorpusCounts::Deserialize(bytes + "x"), std::invalid_argument);
}

TEST(OptionNames, ReadTheNamesOfTheCommandLine) {
  EXPECT_EQ(InputEncodingNamed("UTF8"), InputEncoding::kUtf8);
  EXPECT_EQ(InputEncodingNamed("windows-1252"), InputEncoding::kCp1252);
  EXPECT_EQ(InputEncodingNamed("latin1"), std::nullopt);
  EXPECT_EQ(OutputEncodingNamed("utf-16"), std::nullopt);
  EXPECT_EQ(WordOrderNamed("count-desc"), WordOrder::kCountDesc);
  EXPECT_EQ(WordOrderNamed("Count"), std::nullopt);
  EXPECT_EQ(AutoFileDecodingNamed("cp1252"), FileDecoding::kCp1252AsUtf8);
  EXPECT_EQ(AutoFileDecodingNamed("auto"), std::nullopt);
  for (const FileDecoding decoding :
       {FileDecoding::kCp1252AsUtf8, FileDecoding::kUtf8, FileDecoding::kUtf16}) {
    EXPECT_EQ(AutoFileDecodingNamed(AutoFileDecodingName(decoding)), decoding);
  }
}

}  // namespace
}  // namespace lintavel
