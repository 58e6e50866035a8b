#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "corpus/concordance.h"
#include "output/safe_file_writer.h"

namespace lintavel {

struct Arguments;
struct CommandStreams;

// The concordance options of lintavel-extract.
struct KwicArguments {
  std::optional<std::string> word;  // --kwic: search for this word instead of listing words
  KwicSort sort = KwicSort::kText;
  std::size_t width = 40;
};

// Takes the option `name` when it is a concordance option: true when taken, false
// with `error` set when its value is wrong, nothing when `name` is none of them.
std::optional<bool> TakeKwicOption(std::string_view name,
                                   const std::function<std::optional<std::string>()>& value,
                                   KwicArguments& kwic, std::string& error);

// What is wrong with the concordance options beside the others, or nothing.
std::optional<std::string> KwicArgumentsError(const Arguments& parsed);

// Writes the concordance of `parsed.kwic.word` in `files` to -o or standard output;
// says each file that cannot be read. Gives the exit status.
// `output_file` is the open -o target, when there is one.
int RunKwic(const Arguments& parsed, const std::vector<std::filesystem::path>& files,
            std::optional<SafeFileWriter>& output_file, const CommandStreams& streams);

}  // namespace lintavel
