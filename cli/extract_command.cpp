#include "cli/extract_command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include "engine/extraction.h"
#include "shell/error_report.h"

namespace lintavel {

namespace {

constexpr std::string_view kProgram = "lintavel-extract";

constexpr std::string_view kUsage = "usage: lintavel-extract [-o OUT] FILE...\n";

constexpr std::string_view kHelp =
    "usage: lintavel-extract [-o OUT] FILE...\n"
    "\n"
    "Reads the FILEs in the order given, as Windows-1252 text, and writes every\n"
    "distinct word once, least frequent first; words seen equally often stand in\n"
    "ordinal order (\"Zebra\" before \"apple\"). Each word is written in Windows-1252\n"
    "followed by CR LF, exactly as the window saves its results. The total number\n"
    "of words is printed on standard error as \"Results (Total Word Count: N)\".\n"
    "\n"
    "Words: only blanks and line ends (LF, CR LF, CR) separate words; tabs are\n"
    "removed, so they join what stands on either side; the 32 ASCII punctuation\n"
    "characters are removed from every word (\"don't\" counts as \"dont\"); a word\n"
    "left empty is no word. Case matters: \"The\" and \"the\" are two words.\n"
    "\n"
    "Options:\n"
    "  -o, --output OUT  write the words to OUT instead of standard output; OUT is\n"
    "                    replaced only once every word is written\n"
    "  -h, --help        show this help\n"
    "  --                everything after it is a FILE\n"
    "\n"
    "A file that cannot be read is reported on standard error and the run goes on.\n"
    "Exit status: 0 when every file was read, 1 when some file could not be read\n"
    "or the output could not be written, 2 for bad arguments.\n";

struct Arguments {
  std::vector<std::filesystem::path> files;
  std::optional<std::string> output;
  bool help = false;
};

// Parses `args`; on a mistake returns nothing and has said why on `err`.
std::optional<Arguments> Parse(std::span<const std::string> args, std::ostream& err) {
  Arguments parsed;
  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (options_ended || arg.size() < 2 || arg.front() != '-') {
      parsed.files.emplace_back(arg);
    } else if (arg == "--") {
      options_ended = true;
    } else if (arg == "-h" || arg == "--help") {
      parsed.help = true;
    } else if (arg == "-o" || arg == "--output") {
      if (i + 1 == args.size()) {
        err << kProgram << ": option " << arg << " needs a file name\n" << kUsage;
        return std::nullopt;
      }
      parsed.output = args[++i];
    } else if (arg.starts_with("--output=")) {
      parsed.output = std::string(arg.substr(9));
    } else {
      err << kProgram << ": unknown option " << arg << "\n" << kUsage;
      return std::nullopt;
    }
  }
  if (parsed.output && parsed.output->empty()) {
    err << kProgram << ": the output file name is empty\n" << kUsage;
    return std::nullopt;
  }
  if (!parsed.help && parsed.files.empty()) {
    err << kProgram << ": no input files\n" << kUsage;
    return std::nullopt;
  }
  return parsed;
}

// The report text with its line breaks as a terminal shows them: a bare CR would
// send the cursor back and the next line would overwrite the location.
std::string ForTerminal(std::string text) {
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      shown.push_back(text[i]);
    } else if (i + 1 >= text.size() || text[i + 1] != '\n') {
      shown.push_back('\n');
    }
  }
  return shown;
}

// Calls write(chunk) with the words as CR LF lines, a few hundred kilobytes at a time.
template <typename Write>
void WriteWords(const std::vector<CountedWord>& words, Write&& write) {
  constexpr std::size_t kChunk = 256 * 1024;
  std::string chunk;
  chunk.reserve(kChunk + 64);
  for (const CountedWord& word : words) {
    chunk.append(word.word);
    chunk.append("\r\n");
    if (chunk.size() >= kChunk) {
      write(std::string_view(chunk));
      chunk.clear();
    }
  }
  if (!chunk.empty()) write(std::string_view(chunk));
}

// Writes the words to a new file beside `target` and renames it over `target` only
// when all of it is written, so a failed write never destroys an older file.
void WriteFileAtomically(const std::filesystem::path& target,
                         const std::vector<CountedWord>& words) {
  const auto fail = [&target](int error) {
    throw std::system_error(error, std::generic_category(),
                            "cannot write '" + target.string() + "'");
  };
  std::string temp = target.string() + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) fail(errno);
  // mkstemp makes the file readable by its owner only; give it the usual mode.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  int error = 0;
  WriteWords(words, [&](std::string_view chunk) {
    while (error == 0 && !chunk.empty()) {
      const ssize_t put = ::write(fd, chunk.data(), chunk.size());
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) {
        error = errno;
      } else {
        chunk.remove_prefix(static_cast<std::size_t>(put));
      }
    }
  });
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && std::rename(temp.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    std::remove(temp.c_str());
    fail(error);
  }
}

}  // namespace

int Run(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  const std::optional<Arguments> parsed = Parse(args, err);
  if (!parsed) return kExitUsage;
  if (parsed->help) {
    out << kHelp;
    return kExitAllRead;
  }

  ExtractionOptions options;
  options.report = [&err](const ApplicationError& error) {
    err << ForTerminal(
               ComposeApplicationErrorMessage(error.description, error.location, error.line))
        << '\n';
  };
  const ExtractionResult result = ExtractWords(parsed->files, options);

  int status = result.reports == 0 ? kExitAllRead : kExitSomeFailed;
  if (parsed->output) {
    try {
      WriteFileAtomically(*parsed->output, result.words);
    } catch (const std::system_error& failure) {
      err << kProgram << ": " << failure.what() << '\n';
      status = kExitSomeFailed;
    }
  } else {
    WriteWords(result.words, [&out](std::string_view chunk) {
      out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    });
    out.flush();
    if (!out) {
      err << kProgram << ": cannot write the words to standard output\n";
      status = kExitSomeFailed;
    }
  }
  err << "Results (Total Word Count: " << result.total << ")\n";
  return status;
}

}  // namespace lintavel
