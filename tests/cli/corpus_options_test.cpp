#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli/extract_command.h"
#include "corpus/list_writer.h"
#include "support/temp_dir.h"

namespace lintavel {
namespace {

using testing::ReadBytes;
using testing::TempDir;

// One run of lintavel-extract on small files. An argument "@name" is the path of
// the file `name`, written with its bytes before the run.
struct Case {
  std::string name;
  std::map<std::string, std::string> files;
  std::vector<std::string> args;
  std::string out;
  std::string err_has = "";
};

struct Ran {
  int status;
  std::string out;
  std::string err;
};

// `in` is standard input, for --files-from -.
Ran RunCase(const TempDir& dir, const Case& c, std::istream& in) {
  std::vector<std::string> args;
  for (const auto& [name, bytes] : c.files) dir.Write(name, bytes);
  for (const std::string& arg : c.args) {
    args.push_back(arg.starts_with('@') ? (dir.path() / arg.substr(1)).string() : arg);
  }
  std::ostringstream out;
  std::ostringstream err;
  const int status = Run(args, CommandStreams{in, out, err, false});
  return {status, out.str(), err.str()};
}

void ExpectOutputs(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    TempDir dir;
    std::istringstream no_input;
    const Ran ran = RunCase(dir, c, no_input);
    EXPECT_EQ(ran.status, kExitAllRead) << c.name << ": " << ran.err;
    EXPECT_EQ(ran.out, c.out) << c.name;
    EXPECT_NE(ran.err.find(c.err_has), std::string::npos) << c.name << ": " << ran.err;
  }
}

TEST(CorpusOptions, FoldCase) {
  ExpectOutputs({
      {"code page pairs, and letters whose folding the code page lacks stay",
       {{"a", "The the THE \x8A\x9A \xC9t\xE9 \xDF \x9F\xFF \xB5"}},
       {"--fold-case", "--counts", "@a"},
       "1\t\xB5\r\n1\t\xDF\r\n1\t\xE9t\xE9\r\n1\t\xFF\xFF\r\n1\t\x9A\x9A\r\n3\tthe\r\n"},
      {"Unicode simple folding: final sigma, Kelvin sign, titlecase digraph, no sharp s",
       {{"a",
         "\xCE\xA3\xCE\x91\xCE\xA3 \xCF\x83\xCE\xB1\xCF\x82 Stra\xC3\x9F"
         "e STRASSE "
         "\xC7\x85 \xE2\x84\xAA"}},
       {"--encoding", "utf-8", "--fold-case", "--counts", "@a"},
       "1\tk\r\n1\tstrasse\r\n1\tstra\xC3\x9F"
       "e\r\n1\t\xC7\x86\r\n2\t\xCF\x83\xCE\xB1\xCF\x83\r\n"},
  });
}

TEST(CorpusOptions, Html) {
  ExpectOutputs({
      {"block tags separate, inline tags join",
       {{"a", "<p>one</p><p>two<br>three</p>in<b>si</b>de <DIV>x</DIV>y"}},
       {"--html", "@a"},
       "inside\r\none\r\nthree\r\ntwo\r\nx\r\ny\r\n"},
      {"comments, declarations, script and style hold no words",
       {{"a",
         "<!DOCTYPE html><!-- no <p> words -->yes<script>if (a</b) no()</script>"
         "<style>p { no: 1 }</style><?pi no?>"}},
       {"--html", "@a"},
       "yes\r\n"},
      {"quoted attributes may hold '>'",
       {{"a", "<a title=\"x > no\" href='>no'>link</a>"}},
       {"--html", "@a"},
       "link\r\n"},
      {"character references in Windows-1252: what it lacks is '?'",
       {{"a", "caf&eacute; &#233;t&#xE9; &#128; &amp &#x4E00;x &notit; &bogus;"}},
       {"--html", "@a"},
       "bogus\r\ncaf\xE9\r\nx\r\n\xACit\r\n\xE9t\xE9\r\n\x80\r\n"},
      {"character references in UTF-8",
       {{"a", "&#x4E00;&#x1F600; &Eacute;t&eacute;"}},
       {"--html", "--encoding", "utf-8", "@a"},
       "\xC3\x89t\xC3\xA9\r\n\xE4\xB8\x80\xF0\x9F\x98\x80\r\n"},
      {"a '<' that opens no tag is text",
       {{"a", "x<3 a < b"}},
       {"--html", "@a"},
       "a\r\nb\r\nx3\r\n"},
      {"what is left open at the end is told, the text before it counted",
       {{"a", "<p>kept\n<!-- lost\n<p>lost</p>"}},
       {"--html", "@a"},
       "kept\r\n",
       "a: comment from line 2 is never closed; the text after it is not counted\n"},
  });
}

TEST(CorpusOptions, Ngrams) {
  ExpectOutputs({
      {"HTML block elements end sequences, inline ones join words",
       {{"a", "<p>a b</p><div>c d<br>e</div>f<i>g</i> h"}},
       {"--html", "--ngrams", "2", "--ngram-breaks", "sentence", "@a"},
       "a b\r\nc d\r\nfg h\r\n"},
      {"a folded stop word ends a sequence and is in none",
       {{"a", "The cat and THE dog"}, {"s", "the"}},
       {"--fold-case", "--stop-list", "@s", "--ngrams", "1-2", "--counts", "@a"},
       "1\tand\r\n1\tcat\r\n1\tcat and\r\n1\tdog\r\n"},
      {"output options apply to the sequences",
       {{"a", "x y. x y z"}},
       {"--ngrams", "2", "--format", "csv", "--top", "1", "@a"},
       "word,count\r\nx y,2\r\n"},
  });
  // One word at a time is the plain word list.
  TempDir dir;
  std::istringstream none;
  const std::map<std::string, std::string> files = {{"a", "Wo, rds. a\tb\r\nwo rds"}};
  EXPECT_EQ(RunCase(dir, {"", files, {"--ngrams", "1", "--counts", "@a"}, ""}, none).out,
            RunCase(dir, {"", files, {"--counts", "@a"}, ""}, none).out);
}

TEST(CorpusOptions, StopList) {
  ExpectOutputs({
      {"stop words are neither listed nor counted; case matters",
       {{"a", "The the cat sat on the mat"}, {"stop", "the\non\n"}},
       {"--stop-list", "@stop", "@a"},
       "The\r\ncat\r\nmat\r\nsat\r\n",
       "Results (Total Word Count: 4)"},
      {"more than one list, through the word rules and the case option",
       {{"a", "The the don't dont go"}, {"s1", "THE\n"}, {"s2", "  don't  \n"}},
       {"--stop-list", "@s1", "--stop-list", "@s2", "--fold-case", "@a"},
       "go\r\n",
       "Results (Total Word Count: 1)"},
      {"ill-formed UTF-8 in a list is reported as in an input file",
       {{"a", "x y"}, {"stop", "y\n\xFF\n"}},
       {"--encoding", "utf-8", "--stop-list", "@stop", "@a"},
       "x\r\n",
       "stop: 1 ill-formed UTF-8 sequence(s) read as U+FFFD"},
  });
}

TEST(CorpusOptions, MinCountTopAndSort) {
  const std::map<std::string, std::string> files = {{"a", "d c b c d a d c b"}};
  ExpectOutputs({
      {"min-count", files, {"--min-count", "2", "@a"}, "b\r\nc\r\nd\r\n"},
      {"top keeps the most frequent, ties in word order", files, {"--top", "1", "@a"}, "c\r\n"},
      {"top writes in the usual order", files, {"--top=3", "@a"}, "b\r\nc\r\nd\r\n"},
      {"count-desc", files, {"--sort", "count-desc", "@a"}, "c\r\nd\r\nb\r\na\r\n"},
      {"word order is ordinal",
       {{"a", "b B a \xE9 \x80"}},
       {"--sort", "word", "@a"},
       "B\r\na\r\nb\r\n\xE9\r\n\x80\r\n"},
      {"all together",
       files,
       {"--top", "3", "--min-count", "3", "--sort", "word", "@a"},
       "c\r\nd\r\n"},
  });
}

TEST(CorpusOptions, Formats) {
  const std::map<std::string, std::string> files = {{"a", "caf\xE9 b b"}};
  ExpectOutputs({
      {"tsv is --counts", files, {"--format", "tsv", "@a"}, "1\tcaf\xE9\r\n2\tb\r\n"},
      {"text", files, {"--format", "text", "@a"}, "caf\xE9\r\nb\r\n"},
      {"csv is UTF-8 with a header",
       files,
       {"--format", "csv", "@a"},
       "word,count\r\ncaf\xC3\xA9,1\r\nb,2\r\n"},
      {"json is UTF-8",
       files,
       {"--format", "json", "@a"},
       "{\"total\":3,\"distinct\":2,\"words\":[\n{\"word\":\"caf\xC3\xA9\",\"count\":1},\n"
       "{\"word\":\"b\",\"count\":2}\n]}\n"},
      {"json of no words",
       {{"a", ""}},
       {"--format", "json", "@a"},
       "{\"total\":0,\"distinct\":0,\"words\":[]}\n"},
  });
}

TEST(CorpusOptions, FormatsQuoteAndEscapeWhatNeedsIt) {
  CorpusList list;
  list.encoding = WordEncoding::kUtf8;
  list.words = {{"a,\"b\"", 1, 1}, {"c\x01", 2, 1}};
  std::string csv;
  std::string json;
  WriteList(list, ListFormat::kCsv, WordEncoding::kUtf8, false,
            [&](std::string_view chunk) { csv.append(chunk); });
  WriteList(list, ListFormat::kJson, WordEncoding::kUtf8, false,
            [&](std::string_view chunk) { json.append(chunk); });
  EXPECT_EQ(csv, "word,count\r\n\"a,\"\"b\"\"\",1\r\nc\x01,2\r\n");
  EXPECT_NE(json.find("{\"word\":\"a,\\\"b\\\"\",\"count\":1}"), std::string::npos) << json;
  EXPECT_NE(json.find("{\"word\":\"c\\u0001\",\"count\":2}"), std::string::npos) << json;
}

// The plain list is copied a word at a time with overlapping loads and stores:
// every length from 1 to 20 bytes, and lines that fall across the pieces written
// and one longer than a piece, must come out whole.
TEST(CorpusOptions, PlainListKeepsEveryWordWhole) {
  std::vector<std::string> words;
  for (std::size_t n = 1; n <= 20; ++n) words.push_back(std::string(n, static_cast<char>('a' + n)));
  words.push_back(std::string(300 * 1024, 'x'));
  for (int i = 0; i < 30000; ++i) words.push_back("w" + std::to_string(i));
  CorpusList list;
  std::string expected;
  for (const std::string& word : words) {
    list.words.push_back({word, 1, 1});
    expected += word + "\r\n";
  }
  std::string written;
  WriteList(list, ListFormat::kText, list.encoding, false,
            [&](std::string_view chunk) { written.append(chunk); });
  EXPECT_TRUE(written == expected) << written.size() << " bytes against " << expected.size();
}

TEST(CorpusOptions, PerFile) {
  const std::map<std::string, std::string> files = {{"a", "x Y y"}, {"b", "y z"}};
  ExpectOutputs({
      {"tsv",
       files,
       {"--per-file", "--counts", "@a", "@b"},
       "1\tY\t1\r\n1\tx\t1\r\n1\tz\t1\r\n2\ty\t2\r\n"},
      {"folded, csv",
       files,
       {"--per-file", "--fold-case", "--format", "csv", "@a", "@b"},
       "word,count,files\r\nx,1,1\r\nz,1,1\r\ny,3,2\r\n"},
      {"json, a file named twice counts twice",
       {{"a", "w"}},
       {"--per-file", "--format=json", "@a", "@a"},
       "{\"total\":2,\"distinct\":1,\"words\":[\n{\"word\":\"w\",\"count\":2,\"files\":2}\n]}\n"},
  });
}

TEST(CorpusOptions, StatsDescribeTheCountedWords) {
  ExpectOutputs({
      {"figures before --top",
       {{"a", "a b b c"}},
       {"--stats", "--top", "1", "@a"},
       "b\r\n",
       "Total words: 4\nDistinct words: 3\nWords seen once: 2\nType-token ratio: 0.7500\n"
       "Results (Total Word Count: 4)\n"},
      {"no words",
       {{"a", ""}},
       {"--stats", "@a"},
       "",
       "Total words: 0\nDistinct words: 0\nWords seen once: 0\nType-token ratio: 0.0000\n"},
  });
}

TEST(CorpusOptions, BadOptionsSayOneLineAndTouchNothing) {
  const std::vector<std::vector<std::string>> cases = {
      {"--format", "xml"},
      {"--sort", "size"},
      {"--top", "0"},
      {"--top", "x"},
      {"--min-count", "-1"},
      {"--stop-list", "@missing"},
      {"--stop-list", "@folder"},
      {"--per-file"},
      {"--per-file", "--format", "text"},
      {"--counts", "--format=csv"},
      {"--fold-case=yes"},
      {"--ngrams", "0"},
      {"--ngrams", "9"},
      {"--ngrams", "3-2"},
      {"--ngrams", "2-"},
      {"--ngrams", "x"},
      {"--ngrams", "2", "--dispersion", "files", "--format", "tsv"},
      {"--ngrams", "2", "--kwic", "word"},
      {"--ngram-breaks", "line"},
      {"--ngram-breaks", "page", "--ngrams", "2"},
  };
  for (std::vector<std::string> args : cases) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "folder");
    args.insert(args.end(), {"-o", "@out", "--files-from", "-", "@in"});
    // A file list on standard input that must not be read either.
    std::istringstream in((dir.path() / "in").string() + "\n");
    const Ran ran = RunCase(dir, {"", {{"in", "word"}, {"out", "old"}}, args, ""}, in);
    EXPECT_EQ(ran.status, kExitUsage) << args[0];
    EXPECT_EQ(std::count(ran.err.begin(), ran.err.end(), '\n'), 1) << ran.err;
    if (args[0].starts_with("--ngram")) {
      EXPECT_NE(ran.err.find("ngram"), std::string::npos) << ran.err;
    }
    EXPECT_EQ(in.tellg(), 0) << args[0];
    EXPECT_EQ(ReadBytes(dir.path() / "out"), "old") << args[0];
  }
}

}  // namespace
}  // namespace lintavel
