// GCC 12 at -O2 with the sanitizers warns of state it thinks uninitialized inside
// <regex> and <functional>: a false positive in the library's own code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "cli/option_table.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/extract_command.h"

namespace lintavel {
namespace {

std::string SourceFile(const std::string& path) {
  std::ifstream in(std::string(LINTAVEL_SOURCE_DIR) + "/" + path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Every token of `text` that `pattern` finds (its first group), in a set.
std::set<std::string> Found(const std::string& text, const std::string& pattern) {
  std::set<std::string> found;
  const std::regex expression(pattern);
  for (auto it = std::sregex_iterator(text.begin(), text.end(), expression);
       it != std::sregex_iterator(); ++it) {
    found.insert((*it)[1].str());
  }
  return found;
}

// The table's names, long and short, and "--" that ends the options.
std::set<std::string> TableNames() {
  std::set<std::string> names = {"--"};
  for (const OptionEntry& option : ExtractOptions()) {
    names.insert(std::string(option.name));
    if (!option.short_name.empty()) names.insert(std::string(option.short_name));
  }
  return names;
}

// --help, the manual page and the completion name exactly the table's options.
TEST(OptionTable, TheDocumentsNameEveryOptionAndNoOther) {
  std::ostringstream help;
  std::ostringstream err;
  ASSERT_EQ(lintavel::Run(std::vector<std::string>{"--help"}, help, err), kExitAllRead);
  // "  -o, --output OUT   ...": the names that begin an option's line.
  std::set<std::string> in_help;
  for (const std::string& line : Found(help.str(), R"(\n  (-[-a-z, ]*?)(?: [A-Z]+)?  )")) {
    for (const std::string& name : Found(line + ",", R"((-[-a-z]*),)")) in_help.insert(name);
  }
  EXPECT_EQ(in_help, TableNames());
  // Each value's name stands after its option, in --help and in the manual page.
  const std::string manual = SourceFile("app/lintavel-extract.1");
  for (const OptionEntry& option : ExtractOptions()) {
    if (option.value.empty()) continue;
    EXPECT_NE(help.str().find(std::string(option.name) + " " + std::string(option.value)),
              std::string::npos)
        << option.name;
  }
  // The manual's option headings: the line after each ".TP".
  std::set<std::string> in_manual;
  for (const std::string& heading : Found(manual, R"(\.TP\n(\.B[IR]? [^\n]*))")) {
    std::string plain = std::regex_replace(heading, std::regex(R"(\\-)"), "-");
    for (const std::string& name : Found(plain, R"((?:^|[ "]|\\f[BIPR])(--?[a-z][-a-z]*))")) {
      in_manual.insert(name);
    }
  }
  std::set<std::string> manual_expected = TableNames();
  manual_expected.erase("--");
  EXPECT_EQ(in_manual, manual_expected);
  // The completion's list of options.
  const std::string completion = SourceFile("app/lintavel-extract.bash-completion");
  const std::size_t list = completion.find("compgen -W '-o");
  ASSERT_NE(list, std::string::npos);
  const std::string words = completion.substr(list, completion.find('\'', list + 12) - list);
  EXPECT_EQ(Found(words + " ", R"([\s'](-[-a-z]*)(?=\s))"), TableNames());
}

// Every option of the table is one the parser knows.
TEST(OptionTable, TheParserTakesEveryOption) {
  for (const OptionEntry& option : ExtractOptions()) {
    for (const std::string_view name : {option.name, option.short_name}) {
      if (name.empty()) continue;
      std::vector<std::string> args = {std::string(name)};
      if (!option.value.empty()) args.emplace_back(option.example);
      args.emplace_back("a.txt");
      std::ostringstream err;
      ParseArguments(args, err);
      EXPECT_EQ(err.str().find("unknown option"), std::string::npos) << err.str();
    }
  }
}

// The Python module names the same settings as the table says, and no other.
TEST(OptionTable, ThePythonKeywordsAreTheTables) {
  const std::string module = SourceFile("python/module.cpp");
  const std::size_t count = module.find("m.def(\"count\"");
  ASSERT_NE(count, std::string::npos);
  const std::string definition = module.substr(count, module.find(';', count) - count);
  std::set<std::string> keywords = Found(definition, R"re(py::arg\("([a-z_]+)"\))re");
  keywords.erase("paths");
  std::set<std::string> expected;
  for (const OptionEntry& option : ExtractOptions()) {
    if (!option.python.empty()) expected.insert(std::string(option.python));
  }
  EXPECT_EQ(keywords, expected);
}

}  // namespace
}  // namespace lintavel
