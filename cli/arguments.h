#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/corpus_options.h"
#include "cli/kwic_command.h"
#include "corpus/option_names.h"
#include "engine/extraction.h"

namespace lintavel {

// Where input paths come from, in the order they were named.
struct InputSource {
  enum class Kind { kFile, kFileList, kFolderTree };
  Kind kind;
  std::string value;
};

struct Arguments {
  std::vector<InputSource> sources;
  std::optional<std::string> output;
  std::optional<std::string> extension;  // for --recursive
  InputEncoding encoding = InputEncoding::kCp1252;
  std::optional<WordEncoding> output_encoding;  // default: that of the words
  unsigned threads = 0;
  std::uint64_t memory_limit = 0;  // bytes; 0: the default share of the memory
  std::optional<std::string> temp_dir;
  bool counts = false;
  CorpusArguments corpus;
  KwicArguments kwic;
  bool quiet = false;
  bool help = false;
  bool version = false;
};

// Parses the arguments; on a mistake says what is wrong on `err` and gives nothing.
std::optional<Arguments> ParseArguments(std::span<const std::string> args, std::ostream& err);

}  // namespace lintavel
