#include "cli/arguments.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>
#include <string>

namespace lintavel {

namespace {

constexpr std::uint64_t kMaxThreads = 256;

constexpr char kSeeHelp[] = "; try 'lintavel-extract --help'\n";

// Below this the tables would be spilled every few thousand words: slower than any
// disk is worth, and less than one block's words take.
constexpr std::uint64_t kLeastMemoryLimit = std::uint64_t{16} << 20;

// Reads a size of --memory-limit ("512M", "2G", "100000K", bytes) into `bytes`, or
// says what is wrong with it.
std::optional<std::string> TakeByteSize(const std::string& text, std::uint64_t& bytes) {
  const std::string refused = "invalid --memory-limit '" + text + "' (a size as 512M, 2G or bytes)";
  std::size_t digits = 0;
  while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
  if (digits == 0 || digits > 19) return refused;
  std::uint64_t value = std::stoull(text.substr(0, digits));
  const std::string unit = text.substr(digits);
  int shift = 0;
  if (unit == "K" || unit == "k") {
    shift = 10;
  } else if (unit == "M" || unit == "m") {
    shift = 20;
  } else if (unit == "G" || unit == "g") {
    shift = 30;
  } else if (unit == "T" || unit == "t") {
    shift = 40;
  } else if (!unit.empty()) {
    return refused;
  }
  if (value > (~std::uint64_t{0} >> shift)) return "--memory-limit '" + text + "' is out of range";
  value <<= shift;
  if (value < kLeastMemoryLimit) {
    return "--memory-limit '" + text + "' is too small (at least 16M)";
  }
  bytes = value;
  return std::nullopt;
}

}  // namespace

std::optional<Arguments> ParseArguments(std::span<const std::string> args, std::ostream& err) {
  Arguments parsed;
  const auto fail = [&err](const std::string& what) {
    err << "lintavel-extract: " << what << kSeeHelp;
    return std::nullopt;
  };
  // The corpus options' mistakes take one line.
  std::string corpus_error;
  const auto one_line = [&err](const std::string& what) {
    err << "lintavel-extract: " << what << "\n";
    return std::nullopt;
  };
  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    if (options_ended || arg.size() < 2 || arg.front() != '-') {
      parsed.sources.push_back({InputSource::Kind::kFile, std::string(arg)});
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    // "--name=value" and "--name value" mean the same.
    std::optional<std::string> inline_value;
    if (arg.starts_with("--")) {
      if (const auto equals = arg.find('='); equals != arg.npos) {
        inline_value = std::string(arg.substr(equals + 1));
        arg = arg.substr(0, equals);
      }
    }
    const auto value = [&]() -> std::optional<std::string> {
      if (inline_value) return inline_value;
      if (i + 1 == args.size()) return std::nullopt;
      return args[++i];
    };
    const auto takes_none = [&] { return !inline_value.has_value(); };
    if ((arg == "-h" || arg == "--help") && takes_none()) {
      parsed.help = true;
    } else if (arg == "--version" && takes_none()) {
      parsed.version = true;
    } else if ((arg == "-q" || arg == "--quiet") && takes_none()) {
      parsed.quiet = true;
    } else if (arg == "--counts" && takes_none()) {
      parsed.counts = true;
    } else if (arg == "-o" || arg == "--output") {
      const auto file = value();
      if (!file) return fail("option " + std::string(arg) + " needs a file name");
      if (file->empty()) return fail("the output file name is empty");
      parsed.output = file;
    } else if (arg == "--encoding") {
      const auto name = value();
      if (!name) return fail("option --encoding needs cp1252, utf-8, utf-16 or auto");
      const auto encoding = InputEncodingNamed(*name);
      if (!encoding) {
        return fail("unknown encoding '" + *name + "' (cp1252, utf-8, utf-16 or auto)");
      }
      parsed.encoding = *encoding;
    } else if (arg == "--output-encoding") {
      const auto name = value();
      if (!name) return fail("option --output-encoding needs cp1252 or utf-8");
      const auto encoding = OutputEncodingNamed(*name);
      if (!encoding) return fail("unknown output encoding '" + *name + "' (cp1252 or utf-8)");
      parsed.output_encoding = encoding;
    } else if (arg == "--files-from") {
      const auto list = value();
      if (!list || list->empty()) return fail("option --files-from needs a file name or -");
      parsed.sources.push_back({InputSource::Kind::kFileList, *list});
    } else if (arg == "--recursive") {
      const auto folder = value();
      if (!folder || folder->empty()) return fail("option --recursive needs a folder");
      parsed.sources.push_back({InputSource::Kind::kFolderTree, *folder});
    } else if (arg == "--ext") {
      const auto extension = value();
      if (!extension || extension->empty()) return fail("option --ext needs an extension");
      parsed.extension = extension;
    } else if (arg == "--threads") {
      std::uint64_t threads = 0;
      if (auto wrong = TakeWholeNumber(arg, value(), 1, kMaxThreads, threads)) {
        return fail(*wrong);
      }
      parsed.threads = static_cast<unsigned>(threads);
    } else if (arg == "--memory-limit") {
      const auto size = value();
      if (!size) return fail("option --memory-limit needs a size (as 512M or 2G)");
      if (auto wrong = TakeByteSize(*size, parsed.memory_limit)) return fail(*wrong);
    } else if (arg == "--temp-dir") {
      const auto folder = value();
      if (!folder || folder->empty()) return fail("option --temp-dir needs a folder");
      parsed.temp_dir = folder;
    } else if (const auto kwic = TakeKwicOption(arg, value, parsed.kwic, corpus_error)) {
      if (!*kwic) return one_line(corpus_error);
    } else if (const auto taken = TakeCorpusOption(arg, inline_value.has_value(), value,
                                                   parsed.corpus, corpus_error)) {
      if (!*taken) return one_line(corpus_error);
    } else {
      return fail("unknown option " + std::string(args[i]));
    }
  }
  if (parsed.help || parsed.version) return parsed;
  if (const auto error = CorpusArgumentsError(parsed.corpus, parsed.counts))
    return one_line(*error);
  if (const auto error = KwicArgumentsError(parsed)) return one_line(*error);
  const bool has_tree =
      std::any_of(parsed.sources.begin(), parsed.sources.end(),
                  [](const auto& s) { return s.kind == InputSource::Kind::kFolderTree; });
  if (has_tree && !parsed.extension) return fail("--recursive needs --ext EXT (* for every file)");
  if (!has_tree && parsed.extension) return fail("--ext goes with --recursive");
  if (parsed.sources.empty()) return fail("no input files");
  return parsed;
}

}  // namespace lintavel
