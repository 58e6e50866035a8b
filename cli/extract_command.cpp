#include "cli/extract_command.h"

#include <cerrno>
#include <filesystem>
#include <new>
#include <optional>
#include <sstream>
#include <string_view>
#include <system_error>
#include <vector>

#include "cli/arguments.h"
#include "cli/corpus_options.h"
#include "cli/input_list.h"
#include "cli/kwic_command.h"
#include "cli/progress_bar.h"
#include "corpus/dispersion.h"
#include "corpus/equal_parts.h"
#include "corpus/keyness.h"
#include "corpus/reference_list.h"
#include "engine/extraction.h"
#include "engine/utf8.h"
#include "lintavel_version.h"
#include "output/safe_file_writer.h"

#include <sys/stat.h>
#include <unistd.h>

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
    "  --files-from LIST      the files named in LIST, one a line (- for standard input;\n"
    "                         a pipe is read once its writer opens it; a folder or\n"
    "                         device is refused)\n"
    "  --recursive DIR        every file below DIR whose name ends in .EXT (any case),\n"
    "  --ext EXT              found as \"Add All File(s) In Folder\" finds them (* for\n"
    "                         every file); what its rules pass over is said\n"
    "  --encoding ENC         cp1252 (the default, as the window reads), utf-8, utf-16\n"
    "                         (byte order from the byte-order mark, else little-endian)\n"
    "                         or auto (per file: UTF-16 after a UTF-16 byte-order mark,\n"
    "                         UTF-8 after a UTF-8 one or for valid UTF-8, else cp1252);\n"
    "                         ill-formed UTF-8 or UTF-16 becomes U+FFFD, reported once\n"
    "                         per file\n"
    "Output:\n"
    "  -o, --output OUT       write to OUT instead of standard output; OUT is replaced\n"
    "                         only once every word is written, and not at all when no\n"
    "                         input could be read; a folder, device, pipe, socket or\n"
    "                         read-only file is refused; a link is written through\n"
    "  --output-encoding ENC  cp1252 or utf-8; by default cp1252 with --encoding cp1252,\n"
    "                         utf-8 otherwise (auto too); a character ENC lacks is\n"
    "                         written as \"?\"\n"
    "  --counts               write \"count<TAB>word\" lines (--format tsv)\n"
    "  --format FMT           text (the default), tsv, csv (RFC 4180, header\n"
    "                         word,count[,files]) or json ({\"total\",\"distinct\",\n"
    "                         \"words\":[{\"word\",\"count\"[,\"files\"]}]}); csv and json\n"
    "                         are UTF-8\n"
    "Corpus:\n"
    "  --fold-case            words differing only in case are one, listed folded\n"
    "                         (cp1252: the code page's pairs; Unicode: simple folding)\n"
    "  --html                 count only the text of HTML: tags, comments, script and\n"
    "                         style are no words; inline tags (b, i, a, span, em, ...)\n"
    "                         join, all others separate; &amp; &eacute; &#233; decoded;\n"
    "                         what is left open at the end of a file is reported\n"
    "  --stop-list FILE       leave out the words of FILE (one a line, same encoding,\n"
    "                         word rules and case option); may be repeated; a pipe,\n"
    "                         device or folder is refused\n"
    "  --min-count N          only the words seen at least N times\n"
    "  --top N                only the N most frequent words\n"
    "  --sort ORDER           count (the default), count-desc or word\n"
    "  --per-file             add the number of files each word occurs in (tsv, csv,\n"
    "                         json)\n"
    "  --stats                total, distinct, seen once and type-token ratio on\n"
    "                         standard error\n"
    "  --ngrams N             count sequences of N (1 to 8) consecutive words, or with\n"
    "                         MIN-MAX of MIN to MAX words in one list, each listed as\n"
    "                         its words joined by one blank; the word rules,\n"
    "                         --fold-case and --html apply to each word; a stop word\n"
    "                         ends a sequence and is in none; none crosses a file's\n"
    "                         end; the total counts the sequences\n"
    "  --ngram-breaks RULE    where else sequences end: sentence (the default: after\n"
    "                         a word whose text ended in . ! or ?, and at an HTML\n"
    "                         block element), line (line ends too) or none\n"
    "Keyness and dispersion (formulas in the manual page):\n"
    "  --per-million          add each word's frequency per million words (tsv, csv,\n"
    "                         json)\n"
    "  --dispersion OVER      files: add the range and Juilland's D and Gries's DP over\n"
    "                         the input files; parts=N: D and DP over N equal parts\n"
    "                         of the words (tsv, csv, json)\n"
    "  --reference FILE       write a keyness table against the reference corpus FILE,\n"
    "                         counted with the same options; may be repeated\n"
    "  --reference-list FILE  the same against a word list with counts, as --format\n"
    "                         tsv or csv writes it, or word<TAB>count lines\n"
    "  --keyness SIDE         positive (the default: the keywords), negative or both\n"
    "  --min-ll X             only the words with a log-likelihood G2 of at least X\n"
    "                         (3.84, 6.63, 10.83, ...); rows are in G2 order\n"
    "Concordance:\n"
    "  --kwic WORD            instead of the list, every occurrence of WORD (UTF-8, as\n"
    "                         the list lists it: the same word rules, --encoding,\n"
    "                         --html and --fold-case) with the file, the line and the\n"
    "                         context on either side, tabs and line ends as blanks;\n"
    "                         --format text (aligned columns), tsv, csv (header\n"
    "                         file,line,left,word,right) or json, all UTF-8; a word\n"
    "                         that does not occur gives an empty result\n"
    "  --kwic-sort ORDER      text (the default: file, then place), right (by the\n"
    "                         first word after) or left (by the last word before)\n"
    "  --kwic-width N         characters of context on each side, 0 to 1000 (40)\n"
    "Word rules and list filters:\n"
    "  --words RULE           default (the rules above) or unicode (Unicode word\n"
    "                         boundaries: a word holds a letter, number, ideograph or\n"
    "                         kana; quotes, dashes and other punctuation end words;\n"
    "                         each Han ideograph is a word)\n"
    "  --split-elisions       with --words unicode: French and Italian elisions are\n"
    "                         words of their own (\"l’\" \"histoire\")\n"
    "  --lemma-list FILE      count each form under its lemma; FILE has lines\n"
    "                         \"lemma -> form1, form2\" (same encoding, word rules and\n"
    "                         case option as the text); a pipe, device or folder is\n"
    "                         refused\n"
    "  --stem LANG            count words under their Snowball stem in LANG\n"
    "  --stem-show SHOW       stem (the default) or form (the most frequent word)\n"
    "  --match REGEX          list only words REGEX (RE2) finds; may be repeated\n"
    "  --exclude REGEX        list no word REGEX finds; may be repeated\n"
    "  --min-length N         list only words of at least N characters\n"
    "  --max-length N         list only words of at most N characters\n"
    "                         (filtered words still count in the total)\n"
    "Running:\n"
    "  --threads N            counting threads (default: one per core)\n"
    "  --memory-limit SIZE    bound of the counting tables, as 512M, 2G, 100000K or\n"
    "                         bytes (default: half of the memory); past it they go\n"
    "                         to sorted runs on disk, merged at the end\n"
    "  --temp-dir DIR         where those runs go (default: TMPDIR, else /tmp)\n"
    "  -q, --quiet            no progress bar (it is drawn only on a terminal)\n"
    "  -h, --help             show this help\n"
    "  --version              show the version\n"
    "  --                     everything after it is a FILE\n"
    "\n"
    "A file that cannot be read is reported on standard error and the run goes on.\n"
    "Exit status: 0 when every file was read, 1 when some file could not be read, the\n"
    "inputs name no file at all, the output could not be written or the run itself\n"
    "failed (out of memory, no counting thread), 2 for bad arguments, an unusable file\n"
    "list, stop list, reference list or lemma list (its file and line), an invalid\n"
    "pattern, an unknown stemmer language, a --recursive DIR that is no folder or a\n"
    "number out of range (one line, nothing read or written).\n"
    "\n"
    "Examples, one per option:\n"
    "  lintavel-extract book.txt\n"
    "  lintavel-extract --files-from list.txt\n"
    "  lintavel-extract --recursive corpus --ext txt\n"
    "  lintavel-extract --encoding auto notes.txt\n"
    "  lintavel-extract -o words.txt book.txt\n"
    "  lintavel-extract --encoding utf-8 --output-encoding cp1252 book.txt\n"
    "  lintavel-extract --counts book.txt\n"
    "  lintavel-extract --format csv -o words.csv book.txt\n"
    "  lintavel-extract --encoding utf-8 --fold-case book.txt\n"
    "  lintavel-extract --html --encoding utf-8 page.html\n"
    "  lintavel-extract --stop-list stop.txt book.txt\n"
    "  lintavel-extract --min-count 5 book.txt\n"
    "  lintavel-extract --top 100 book.txt\n"
    "  lintavel-extract --sort count-desc book.txt\n"
    "  lintavel-extract --per-file --format json a.txt b.txt\n"
    "  lintavel-extract --stats book.txt > /dev/null\n"
    "  lintavel-extract --ngrams 2-3 --fold-case book.txt\n"
    "  lintavel-extract --ngrams 2 --ngram-breaks line book.txt\n"
    "  lintavel-extract --format tsv --per-million book.txt\n"
    "  lintavel-extract --format csv --dispersion files a.txt b.txt c.txt\n"
    "  lintavel-extract --format csv --reference ref.txt essay.txt\n"
    "  lintavel-extract --reference-list ref.tsv --format tsv essay.txt\n"
    "  lintavel-extract --reference ref.txt --keyness both --format csv essay.txt\n"
    "  lintavel-extract --reference ref.txt --min-ll 6.63 essay.txt\n"
    "  lintavel-extract --kwic Lord book.txt\n"
    "  lintavel-extract --kwic lord --fold-case --kwic-sort right book.txt\n"
    "  lintavel-extract --kwic Lord --kwic-width 30 --format csv book.txt\n"
    "  lintavel-extract --encoding utf-8 --words unicode book.txt\n"
    "  lintavel-extract --encoding utf-8 --words unicode --split-elisions livre.txt\n"
    "  lintavel-extract --lemma-list lemmas.txt book.txt\n"
    "  lintavel-extract --encoding utf-8 --fold-case --stem english book.txt\n"
    "  lintavel-extract --stem english --stem-show form book.txt\n"
    "  lintavel-extract --match '^un' book.txt\n"
    "  lintavel-extract --exclude '[0-9]' book.txt\n"
    "  lintavel-extract --min-length 3 book.txt\n"
    "  lintavel-extract --max-length 12 book.txt\n"
    "  lintavel-extract --threads 1 --quiet book.txt\n"
    "  lintavel-extract --memory-limit 512M --temp-dir /var/tmp --stats big.txt\n"
    "  lintavel-extract -- -odd-name.txt\n";

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

// Clears the progress bar, when there is one, before a line goes to standard error.
struct ErrorLines {
  std::ostream& err;
  std::optional<ProgressBar>& bar;

  std::ostream& Line() {
    if (bar) bar->Clear();
    return err;
  }
};

// The engine's options for the arguments: how to read, and where each report goes.
ExtractionOptions EngineOptions(const Arguments& parsed, ErrorLines& lines) {
  ExtractionOptions options;
  options.threads = parsed.threads;
  options.memory_limit = parsed.memory_limit != 0 ? parsed.memory_limit : DefaultMemoryLimit();
  if (parsed.temp_dir) options.temp_dir = *parsed.temp_dir;
  options.encoding = parsed.encoding;
  options.on_failure = [&lines](const FileFailure& failure) {
    lines.Line() << kProgram << ": " << ForTerminal(FailureMessage(failure)) << '\n';
  };
  options.on_ill_formed = [&lines](const std::filesystem::path& file, std::uint64_t count,
                                   InputEncoding encoding) {
    lines.Line() << kProgram << ": " << file.string() << ": " << count << " ill-formed "
                 << (encoding == InputEncoding::kUtf16 ? "UTF-16" : "UTF-8")
                 << " sequence(s) read as U+FFFD\n";
  };
  options.html = parsed.corpus.html;
  options.words = parsed.corpus.word_options.words;
  options.split_elisions = parsed.corpus.word_options.split_elisions;
  options.ngrams = parsed.corpus.ngrams;
  options.on_html_unclosed = [&lines](const std::filesystem::path& file, std::string_view what,
                                      std::uint64_t line) {
    lines.Line() << kProgram << ": " << file.string() << ": " << what << " from line " << line
                 << " is never closed; the text after it is not counted\n";
  };
  return options;
}

// Why runs cannot be written into `folder`, or nothing when they can.
std::optional<std::string> UnusableFolder(const std::string& folder) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) return std::generic_category().message(errno);
  if (!S_ISDIR(info.st_mode)) return std::string("it is not a folder");
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return std::generic_category().message(errno);
  return std::nullopt;
}

// Says that the inputs name no file at all: a likely mistake (an --ext with its dot,
// an empty list), which must not pass for an empty result.
void SayNoFile(const Arguments& parsed, std::ostream& err) {
  err << kProgram << ": the inputs name no file";
  if (parsed.extension && parsed.extension->starts_with('.')) {
    err << " (--ext takes the extension without its dot: " << parsed.extension->substr(1)
        << ", not " << *parsed.extension << ")";
  }
  if (parsed.output) {
    err << "; '" << *parsed.output << "' is left as it was";
  }
  err << '\n';
}

// What keyness and dispersion add to a run: the reference and the parts' counts.
struct Analyses {
  std::optional<CorpusList> reference;
  std::optional<PartCounts> parts;
  int reference_reports = 0;      // reference files that could not be read
  bool reference_unread = false;  // no reference file could be read
};

std::string Fixed(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6f", value);
  return text;
}

// The columns --per-million and --dispersion add to the list of `result`.
ListColumns AnalysisColumns(const CorpusArguments& corpus, const CorpusRun& result,
                            const Analyses& analyses) {
  ListColumns columns;
  if (corpus.per_million) columns.names.emplace_back("per_million");
  if (analyses.parts) {
    columns.names.emplace_back("juilland_d");
    columns.names.emplace_back("gries_dp");
  }
  if (columns.names.empty()) return columns;
  // A million equal parts are scored by the parts each word occurs in.
  std::optional<SparseDispersion> sparse;
  if (analyses.parts && corpus.dispersion_parts != 0) sparse.emplace(analyses.parts->sizes());
  columns.fill = [&corpus, &result, &analyses, sparse, counts = std::vector<std::uint64_t>()](
                     std::size_t row, std::vector<std::string>& fields) mutable {
    const CorpusWord& word = result.list.words[row];
    std::size_t at = 0;
    if (corpus.per_million) {
      fields[at++] = Fixed(result.list.total == 0 ? 0.0
                                                  : static_cast<double>(word.count) * 1e6 /
                                                        static_cast<double>(result.list.total));
    }
    if (analyses.parts) {
      DispersionScores scores;
      if (sparse) {
        scores = sparse->Score(analyses.parts->PartsOf(word.word));
      } else {
        analyses.parts->CountsOf(word.word, counts);
        scores = ScoreDispersion(counts, analyses.parts->sizes());
      }
      fields[at++] = scores.juilland_d ? Fixed(*scores.juilland_d) : "";
      fields[at++] = Fixed(scores.gries_dp);
    }
  };
  return columns;
}

// Writes the list of `result` (or its keyness table against the reference) to the
// -o file, or else to standard output; says what failed. Gives the exit status.
int WriteOutput(const Arguments& parsed, CorpusRun& result, const Analyses& analyses,
                std::optional<SafeFileWriter>& output_file, std::size_t inputs,
                const CommandStreams& streams) {
  std::ostream& err = streams.err;
  const WordEncoding output = parsed.output_encoding.value_or(result.list.encoding);
  const ListFormat format = FormatOf(parsed.corpus, parsed.counts);
  const CorpusSettings& settings = parsed.corpus.settings;
  std::optional<KeynessTable> keyness;
  if (analyses.reference) {
    keyness = CompareLists(result.list, *analyses.reference,
                           parsed.corpus.keyness.value_or(KeynessSide::kPositive),
                           parsed.corpus.min_ll.value_or(0), settings.min_count, settings.top);
  }
  const ListColumns columns = AnalysisColumns(parsed.corpus, result, analyses);
  const auto write_list = [&](const std::function<void(std::string_view)>& write) {
    const bool with_files = parsed.corpus.settings.per_file ||
                            (parsed.corpus.dispersion && parsed.corpus.dispersion_parts == 0);
    if (keyness) {
      WriteKeyness(*keyness, format, output, write);
    } else if (result.streamed) {
      // Words handed out one by one are written as they come, a batch at a time.
      ListWriter writer(result.list, format, output, with_files, columns, write);
      StreamWords(result, [&writer] { writer.WriteRows(); });
      writer.Finish();
    } else {
      WriteList(result.list, format, output, with_files, columns, write);
    }
  };
  int status = result.reports == 0 ? kExitAllRead : kExitSomeFailed;
  if (parsed.output && result.files_read == 0 && inputs != 0) {
    // Nothing was read: an empty list would only destroy the previous results.
    err << kProgram << ": no input could be read; '" << *parsed.output << "' is left as it was\n";
  } else if (parsed.output) {
    try {
      write_list([&](std::string_view chunk) { output_file->Write(chunk); });
      output_file->Commit();
    } catch (const FileWriteError& failure) {
      err << kProgram << ": " << failure.what() << '\n';
      status = kExitSomeFailed;
    } catch (const std::bad_alloc&) {
      err << kProgram << ": out of memory while writing '" << *parsed.output << "'\n";
      status = kExitSomeFailed;
    } catch (const ExtractionFailure& failure) {
      err << kProgram << ": " << failure.what() << "; '" << *parsed.output
          << "' is left as it was\n";
      status = kExitSomeFailed;
    }
  } else {
    try {
      write_list([&](std::string_view chunk) {
        streams.out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
      });
      streams.out.flush();
    } catch (const std::bad_alloc&) {
      err << kProgram << ": out of memory while writing the words\n";
      return kExitSomeFailed;
    } catch (const ExtractionFailure& failure) {
      err << kProgram << ": " << failure.what() << '\n';
      return kExitSomeFailed;
    }
    if (!streams.out) {
      err << kProgram << ": cannot write the words to standard output\n";
      status = kExitSomeFailed;
    }
  }
  if (parsed.corpus.stats) {
    err << StatsText(result.list);
    if (result.spill.runs != 0) {
      err << "spilled: " << result.spill.runs << " runs, " << result.spill.bytes << " bytes, "
          << result.spill.entries << " entries\n";
    }
  }
  err << "Results (Total Word Count: " << result.list.total << ")\n";
  return status;
}

// Counts the inputs, by file or part when their dispersion is asked for, and the reference
// files when there are some; a keyness table is made of lists neither cut nor shaped.
CorpusRun ExtractAnalysed(std::span<const std::filesystem::path> files,
                          const ExtractionOptions& options, const Arguments& parsed,
                          CorpusSettings settings, const StopWords& stop_words,
                          Analyses& analyses) {
  if (parsed.corpus.compares()) {
    settings.min_count = 0;
    settings.top.reset();
  }
  if (!parsed.corpus.references.empty()) {
    const std::vector<std::filesystem::path> references(parsed.corpus.references.begin(),
                                                        parsed.corpus.references.end());
    ExtractionOptions counting = options;
    counting.progress = nullptr;
    CorpusRun reference = ExtractCorpus(references, counting, settings, stop_words);
    analyses.reference_reports = reference.reports;
    analyses.reference_unread = reference.files_read == 0;
    analyses.reference = std::move(reference.list);
  }
  // Only a plain list can be written as its words come from the disk.
  settings.stream = !parsed.corpus.compares() && !parsed.corpus.dispersion;
  if (!parsed.corpus.dispersion) return ExtractCorpus(files, options, settings, stop_words);
  DispersedRun dispersed = parsed.corpus.dispersion_parts == 0
                               ? ExtractCorpusByFile(files, options, settings, stop_words)
                               : ExtractCorpusByParts(files, options, settings, stop_words,
                                                      parsed.corpus.dispersion_parts);
  analyses.parts = std::move(dispersed.parts);
  return std::move(dispersed.run);
}

int RunGuarded(std::span<const std::string> args, const CommandStreams& streams) {
  std::ostream& err = streams.err;
  const std::optional<Arguments> parsed = ParseArguments(args, err);
  if (!parsed) return kExitUsage;
  if (parsed->help) {
    streams.out << kHelp;
    return kExitAllRead;
  }
  if (parsed->version) {
    streams.out << kProgram << ' ' << kVersion << '\n';
    return kExitAllRead;
  }
  std::optional<ProgressBar> bar;
  ErrorLines lines{err, bar};
  ExtractionOptions options = EngineOptions(*parsed, lines);
  StopWords stop_words;
  if (!LoadStopWords(parsed->corpus, options, stop_words, err)) return kExitUsage;
  CorpusSettings settings = parsed->corpus.settings;
  if (!LoadListOptions(parsed->corpus, options, settings, err)) return kExitUsage;
  Analyses analyses;
  if (parsed->corpus.reference_list) {
    // The list's words are compared in the encoding the inputs' words will have.
    const WordEncoding words =
        options.encoding == InputEncoding::kCp1252 ? WordEncoding::kCp1252 : WordEncoding::kUtf8;
    CorpusList& reference = analyses.reference.emplace();
    if (const auto wrong = ReadReferenceList(
            *parsed->corpus.reference_list, words, parsed->corpus.settings.fold_case,
            stop_words.empty() ? nullptr : &stop_words, reference)) {
      err << kProgram << ": cannot read the reference list " << *wrong << '\n';
      return kExitUsage;
    }
    // Grouped and filtered as the inputs' words are, so that like is compared with like.
    GroupAndFilter(reference, settings);
  }
  const auto files =
      ResolveInputs(parsed->sources, parsed->extension, streams.in, err, streams.in_fd);
  if (!files) return kExitUsage;
  if (files->empty()) {
    SayNoFile(*parsed, err);
    return kExitSomeFailed;
  }
  if (parsed->temp_dir) {
    if (const auto wrong = UnusableFolder(*parsed->temp_dir)) {
      err << kProgram << ": cannot use the temporary folder '" << *parsed->temp_dir
          << "': " << *wrong << '\n';
      return kExitSomeFailed;
    }
  }
  // A target that cannot be written is refused before any input is read; the old
  // file stays as it is until the new list is whole.
  std::optional<SafeFileWriter> output_file;
  if (parsed->output) {
    try {
      output_file.emplace(*parsed->output);
    } catch (const FileWriteError& failure) {
      err << kProgram << ": " << failure.what() << '\n';
      return kExitSomeFailed;
    }
  }
  if (parsed->kwic.word) return RunKwic(*parsed, *files, output_file, streams);
  if (streams.err_is_terminal && !parsed->quiet) bar.emplace(err);
  if (bar) options.progress = [&](const ExtractionProgress& progress) { bar->Update(progress); };
  CorpusRun result;
  try {
    result = ExtractAnalysed(*files, options, *parsed, settings, stop_words, analyses);
    result.reports += analyses.reference_reports;
    if (!result.cancelled && analyses.reference_unread) {
      lines.Line() << kProgram << ": no reference file could be read";
      if (parsed->output) err << "; '" << *parsed->output << "' is left as it was";
      err << '\n';
      return kExitSomeFailed;
    }
  } catch (const ExtractionFailure& failure) {
    lines.Line() << kProgram << ": " << failure.what() << '\n';
    return kExitSomeFailed;
  } catch (const std::bad_alloc&) {
    // The engine names its own stage; what is left is shaping the counted words.
    lines.Line() << kProgram << ": out of memory while "
                 << (parsed->corpus.settings.fold_case ? "folding the case of the counted words"
                                                       : "putting the counted words in order")
                 << '\n';
    return kExitSomeFailed;
  }
  if (bar) bar->Clear();
  return WriteOutput(*parsed, result, analyses, output_file, files->size(), streams);
}

}  // namespace

int Run(std::span<const std::string> args, const CommandStreams& streams) {
  try {
    return RunGuarded(args, streams);
  } catch (const std::bad_alloc&) {
    streams.err << kProgram << ": out of memory\n";
  } catch (const std::exception& failure) {
    streams.err << kProgram << ": " << failure.what() << '\n';
  }
  return kExitSomeFailed;
}

int Run(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  std::istringstream no_input;
  return Run(args, CommandStreams{no_input, out, err, false});
}

}  // namespace lintavel
