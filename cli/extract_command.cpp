#include "cli/extract_command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string_view>
#include <system_error>
#include <vector>

#include "cli/arguments.h"
#include "cli/input_list.h"
#include "cli/progress_bar.h"
#include "engine/extraction.h"
#include "engine/utf8.h"
#include "shell/error_report.h"

namespace lintavel {

namespace {

constexpr std::string_view kProgram = "lintavel-extract";

constexpr std::string_view kHelp =
    "usage: lintavel-extract [OPTIONS] [FILE...]\n"
    "\n"
    "Reads the input files in the order given and writes every distinct word once,\n"
    "least frequent first; words seen equally often stand in ordinal order of their\n"
    "UTF-16 code units (\"Zebra\" before \"apple\"). Each word is followed by CR LF,\n"
    "exactly as the window saves its results. The total number of words is printed\n"
    "on standard error as \"Results (Total Word Count: N)\".\n"
    "\n"
    "Words: only blanks and line ends (LF, CR LF, CR) separate words; tabs are removed\n"
    "and so join what stands on either side; the 32 ASCII punctuation characters are\n"
    "removed from every word (\"don't\" counts as \"dont\"); a word left empty is no\n"
    "word; case matters (\"The\" and \"the\" are two words).\n"
    "\n"
    "Input:\n"
    "  FILE                   a file to read\n"
    "  --files-from LIST      the files named in LIST, one a line (- for standard input)\n"
    "  --recursive DIR        every file below DIR whose name ends in .EXT, found as\n"
    "  --ext EXT              \"Add All File(s) In Folder\" finds them (* for every file)\n"
    "  --encoding ENC         cp1252 (the default, as the window reads), utf-8, utf-16\n"
    "                         (byte order from the byte-order mark, else little-endian)\n"
    "                         or auto (per file: UTF-16 after a UTF-16 byte-order mark,\n"
    "                         UTF-8 after a UTF-8 one or for valid UTF-8, else cp1252);\n"
    "                         ill-formed UTF-8 or UTF-16 becomes U+FFFD, reported once\n"
    "                         per file\n"
    "Output:\n"
    "  -o, --output OUT       write to OUT instead of standard output; OUT is replaced\n"
    "                         only once every word is written\n"
    "  --output-encoding ENC  cp1252 or utf-8; by default cp1252 after cp1252 input,\n"
    "                         utf-8 otherwise; a character ENC lacks is written as \"?\"\n"
    "  --counts               write \"count<TAB>word\" lines\n"
    "Running:\n"
    "  --threads N            counting threads (default: one per core)\n"
    "  -q, --quiet            no progress bar (it is drawn only on a terminal)\n"
    "  -h, --help             show this help\n"
    "  --                     everything after it is a FILE\n"
    "\n"
    "A file that cannot be read is reported on standard error and the run goes on.\n"
    "Exit status: 0 when every file was read, 1 when some file could not be read or\n"
    "the output could not be written, 2 for bad arguments or an unusable file list.\n";

// The report text with its line breaks as a terminal shows them: a bare CR would
// send the cursor back and the next line would overwrite the location.
std::string ForTerminal(const std::string& text) {
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

// Calls write(chunk) with the output lines, a few hundred kilobytes at a time.
template <typename Write>
void WriteWords(const ExtractionResult& result, WordEncoding output, bool counts, Write&& write) {
  constexpr std::size_t kChunk = 256 * 1024;
  std::string chunk;
  chunk.reserve(kChunk + 256);
  for (const CountedWord& word : result.words) {
    if (counts) {
      chunk.append(std::to_string(word.count));
      chunk.push_back('\t');
    }
    if (output == result.encoding) {
      chunk.append(word.word);
    } else if (output == WordEncoding::kUtf8) {
      AppendCp1252AsUtf8(word.word, chunk);
    } else {
      chunk.append(Utf8ToCp1252(word.word));
    }
    chunk.append("\r\n");
    if (chunk.size() >= kChunk) {
      write(std::string_view(chunk));
      chunk.clear();
    }
  }
  if (!chunk.empty()) write(std::string_view(chunk));
}

// Writes the output to a new file beside `target` and renames it over `target` only
// when all of it is written, so a failed write never destroys an older file.
template <typename Produce>
void WriteFileAtomically(const std::filesystem::path& target, Produce&& produce) {
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
  produce([&](std::string_view chunk) {
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

int Run(std::span<const std::string> args, const CommandStreams& streams) {
  std::ostream& err = streams.err;
  const std::optional<Arguments> parsed = ParseArguments(args, err);
  if (!parsed) return kExitUsage;
  if (parsed->help) {
    streams.out << kHelp;
    return kExitAllRead;
  }
  const auto files = ResolveInputs(parsed->sources, parsed->extension, streams.in, err);
  if (!files) return kExitUsage;

  std::optional<ProgressBar> bar;
  if (streams.err_is_terminal && !parsed->quiet) bar.emplace(err);
  ExtractionOptions options;
  options.threads = parsed->threads;
  options.encoding = parsed->encoding;
  options.report = [&](const ApplicationError& error) {
    if (bar) bar->Clear();
    err << ForTerminal(
               ComposeApplicationErrorMessage(error.description, error.location, error.line))
        << '\n';
  };
  options.on_ill_formed = [&](const std::filesystem::path& file, std::uint64_t count,
                              InputEncoding encoding) {
    if (bar) bar->Clear();
    err << kProgram << ": " << file.string() << ": " << count << " ill-formed "
        << (encoding == InputEncoding::kUtf16 ? "UTF-16" : "UTF-8")
        << " sequence(s) read as U+FFFD\n";
  };
  if (bar) options.progress = [&](const ExtractionProgress& progress) { bar->Update(progress); };
  const ExtractionResult result = ExtractWords(*files, options);
  if (bar) bar->Clear();

  const WordEncoding output = parsed->output_encoding.value_or(result.encoding);
  int status = result.reports == 0 ? kExitAllRead : kExitSomeFailed;
  if (parsed->output) {
    try {
      WriteFileAtomically(*parsed->output,
                          [&](auto&& write) { WriteWords(result, output, parsed->counts, write); });
    } catch (const std::system_error& failure) {
      err << kProgram << ": " << failure.what() << '\n';
      status = kExitSomeFailed;
    }
  } else {
    WriteWords(result, output, parsed->counts, [&](std::string_view chunk) {
      streams.out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    });
    streams.out.flush();
    if (!streams.out) {
      err << kProgram << ": cannot write the words to standard output\n";
      status = kExitSomeFailed;
    }
  }
  err << "Results (Total Word Count: " << result.total << ")\n";
  return status;
}

int Run(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  std::istringstream no_input;
  return Run(args, CommandStreams{no_input, out, err, false});
}

}  // namespace lintavel
