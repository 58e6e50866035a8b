// The Python module `lintavel._lintavel`: the engine's counting behind a small
// Python API. Only the binding lives here: arguments, the GIL and Python's types.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <numeric>
#include <sstream>
#include <stdexcept>
#include <tuple>

#include "corpus/concordance.h"
#include "corpus/corpus_counts.h"
#include "corpus/corpus_run.h"
#include "corpus/dispersion.h"
#include "corpus/equal_parts.h"
#include "corpus/keyness.h"
#include "corpus/list_writer.h"
#include "corpus/option_names.h"
#include "corpus/range_parts.h"
#include "corpus/reference_list.h"
#include "corpus/stop_lists.h"
#include "corpus/word_options.h"
#include "engine/range_extraction.h"
#include "engine/text_file_reader.h"
#include "engine/utf8.h"
#include "output/safe_file_writer.h"

namespace py = pybind11;

namespace lintavel::python {

namespace {

// Bytes as the system has them (a path, or a message with paths in it) as Python
// gives them back: os.fsdecode, undecodable bytes as surrogate escapes.
py::str FsDecoded(std::string_view bytes) {
  PyObject* text = PyUnicode_DecodeFSDefaultAndSize(bytes.data(), std::ssize(bytes));
  if (text == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(text);
}

// Raises `type` with `message`, whose paths may hold any bytes.
[[noreturn]] void Raise(PyObject* type, std::string_view message) {
  PyErr_SetObject(type, FsDecoded(message.empty() ? "unknown failure" : message).ptr());
  throw py::error_already_set();
}

// The whole number `value` of the keyword `name`, at least `least`: TypeError for no
// whole number, ValueError for one out of range.
std::uint64_t WholeNumber(const py::handle& value, const char* name, std::uint64_t least) {
  if (py::isinstance<py::bool_>(value) || !py::isinstance<py::int_>(value)) {
    throw py::type_error(std::string(name) + " must be a whole number, not " +
                         std::string(py::str(py::type::of(value).attr("__name__"))));
  }
  int overflow = 0;
  const long long number = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
  if (overflow > 0 ||
      (overflow == 0 && number >= 0 && static_cast<std::uint64_t>(number) >= least)) {
    const unsigned long long big = PyLong_AsUnsignedLongLong(value.ptr());
    if (big == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
      PyErr_Clear();
      throw py::value_error(std::string(name) + " is too large");
    }
    return big;
  }
  throw py::value_error(std::string(name) + " needs a whole number from " + std::to_string(least));
}

InputEncoding ParseInputEncoding(const std::string& name) {
  const auto encoding = InputEncodingNamed(name);
  if (!encoding) {
    throw py::value_error("unknown encoding '" + name + "' (cp1252, utf-8, utf-16 or auto)");
  }
  return *encoding;
}

WordEncoding ParseOutputEncoding(const std::string& name) {
  const auto encoding = OutputEncodingNamed(name);
  if (!encoding) throw py::value_error("unknown output encoding '" + name + "' (cp1252 or utf-8)");
  return *encoding;
}

WordOrder ParseOrder(const std::string& sort) {
  const auto order = WordOrderNamed(sort);
  if (!order) throw py::value_error("unknown sort '" + sort + "' (count, count-desc or word)");
  return *order;
}

std::vector<std::filesystem::path> PathsOf(const py::object& paths) {
  const py::module_ os = py::module_::import("os");
  const auto one = [&](const py::handle& item) {
    if (!py::isinstance<py::str>(item) && !py::hasattr(item, "__fspath__")) {
      throw py::type_error("a path must be a str or an os.PathLike, not " +
                           std::string(py::str(py::type::of(item).attr("__name__"))));
    }
    // The bytes of the name, as the system has them.
    const py::bytes name = os.attr("fsencode")(item);
    return std::filesystem::path(name.cast<std::string>());
  };
  std::vector<std::filesystem::path> list;
  if (py::isinstance<py::str>(paths) || py::hasattr(paths, "__fspath__")) {
    list.push_back(one(paths));
    return list;
  }
  if (py::isinstance<py::bytes>(paths) || !py::hasattr(paths, "__iter__")) {
    throw py::type_error("paths must be a path or an iterable of paths");
  }
  for (const py::handle item : paths) list.push_back(one(item));
  return list;
}

// The one path that `path` names; TypeError for anything else.
std::filesystem::path OnePath(const py::object& path) {
  if (!py::isinstance<py::str>(path) && !py::hasattr(path, "__fspath__")) {
    throw py::type_error("path must be a str or an os.PathLike");
  }
  return PathsOf(path).front();
}

// The corpus keyword arguments, checked as the command line checks its options.
struct CorpusKeywords {
  CorpusSettings settings;
  bool html = false;
  StopWords stop_words;
  WordOptions words;
  NgramSettings ngrams;
};

// The keywords of the word rule, the grouping and the filters of the list.
struct WordKeywords {
  std::string words;
  bool split_elisions = false;
  py::object lemma_list;
  py::object stem;
  std::string stem_show;
  py::object match;
  py::object exclude;
  py::object min_length;
  py::object max_length;
  py::object ngrams = py::none();                          // None, a length, or "MIN-MAX"
  std::optional<std::string> ngram_breaks = std::nullopt;  // None: "sentence"
};

// The patterns of `patterns`: None, one str, or an iterable of str.
std::vector<std::string> PatternsOf(const py::object& patterns, const char* name) {
  std::vector<std::string> list;
  if (patterns.is_none()) return list;
  if (py::isinstance<py::str>(patterns)) return {patterns.cast<std::string>()};
  if (py::isinstance<py::bytes>(patterns) || !py::hasattr(patterns, "__iter__")) {
    throw py::type_error(std::string(name) + " must be a str or an iterable of str");
  }
  for (const py::handle item : patterns) {
    if (!py::isinstance<py::str>(item)) {
      throw py::type_error(std::string(name) + " must be a str or an iterable of str");
    }
    list.push_back(item.cast<std::string>());
  }
  return list;
}

// Takes `keywords` into `words` and `settings` as the command line takes the same
// options, and reads the lemma list and compiles the patterns into `settings`;
// ValueError for what the command line refuses.
void TakeWordKeywords(const WordKeywords& keywords, const ExtractionOptions& options,
                      WordOptions& words, CorpusSettings& settings) {
  try {
    words.words = WordRuleNamed(keywords.words);
    words.split_elisions = keywords.split_elisions;
    if (!keywords.lemma_list.is_none()) {
      words.lemma_list = OnePath(keywords.lemma_list).string();
      if (words.lemma_list->empty()) throw WordOptionError("lemma_list needs a file name");
    }
    if (!keywords.stem.is_none()) {
      settings.stem = StemLanguageNamed(keywords.stem.cast<std::string>());
    }
    settings.stem_show = StemShowNamed(keywords.stem_show);
    words.filters.match = PatternsOf(keywords.match, "match");
    words.filters.exclude = PatternsOf(keywords.exclude, "exclude");
    if (!keywords.min_length.is_none()) {
      words.filters.min_length = WholeNumber(keywords.min_length, "min_length", 0);
    }
    if (!keywords.max_length.is_none()) {
      words.filters.max_length = WholeNumber(keywords.max_length, "max_length", 1);
    }
    if (const auto wrong = WordOptionsConflict(words, settings)) throw WordOptionError(*wrong);
    ExtractionOptions reading = options;
    reading.on_ill_formed = nullptr;
    LoadWordOptions(words, reading, settings);
  } catch (const WordOptionError& failure) {
    Raise(PyExc_ValueError, failure.what());
  }
}

CorpusKeywords ParseCorpus(bool fold_case, bool html, const py::object& stop_list,
                           const py::object& min_count, const py::object& top,
                           const std::string& sort, bool per_file, const WordKeywords& words,
                           ExtractionOptions& options) {
  CorpusKeywords keywords;
  CorpusSettings& settings = keywords.settings;
  settings.fold_case = fold_case;
  settings.per_file = per_file;
  keywords.html = html;
  settings.min_count = WholeNumber(min_count, "min_count", 0);
  if (!top.is_none()) settings.top = WholeNumber(top, "top", 1);
  settings.order = ParseOrder(sort);
  TakeWordKeywords(words, options, keywords.words, settings);
  if (!words.ngrams.is_none()) {
    const std::string text = py::isinstance<py::int_>(words.ngrams)
                                 ? std::to_string(words.ngrams.cast<long long>())
                                 : py::str(words.ngrams).cast<std::string>();
    const auto lengths = NgramLengthsNamed(text);
    if (!lengths) {
      throw py::value_error(
          "ngrams needs N or \"MIN-MAX\", from 1 to 8 (such as 2 or \"2-3\"), not " + text);
    }
    std::tie(keywords.ngrams.shortest, keywords.ngrams.longest) = *lengths;
  }
  if (words.ngram_breaks) {
    const auto breaks = NgramBreaksNamed(*words.ngram_breaks);
    if (!breaks) {
      throw py::value_error("unknown ngram_breaks '" + *words.ngram_breaks +
                            "' (sentence, line or none)");
    }
    if (!keywords.ngrams.active())
      throw py::value_error("ngram_breaks goes with ngrams of more than one word");
    keywords.ngrams.breaks = *breaks;
  }
  // A lemma, stem or pattern is of one word, not of a sequence of them.
  if (keywords.ngrams.active() &&
      (keywords.words.lemma_list || !settings.stem.empty() ||
       !keywords.words.filters.match.empty() || !keywords.words.filters.exclude.empty())) {
    throw py::value_error("ngrams goes with none of lemma_list, stem, match and exclude");
  }
  options.words = keywords.words.words;
  options.split_elisions = keywords.words.split_elisions;
  if (!stop_list.is_none()) {
    try {
      keywords.stop_words = ReadStopLists(PathsOf(stop_list), options, fold_case);
    } catch (const StopListError& failure) {
      Raise(PyExc_ValueError, failure.what());
    }
  }
  options.ngrams = keywords.ngrams;
  return keywords;
}

// What counts made with these keywords carry.
CountsOrigin OriginOf(const CorpusKeywords& keywords, InputEncoding encoding) {
  const CorpusSettings& settings = keywords.settings;
  CountsOrigin origin;
  origin.encoding = encoding;
  origin.fold_case = settings.fold_case;
  origin.html = keywords.html;
  origin.per_file = settings.per_file;
  origin.stop_words = keywords.stop_words.fingerprint();
  origin.cut = settings.min_count > 1 || settings.top.has_value() || GroupsOrFilters(settings);
  origin.unicode_words = keywords.words.words == WordRule::kUnicode;
  origin.split_elisions = keywords.words.split_elisions;
  origin.ngram_shortest = keywords.ngrams.shortest;
  origin.ngram_longest = keywords.ngrams.longest;
  origin.ngram_breaks =
      keywords.ngrams.active() ? static_cast<unsigned>(keywords.ngrams.breaks) : 0;
  return origin;
}

// Lets Python's signal handlers run between blocks while the GIL is released: one
// that raises (Ctrl-C: KeyboardInterrupt) cancels the run, and RaiseIfSignalled
// raises it once the GIL is back.
class SignalWatch {
 public:
  SignalWatch() = default;
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;
  // Holds the GIL: it goes after the run, when the GIL is back.
  ~SignalWatch() {
    Py_XDECREF(type_);
    Py_XDECREF(value_);
    Py_XDECREF(trace_);
  }

  const std::atomic<bool>* cancel() const { return &cancel_; }

  // Called between blocks without the GIL; takes it briefly every few milliseconds.
  void Poll() {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(20) || cancel_) return;
    last_ = now;
    py::gil_scoped_acquire locked;
    if (PyErr_CheckSignals() != 0) {
      PyErr_Fetch(&type_, &value_, &trace_);
      cancel_ = true;
    }
  }

  void RaiseIfSignalled() {
    if (type_ == nullptr) return;
    PyErr_Restore(type_, value_, trace_);
    type_ = value_ = trace_ = nullptr;
    throw py::error_already_set();
  }

 private:
  std::atomic<bool> cancel_ = false;
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
  PyObject* type_ = nullptr;
  PyObject* value_ = nullptr;
  PyObject* trace_ = nullptr;
};

py::str WordText(std::string_view word, WordEncoding encoding) {
  if (encoding == WordEncoding::kUtf8) return py::str(word.data(), word.size());
  std::string utf8;
  AppendCp1252AsUtf8(word, utf8);
  return py::str(utf8);
}

// The bytes of `word` in the encoding of `counts`; nothing when it cannot be a word
// of theirs (a lone surrogate, a character the code page lacks).
std::optional<std::string> WordBytes(const CorpusCounts& counts, const py::handle& word) {
  if (!py::isinstance<py::str>(word)) return std::nullopt;
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(word.ptr(), &size);
  if (data == nullptr) {
    PyErr_Clear();
    return std::nullopt;
  }
  std::string utf8(data, static_cast<std::size_t>(size));
  if (counts.list().encoding == WordEncoding::kUtf8) return utf8;
  std::string bytes = Utf8ToCp1252(utf8);
  // A character that the code page lacks comes back as "?", which no word holds.
  if (bytes.find('?') != std::string::npos) return std::nullopt;
  return bytes;
}

// Keyness, dispersion and normalised frequency: the keywords of `count`.
struct AnalysisKeywords {
  bool per_million = false;
  bool dispersion = false;
  std::uint32_t parts = 0;  // the dispersion's equal parts; 0: over the files
  std::vector<std::filesystem::path> references;
  std::optional<std::string> reference_list;
  KeynessSide side = KeynessSide::kPositive;
  double min_ll = 0;

  bool compares() const { return !references.empty() || reference_list.has_value(); }
};

KeynessSide ParseSide(const std::string& keyness) {
  if (keyness == "positive") return KeynessSide::kPositive;
  if (keyness == "negative") return KeynessSide::kNegative;
  if (keyness == "both") return KeynessSide::kBoth;
  throw py::value_error("unknown keyness '" + keyness + "' (positive, negative or both)");
}

double ParseMinLl(double min_ll) {
  if (!std::isfinite(min_ll) || min_ll < 0) {
    throw py::value_error("min_ll needs a number from 0 (such as 3.84, 6.63 or 10.83)");
  }
  return min_ll;
}

AnalysisKeywords ParseAnalyses(bool per_million, const std::optional<std::string>& dispersion,
                               const py::object& reference,
                               const std::optional<py::object>& reference_list,
                               const std::optional<std::string>& keyness,
                               const std::optional<double>& min_ll) {
  AnalysisKeywords analyses;
  analyses.per_million = per_million;
  if (dispersion) {
    if (const auto wrong = ReadDispersionOver(*dispersion, analyses.parts)) {
      throw py::value_error(*wrong);
    }
    analyses.dispersion = true;
  }
  if (!reference.is_none()) analyses.references = PathsOf(reference);
  if (reference_list) analyses.reference_list = OnePath(*reference_list).string();
  if (!analyses.references.empty() && analyses.reference_list) {
    throw py::value_error("reference and reference_list go with no other");
  }
  if (keyness) analyses.side = ParseSide(*keyness);
  if (min_ll) analyses.min_ll = ParseMinLl(*min_ll);
  if (!analyses.compares() && (keyness || min_ll)) {
    throw py::value_error("keyness and min_ll need reference or reference_list");
  }
  if (analyses.compares() && (per_million || analyses.dispersion)) {
    throw py::value_error("a keyness table goes with no per_million or dispersion");
  }
  return analyses;
}

// The keyness table of a count, with the files that could not be read.
struct Keywords {
  KeynessTable table;
  std::vector<FileFailure> failures;
  py::object owners;  // the counts whose words the rows point into, when not in `table`
};

// (files, juilland_d, gries_dp) of each word of `list` over `parts`, in the order of
// the list; the files figure, each word's range over the parts, only `with_files`.
py::list DispersionRows(const CorpusList& list, const PartCounts& parts, bool with_files) {
  py::list rows;
  std::vector<std::uint64_t> counts;
  // Equal parts, maybe a million, are scored by the parts each word occurs in.
  std::optional<SparseDispersion> sparse;
  if (!with_files) sparse.emplace(parts.sizes());
  for (const CorpusWord& word : list.words) {
    const auto occurs = parts.PartsOf(word.word);
    DispersionScores scores;
    if (sparse) {
      scores = sparse->Score(occurs);
    } else {
      parts.CountsOf(word.word, counts);
      scores = ScoreDispersion(counts, parts.sizes());
    }
    // Each part the word occurs in is listed once.
    const auto range = static_cast<std::uint64_t>(occurs.size());
    rows.append(py::make_tuple(with_files ? py::cast(range) : py::none(),
                               scores.juilland_d ? py::cast(*scores.juilland_d) : py::none(),
                               scores.gries_dp));
  }
  return rows;
}

py::object Count(const py::object& paths, const std::string& encoding, const py::object& threads,
                 bool fold_case, bool html, const py::object& stop_list,
                 const py::object& min_count, const py::object& top, const std::string& sort,
                 bool per_file, bool per_million, const std::optional<std::string>& dispersion,
                 const py::object& reference, const std::optional<py::object>& reference_list,
                 const std::optional<std::string>& keyness, const std::optional<double>& min_ll,
                 const std::string& words, bool split_elisions, const py::object& lemma_list,
                 const py::object& stem, const std::string& stem_show, const py::object& match,
                 const py::object& exclude, const py::object& min_length,
                 const py::object& max_length, const py::object& ngrams,
                 const std::optional<std::string>& ngram_breaks, const py::object& memory_limit,
                 const py::object& temp_dir) {
  const AnalysisKeywords analyses =
      ParseAnalyses(per_million, dispersion, reference, reference_list, keyness, min_ll);
  const std::vector<std::filesystem::path> files = PathsOf(paths);
  ExtractionOptions options;
  options.encoding = ParseInputEncoding(encoding);
  options.threads =
      static_cast<unsigned>(std::min<std::uint64_t>(WholeNumber(threads, "threads", 0), UINT_MAX));
  options.html = html;
  // Below 16 MiB the tables would be spilled every few thousand words.
  if (!memory_limit.is_none())
    options.memory_limit = WholeNumber(memory_limit, "memory_limit", 16 << 20);
  if (!temp_dir.is_none()) options.temp_dir = OnePath(temp_dir);
  const CorpusKeywords keywords =
      ParseCorpus(fold_case, html, stop_list, min_count, top, sort, per_file,
                  {words, split_elisions, lemma_list, stem, stem_show, match, exclude, min_length,
                   max_length, ngrams, ngram_breaks},
                  options);
  // The files of a grouped word are not kept, so neither is its dispersion.
  if (analyses.dispersion && (keywords.words.lemma_list || !keywords.settings.stem.empty())) {
    throw py::value_error("dispersion does not go with lemma_list or stem");
  }
  if (analyses.parts != 0 && html) {
    throw py::value_error("dispersion parts=N does not go with html");
  }
  if (analyses.dispersion && keywords.ngrams.active()) {
    throw py::value_error("dispersion does not go with ngrams");
  }
  CorpusList reference_words;
  if (analyses.reference_list) {
    const WordEncoding list_encoding =
        options.encoding == InputEncoding::kCp1252 ? WordEncoding::kCp1252 : WordEncoding::kUtf8;
    if (const auto wrong = ReadReferenceList(
            *analyses.reference_list, list_encoding, fold_case,
            keywords.stop_words.empty() ? nullptr : &keywords.stop_words, reference_words)) {
      Raise(PyExc_ValueError, "cannot read the reference list " + *wrong);
    }
    // Grouped and filtered as the inputs' words are, so that like is compared with like.
    GroupAndFilter(reference_words, keywords.settings);
  }
  CorpusSettings settings = keywords.settings;
  if (analyses.compares()) {
    settings.min_count = 0;
    settings.top.reset();
  }
  std::vector<FileFailure> failures;
  SignalWatch signals;
  options.cancel = signals.cancel();
  options.progress = [&](const ExtractionProgress&) { signals.Poll(); };
  options.on_failure = [&](const FileFailure& failure) { failures.push_back(failure); };
  options.on_html_unclosed = [&](const std::filesystem::path& file, std::string_view what,
                                 std::uint64_t line) {
    failures.push_back({file, FailureStage::kDecode, 0,
                        std::string(what) + " from line " + std::to_string(line) +
                            " is never closed; the text after it is not counted"});
  };
  CorpusRun run;
  std::optional<PartCounts> parts;
  try {
    py::gil_scoped_release unlocked;
    if (!analyses.references.empty()) {
      reference_words =
          ExtractCorpus(analyses.references, options, settings, keywords.stop_words).list;
    }
    if (analyses.dispersion) {
      DispersedRun dispersed =
          analyses.parts == 0
              ? ExtractCorpusByFile(files, options, settings, keywords.stop_words)
              : ExtractCorpusByParts(files, options, settings, keywords.stop_words, analyses.parts);
      run = std::move(dispersed.run);
      parts = std::move(dispersed.parts);
    } else {
      run = ExtractCorpus(files, options, settings, keywords.stop_words);
    }
  } catch (const ExtractionFailure& failure) {
    // The run failed as a whole: out of memory, no thread.
    signals.RaiseIfSignalled();
    Raise(PyExc_RuntimeError, failure.what());
  }
  signals.RaiseIfSignalled();
  if (analyses.compares()) {
    Keywords table{CompareLists(run.list, reference_words, analyses.side, analyses.min_ll,
                                keywords.settings.min_count, keywords.settings.top),
                   std::move(failures), py::none()};
    // The rows point into both lists: the lists go with the table.
    table.table.storage.Absorb(std::move(run.list.storage));
    table.table.storage.Absorb(std::move(reference_words.storage));
    return py::cast(std::make_unique<Keywords>(std::move(table)));
  }
  // Over equal parts there is no files figure.
  const py::list dispersion_rows =
      parts ? DispersionRows(run.list, *parts, analyses.parts == 0) : py::list();
  py::object counts = py::cast(
      CorpusCounts(std::move(run.list), std::move(failures), OriginOf(keywords, options.encoding)));
  counts.attr("_per_million") = analyses.per_million;
  counts.attr("_dispersion") = parts ? py::object(dispersion_rows) : py::none();
  counts.attr("_dispersion_files") = analyses.parts == 0;
  return counts;
}

// The lines of `word` in `paths` as (file, line, left, word, right) tuples; each
// file that cannot be read is said by a RuntimeWarning and the search goes on.
py::list Concordance(const py::object& paths, const std::string& word, const std::string& encoding,
                     bool html, bool fold_case, const py::object& width, const std::string& sort,
                     const py::object& threads, const std::string& words, bool split_elisions) {
  const std::vector<std::filesystem::path> files = PathsOf(paths);
  ConcordanceOptions options;
  options.encoding = ParseInputEncoding(encoding);
  options.html = html;
  options.fold_case = fold_case;
  try {
    WordOptions rule;
    rule.words = WordRuleNamed(words);
    rule.split_elisions = split_elisions;
    if (const auto wrong = WordOptionsConflict(rule, CorpusSettings{})) {
      throw WordOptionError(*wrong);
    }
    options.words = rule.words;
    options.split_elisions = split_elisions;
  } catch (const WordOptionError& failure) {
    throw py::value_error(failure.what());
  }
  options.width = static_cast<std::size_t>(WholeNumber(width, "width", 0));
  if (options.width > kMaxConcordanceWidth) {
    throw py::value_error("width needs a whole number from 0 to " +
                          std::to_string(kMaxConcordanceWidth));
  }
  options.threads =
      static_cast<unsigned>(std::min<std::uint64_t>(WholeNumber(threads, "threads", 0), UINT_MAX));
  KwicSort order = KwicSort::kText;
  if (sort == "right") {
    order = KwicSort::kRight;
  } else if (sort == "left") {
    order = KwicSort::kLeft;
  } else if (sort != "text") {
    throw py::value_error("unknown sort '" + sort + "' (text, right or left)");
  }
  std::vector<FileFailure> failures;
  std::vector<ConcordanceLine> lines;
  SignalWatch signals;
  options.cancel = signals.cancel();
  options.progress = [&](std::size_t) { signals.Poll(); };
  options.on_failure = [&](const FileFailure& failure) { failures.push_back(failure); };
  {
    py::gil_scoped_release unlocked;
    FindConcordance(files, word, options, [&](const ConcordanceLine& line) {
      lines.push_back(line);
      if (lines.size() % 4096 == 0) signals.Poll();
      return true;
    });
    SortConcordance(lines, order);
  }
  signals.RaiseIfSignalled();
  for (const FileFailure& failure : failures) {
    if (PyErr_WarnEx(PyExc_RuntimeWarning, FailureMessage(failure).c_str(), 1) != 0) {
      throw py::error_already_set();
    }
  }
  py::list result;
  for (const ConcordanceLine& line : lines) {
    result.append(py::make_tuple(FsDecoded(line.path.string()), line.line, py::str(line.left),
                                 py::str(line.word), py::str(line.right)));
  }
  return result;
}

CorpusCounts CountFileRange(const py::object& path, const py::object& start, const py::object& end,
                            const std::string& encoding,
                            const std::optional<std::string>& file_encoding, bool fold_case,
                            const py::object& stop_list, const py::object& min_count,
                            const py::object& top, const std::string& sort, bool per_file,
                            const std::string& words, bool split_elisions,
                            const py::object& lemma_list, const py::object& stem,
                            const std::string& stem_show, const py::object& match,
                            const py::object& exclude, const py::object& min_length,
                            const py::object& max_length, const py::object& ngrams,
                            const std::optional<std::string>& ngram_breaks) {
  const std::filesystem::path file = OnePath(path);
  ByteRange range;
  range.start = WholeNumber(start, "start", 0);
  if (!end.is_none()) range.end = WholeNumber(end, "end", 0);
  if (range.end && *range.end < range.start) {
    throw py::value_error("the range [" + std::to_string(range.start) + ", " +
                          std::to_string(*range.end) + ") is no range of a file");
  }
  ExtractionOptions options;
  options.encoding = ParseInputEncoding(encoding);
  const CorpusKeywords keywords =
      ParseCorpus(fold_case, false, stop_list, min_count, top, sort, per_file,
                  {words, split_elisions, lemma_list, stem, stem_show, match, exclude, min_length,
                   max_length, ngrams, ngram_breaks},
                  options);
  std::optional<FileDecoding> decoding;
  if (file_encoding) {
    if (options.encoding != InputEncoding::kAuto) {
      throw py::value_error("file_encoding goes only with encoding=\"auto\"");
    }
    decoding = AutoFileDecodingNamed(*file_encoding);
    if (!decoding) {
      throw py::value_error("unknown file_encoding '" + *file_encoding +
                            "' (cp1252, utf-8 or utf-16)");
    }
  }
  std::vector<FileFailure> failures;
  SignalWatch signals;
  options.cancel = signals.cancel();
  options.progress = [&](const ExtractionProgress&) { signals.Poll(); };
  CorpusRun run;
  try {
    py::gil_scoped_release unlocked;
    if (!decoding) decoding = DecodingOf(file, options.encoding);
    run =
        ExtractCorpusRange(file, range, *decoding, options, keywords.settings, keywords.stop_words,
                           [&](const FileFailure& failure) { failures.push_back(failure); });
  } catch (const std::invalid_argument& refused) {
    Raise(PyExc_ValueError, refused.what());
  }
  signals.RaiseIfSignalled();
  return CorpusCounts(std::move(run.list), std::move(failures),
                      OriginOf(keywords, options.encoding));
}

// The number of equal parts `parts`, as count() takes it in "parts=N".
std::uint32_t PartsNumber(const py::object& parts) {
  const std::uint64_t number = WholeNumber(parts, "parts", 2);
  if (number > kMaxEqualParts) throw py::value_error("parts goes up to 1000000");
  return static_cast<std::uint32_t>(number);
}

// The counts of the words of a range of a corpus in its `parts` equal parts, the
// range's first word being the corpus's word numbered `first` of `total`, as
// SpreadCounts::Serialize writes them (lintavel.dask). `counts` are the range's as
// count_range gave them with the same keywords: when they lie in one part, they are
// that part's and the file is not read again.
py::bytes SpreadOfRange(const py::object& path, const py::object& start, const py::object& end,
                        const std::string& encoding,
                        const std::optional<std::string>& file_encoding, bool fold_case,
                        const py::object& stop_list, const std::string& words, bool split_elisions,
                        const CorpusCounts& counts, const py::object& first,
                        const py::object& total, const py::object& parts) {
  const std::filesystem::path file = OnePath(path);
  ByteRange range;
  range.start = WholeNumber(start, "start", 0);
  if (!end.is_none()) range.end = WholeNumber(end, "end", 0);
  const std::uint64_t first_word = WholeNumber(first, "first", 0);
  const std::uint64_t all_words = WholeNumber(total, "total", 0);
  const std::uint64_t range_words = counts.list().total;
  if (range_words > all_words || first_word > all_words - range_words) {
    throw py::value_error("the range's words lie beyond the total");
  }
  const PartPlaces places(all_words, PartsNumber(parts));
  if (range_words == 0 ||
      places.PartOf(first_word) == places.PartOf(first_word + range_words - 1)) {
    return py::bytes(SpreadInOnePart(counts.list(), places, first_word).Serialize());
  }
  ExtractionOptions options;
  options.encoding = ParseInputEncoding(encoding);
  const CorpusKeywords keywords =
      ParseCorpus(fold_case, false, stop_list, py::int_(0), py::none(), "count", false,
                  {words, split_elisions, py::none(), py::none(), "stem", py::none(), py::none(),
                   py::none(), py::none()},
                  options);
  std::optional<FileDecoding> decoding;
  if (file_encoding) {
    decoding = AutoFileDecodingNamed(*file_encoding);
    if (!decoding) throw py::value_error("unknown file_encoding '" + *file_encoding + "'");
  }
  SignalWatch signals;
  options.cancel = signals.cancel();
  options.progress = [&](const ExtractionProgress&) { signals.Poll(); };
  std::string spread;
  try {
    py::gil_scoped_release unlocked;
    if (!decoding) decoding = DecodingOf(file, options.encoding);
    spread = SpreadRange(file, range, *decoding, options, fold_case, keywords.stop_words, places,
                         first_word, range_words)
                 .Serialize();
  } catch (const std::runtime_error& failure) {
    signals.RaiseIfSignalled();
    Raise(PyExc_RuntimeError, "cannot cut '" + file.string() + "' into parts: " + failure.what());
  }
  signals.RaiseIfSignalled();
  return py::bytes(spread);
}

// The part counts of consecutive ranges, in their order, as one spread: each item
// a spread's bytes (its part in `parts` below 0) or the counts of a range within
// the part given; consecutive counts of one part are merged before they are placed.
py::bytes MergeSpreads(const std::vector<std::int64_t>& parts, const py::args& items) {
  if (parts.size() != items.size()) throw py::value_error("a part for each item");
  std::vector<std::string> held(items.size());
  std::vector<const CorpusCounts*> counts(items.size(), nullptr);
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (parts[i] < 0) {
      held[i] = items[i].cast<std::string>();
    } else {
      if (parts[i] >= kMaxEqualParts) throw py::value_error("no such part");
      counts[i] = &items[i].cast<const CorpusCounts&>();
    }
  }
  std::string bytes;
  {
    py::gil_scoped_release unlocked;
    SpreadCounts merged;
    for (std::size_t i = 0; i < items.size();) {
      if (parts[i] < 0) {
        merged.Append(SpreadCounts::Deserialize(held[i++]));
        continue;
      }
      std::vector<const CorpusCounts*> same_part;
      const std::int64_t part = parts[i];
      for (; i < items.size() && parts[i] == part; ++i) same_part.push_back(counts[i]);
      const CorpusCounts together = CorpusCounts::Merged(same_part);
      for (const CorpusWord& word : together.list().words) {
        merged.Add(static_cast<std::uint32_t>(part), word.word, word.count);
      }
    }
    bytes = merged.Serialize();
  }
  return py::bytes(bytes);
}

std::string DetectEncoding(const py::object& path) {
  const std::filesystem::path file = OnePath(path);
  std::optional<FileFailure> failure;
  FileDecoding decoding = FileDecoding::kCp1252;
  {
    py::gil_scoped_release unlocked;
    failure = OpeningFailure(file);
    if (!failure) decoding = DecodingOf(file, InputEncoding::kAuto);
  }
  if (failure) Raise(PyExc_OSError, FailureMessage(*failure));
  return std::string(AutoFileDecodingName(decoding));
}

// The keyness table of `target` against `reference`, counts of every word of each
// made alike, as count() makes it with keyness and min_ll.
py::object KeywordsOf(const py::object& target, const py::object& reference,
                      const std::string& keyness, double min_ll, const py::object& min_count,
                      const py::object& top) {
  const auto& target_counts = target.cast<const CorpusCounts&>();
  const auto& reference_counts = reference.cast<const CorpusCounts&>();
  if (target_counts.list().encoding != reference_counts.list().encoding &&
      !target_counts.list().words.empty() && !reference_counts.list().words.empty()) {
    throw py::value_error("the target and the reference were read in different encodings");
  }
  const KeynessSide side = ParseSide(keyness);
  const double least_ll = ParseMinLl(min_ll);
  const std::uint64_t least = WholeNumber(min_count, "min_count", 0);
  const std::optional<std::uint64_t> most =
      top.is_none() ? std::nullopt : std::optional<std::uint64_t>(WholeNumber(top, "top", 1));
  auto table = std::make_unique<Keywords>();
  // The reference's files first, as count() reads the reference first.
  table->failures = reference_counts.failures();
  table->failures.insert(table->failures.end(), target_counts.failures().begin(),
                         target_counts.failures().end());
  {
    py::gil_scoped_release unlocked;
    table->table =
        CompareLists(target_counts.list(), reference_counts.list(), side, least_ll, least, most);
  }
  table->owners = py::make_tuple(target, reference);
  return py::cast(std::move(table));
}

// The reference list at `path` as counts, read as count() reads its reference_list
// and grouped and filtered as the inputs' words are.
CorpusCounts ReferenceListCounts(const py::object& path, const std::string& encoding,
                                 bool fold_case, const py::object& stop_list,
                                 const WordKeywords& words) {
  ExtractionOptions options;
  options.encoding = ParseInputEncoding(encoding);
  const CorpusKeywords keywords = ParseCorpus(fold_case, false, stop_list, py::int_(0), py::none(),
                                              "count", false, words, options);
  const WordEncoding list_encoding =
      options.encoding == InputEncoding::kCp1252 ? WordEncoding::kCp1252 : WordEncoding::kUtf8;
  CorpusList list;
  if (const auto wrong =
          ReadReferenceList(OnePath(path).string(), list_encoding, fold_case,
                            keywords.stop_words.empty() ? nullptr : &keywords.stop_words, list)) {
    Raise(PyExc_ValueError, "cannot read the reference list " + *wrong);
  }
  GroupAndFilter(list, keywords.settings);
  CountsOrigin origin = OriginOf(keywords, options.encoding);
  origin.cut = true;  // a list read back is never merged with counts
  return CorpusCounts(std::move(list), {}, origin);
}

ListFormat ParseFormat(const std::string& format) {
  if (format == "text") return ListFormat::kText;
  if (format == "tsv") return ListFormat::kTsv;
  if (format == "csv") return ListFormat::kCsv;
  if (format == "json") return ListFormat::kJson;
  throw py::value_error("unknown format '" + format + "' (text, tsv, csv or json)");
}

// Writes the list of `counts` to `target` as lintavel-extract --format writes it;
// the files figure, when counted, in all but text.
void WriteFormatted(const CorpusCounts& counts, const py::object& target, const std::string& format,
                    const std::string& encoding) {
  const std::string path = OnePath(target).string();
  const ListFormat list_format = ParseFormat(format);
  const WordEncoding output = ParseOutputEncoding(encoding);
  const bool with_files = list_format != ListFormat::kText && counts.per_file();
  std::string failed;
  {
    py::gil_scoped_release unlocked;
    try {
      SafeFileWriter file(path);
      WriteList(counts.list(), list_format, output, with_files,
                [&](std::string_view chunk) { file.Write(chunk); });
      file.Commit();
    } catch (const FileWriteError& failure) {
      failed = failure.what();
      if (failed.empty()) failed = "cannot write '" + path + "'";
    }
  }
  if (!failed.empty()) Raise(PyExc_OSError, failed);
}

// Writes the words of `counts` as the window saves its results.
void Write(const CorpusCounts& counts, const py::object& target, const std::string& encoding) {
  WriteFormatted(counts, target, "text", encoding);
}

CorpusCounts MergeAll(const py::iterable& parts, bool same_file) {
  std::vector<const CorpusCounts*> list;
  std::vector<py::object> held;  // a generator's items live only as long as held here
  for (const py::handle part : parts) {
    held.push_back(py::reinterpret_borrow<py::object>(part));
    if (!py::isinstance<CorpusCounts>(part)) {
      throw py::type_error("merge_all takes lintavel.Counts, not " +
                           std::string(py::str(py::type::of(part).attr("__name__"))));
    }
    list.push_back(&part.cast<const CorpusCounts&>());
  }
  py::gil_scoped_release unlocked;
  return CorpusCounts::Merged(list, same_file);
}

CorpusCounts MergeTwo(const CorpusCounts& a, const CorpusCounts& b) {
  const std::vector<const CorpusCounts*> parts{&a, &b};
  py::gil_scoped_release unlocked;
  return CorpusCounts::Merged(parts);
}

py::list Items(const CorpusCounts& counts) {
  const CorpusList& list = counts.list();
  py::list items;
  for (const CorpusWord& word : list.words) {
    items.append(py::make_tuple(WordText(word.word, list.encoding), word.count));
  }
  return items;
}

// The dispersion columns of a list as bytes of packed numbers, which cost little
// to send from a worker: the files or parts figures, Juilland's D and Gries's DP.
py::tuple PackedColumns(const std::vector<std::uint64_t>& ranges,
                        const std::vector<double>& juilland, const std::vector<double>& gries) {
  const auto packed = [](const auto& column) {
    return py::bytes(reinterpret_cast<const char*>(column.data()),
                     column.size() * sizeof(column[0]));
  };
  return py::make_tuple(packed(ranges), packed(juilland), packed(gries));
}

}  // namespace

}  // namespace lintavel::python

PYBIND11_MODULE(_lintavel, m) {
  using namespace lintavel;
  using namespace lintavel::python;
  m.doc() = "The word counting engine of Lintavel.";

  py::class_<Keywords>(m, "Keywords",
                       "A keyness table: the words of a count against a reference, the highest "
                       "log-likelihood first.")
      .def_property_readonly("target_total", [](const Keywords& k) { return k.table.target_total; })
      .def_property_readonly("reference_total",
                             [](const Keywords& k) { return k.table.reference_total; })
      .def_property_readonly(
          "errors",
          [](const Keywords& k) {
            py::list errors;
            for (const FileFailure& failure : k.failures) {
              errors.append(py::make_tuple(FsDecoded(failure.path.native()),
                                           FsDecoded(FailureMessage(failure))));
            }
            return errors;
          },
          "The files, inputs or reference, that could not be read: (path, reason).")
      .def("__len__", [](const Keywords& k) { return k.table.rows.size(); })
      .def(
          "rows",
          [](const Keywords& k) {
            py::list rows;
            for (const KeywordRow& row : k.table.rows) {
              const KeynessScores& s = row.scores;
              rows.append(py::make_tuple(WordText(row.word, k.table.encoding), row.target,
                                         row.reference, k.table.target_total,
                                         k.table.reference_total, s.log_likelihood, s.log_ratio,
                                         s.percent_diff ? py::cast(*s.percent_diff) : py::none(),
                                         std::string(1, s.direction)));
            }
            return rows;
          },
          "(word, target_count, reference_count, target_total, reference_total, "
          "log_likelihood, log_ratio, percent_diff, direction) in the table's order.");

  py::class_<CorpusCounts>(m, "Counts", py::dynamic_attr(),
                           "Counted words in the window's order: least frequent first, ties in "
                           "ordinal UTF-16 order.")
      .def(py::init<>())
      .def_property_readonly(
          "total", [](const CorpusCounts& c) { return c.list().total; },
          "The number of words counted.")
      .def_property_readonly(
          "encoding",
          [](const CorpusCounts& c) {
            return c.list().encoding == WordEncoding::kCp1252 ? "cp1252" : "utf-8";
          },
          "The encoding of the words as read: cp1252, or utf-8 after any other input.")
      .def_property_readonly(
          "errors",
          [](const CorpusCounts& c) {
            py::list errors;
            for (const FileFailure& failure : c.failures()) {
              errors.append(py::make_tuple(FsDecoded(failure.path.native()),
                                           FsDecoded(FailureMessage(failure))));
            }
            return errors;
          },
          "The files that could not be read, or were read in part: (path, reason), in the "
          "order of the files.")
      .def_property_readonly(
          "per_file", &CorpusCounts::per_file,
          "Whether the files each word occurs in were counted (count(..., per_file=True)).")
      .def(
          "files",
          [](const CorpusCounts& c, const py::str& word) -> std::uint64_t {
            if (!c.per_file()) {
              throw py::value_error("the files were not counted: use per_file=True");
            }
            const auto bytes = WordBytes(c, word);
            return bytes ? c.FilesOf(*bytes) : 0;
          },
          py::arg("word"), "In how many of the files `word` occurs.")
      .def("__len__", [](const CorpusCounts& c) { return c.list().words.size(); })
      .def("__getitem__",
           [](const CorpusCounts& c, const py::str& word) -> std::uint64_t {
             const auto bytes = WordBytes(c, word);
             return bytes ? c.CountOf(*bytes) : 0;
           })
      .def("__contains__",
           [](const CorpusCounts& c, const py::object& word) {
             const auto bytes = WordBytes(c, word);
             return bytes && c.Contains(*bytes);
           })
      .def("__iter__",
           [](const CorpusCounts& c) {
             py::list words;
             for (const CorpusWord& w : c.list().words) {
               words.append(WordText(w.word, c.list().encoding));
             }
             return py::iter(words);
           })
      .def("items", &Items, "(word, count) pairs in the order of the list.")
      .def(
          "most_common",
          [](const CorpusCounts& c, std::optional<std::size_t> n) {
            const auto& words = c.list().words;
            std::vector<std::size_t> order(words.size());
            std::iota(order.begin(), order.end(), std::size_t{0});
            // Stable: words seen equally often stay in the list's order.
            std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
              return words[a].count > words[b].count;
            });
            const std::size_t keep = std::min(n.value_or(words.size()), words.size());
            py::list items;
            for (std::size_t i = 0; i < keep; ++i) {
              const CorpusWord& w = words[order[i]];
              items.append(py::make_tuple(WordText(w.word, c.list().encoding), w.count));
            }
            return items;
          },
          py::arg("n") = py::none(), "The n most frequent (word, count) pairs, most first.")
      .def("merge", &MergeTwo, py::arg("other"),
           "New counts: these and `other` added, word by word. ValueError when the sum "
           "would not be what one count of all their files gives.")
      .def("__add__", &MergeTwo)
      .def("write", &Write, py::arg("path"), py::arg("encoding") = "cp1252",
           "Writes the words, each followed by CR LF, as the window saves its results; "
           "a character the encoding lacks is written as '?'. The file is replaced only "
           "once every word is written.")
      .def("_shape",
           [](CorpusCounts& c, const py::object& min_count, const py::object& top,
              const std::string& sort) {
             c.Shape(WholeNumber(min_count, "min_count", 0),
                     top.is_none() ? std::nullopt
                                   : std::optional<std::uint64_t>(WholeNumber(top, "top", 1)),
                     ParseOrder(sort));
           })
      .def(
          "_group",
          [](CorpusCounts& c, const std::string& encoding, bool fold_case, const std::string& words,
             bool split_elisions, const py::object& lemma_list, const py::object& stem,
             const std::string& stem_show, const py::object& match, const py::object& exclude,
             const py::object& min_length, const py::object& max_length) {
            ExtractionOptions options;
            options.encoding = ParseInputEncoding(encoding);
            WordOptions word_options;
            CorpusSettings settings;
            settings.fold_case = fold_case;
            TakeWordKeywords({words, split_elisions, lemma_list, stem, stem_show, match, exclude,
                              min_length, max_length},
                             options, word_options, settings);
            if (!GroupsOrFilters(settings)) return;
            c.Regroup([&](CorpusList& list) { GroupAndFilter(list, settings); });
          },
          py::arg("encoding"), py::arg("fold_case"), py::arg("words"), py::arg("split_elisions"),
          py::kw_only(), py::arg("lemma_list"), py::arg("stem"), py::arg("stem_show"),
          py::arg("match"), py::arg("exclude"), py::arg("min_length"), py::arg("max_length"))
      .def("_drop_repeated_errors", &CorpusCounts::DropRepeatedFailures)
      .def("_partitioned", &CorpusCounts::Partitioned, py::arg("parts"))
      .def("_write_formatted", &WriteFormatted, py::arg("path"), py::arg("format"),
           py::arg("encoding"))
      .def("__repr__",
           [](const CorpusCounts& c) {
             return "<lintavel.Counts: " + std::to_string(c.list().words.size()) +
                    " words, total " + std::to_string(c.list().total) + ", " +
                    std::to_string(c.failures().size()) + " errors>";
           })
      .def(py::pickle([](const CorpusCounts& c) { return py::bytes(c.Serialize()); },
                      [](const py::bytes& state) {
                        try {
                          return CorpusCounts::Deserialize(std::string_view(state));
                        } catch (const std::invalid_argument&) {
                          throw py::value_error("not the pickled form of lintavel.Counts");
                        }
                      }));

  m.def("count", &Count, py::arg("paths"), py::arg("encoding") = "cp1252", py::arg("threads") = 0,
        py::kw_only(), py::arg("fold_case") = false, py::arg("html") = false,
        py::arg("stop_list") = py::none(), py::arg("min_count") = 0, py::arg("top") = py::none(),
        py::arg("sort") = "count", py::arg("per_file") = false,
        // Keyness, dispersion and normalised frequency.
        py::arg("per_million") = false, py::arg("dispersion") = py::none(),
        py::arg("reference") = py::none(), py::arg("reference_list") = py::none(),
        py::arg("keyness") = py::none(), py::arg("min_ll") = py::none(),
        // The word rule, the grouping and the filters of the list.
        py::arg("words") = "default", py::arg("split_elisions") = false,
        py::arg("lemma_list") = py::none(), py::arg("stem") = py::none(),
        py::arg("stem_show") = "stem", py::arg("match") = py::none(),
        py::arg("exclude") = py::none(), py::arg("min_length") = py::none(),
        py::arg("max_length") = py::none(), py::arg("ngrams") = py::none(),
        py::arg("ngram_breaks") = py::none(),
        // Counting past the memory: the bound of the tables and where they spill.
        py::arg("memory_limit") = py::none(), py::arg("temp_dir") = py::none());
  m.def("count_range", &CountFileRange, py::arg("path"), py::arg("start"),
        py::arg("end") = py::none(), py::kw_only(), py::arg("encoding") = "cp1252",
        py::arg("file_encoding") = py::none(), py::arg("fold_case") = false,
        py::arg("stop_list") = py::none(), py::arg("min_count") = 0, py::arg("top") = py::none(),
        py::arg("sort") = "count", py::arg("per_file") = false, py::arg("words") = "default",
        py::arg("split_elisions") = false, py::arg("lemma_list") = py::none(),
        py::arg("stem") = py::none(), py::arg("stem_show") = "stem", py::arg("match") = py::none(),
        py::arg("exclude") = py::none(), py::arg("min_length") = py::none(),
        py::arg("max_length") = py::none(), py::arg("ngrams") = py::none(),
        py::arg("ngram_breaks") = py::none());
  m.def("concordance", &Concordance, py::arg("paths"), py::arg("word"), py::kw_only(),
        py::arg("encoding") = "cp1252", py::arg("html") = false, py::arg("fold_case") = false,
        py::arg("width") = 40, py::arg("sort") = "text", py::arg("threads") = 0,
        py::arg("words") = "default", py::arg("split_elisions") = false,
        "Every occurrence of word (as the word list lists it, cut by the word rule words) "
        "in its context, as (file, line, left, word, right) tuples; sort is text, right or "
        "left.");
  m.def("detect_encoding", &DetectEncoding, py::arg("path"),
        "The encoding that encoding=\"auto\" reads the file in: cp1252, utf-8 or utf-16. "
        "OSError when the file cannot be read.");
  // What lintavel.dask needs besides count and merge_all.
  m.def("_keywords", &KeywordsOf, py::arg("target"), py::arg("reference"), py::arg("keyness"),
        py::arg("min_ll"), py::arg("min_count"), py::arg("top"));
  m.def(
      "_reference_list",
      [](const py::object& path, const std::string& encoding, bool fold_case,
         const py::object& stop_list, const std::string& words, bool split_elisions,
         const py::object& lemma_list, const py::object& stem, const std::string& stem_show,
         const py::object& match, const py::object& exclude, const py::object& min_length,
         const py::object& max_length) {
        return ReferenceListCounts(path, encoding, fold_case, stop_list,
                                   {words, split_elisions, lemma_list, stem, stem_show, match,
                                    exclude, min_length, max_length});
      },
      py::arg("path"), py::arg("encoding"), py::arg("fold_case"), py::arg("stop_list"),
      py::kw_only(), py::arg("words"), py::arg("split_elisions"), py::arg("lemma_list"),
      py::arg("stem"), py::arg("stem_show"), py::arg("match"), py::arg("exclude"),
      py::arg("min_length"), py::arg("max_length"));
  m.def(
      "_check_analyses",
      [](bool per_million, const std::optional<std::string>& dispersion,
         const py::object& reference, const std::optional<py::object>& reference_list,
         const std::optional<std::string>& keyness, const std::optional<double>& min_ll) {
        const AnalysisKeywords analyses =
            ParseAnalyses(per_million, dispersion, reference, reference_list, keyness, min_ll);
        return analyses.dispersion ? py::cast(analyses.parts) : py::none();
      },
      "The equal parts of `dispersion` (0 over the files), None without; ValueError as "
      "count() raises it.");
  m.def("merge_all", &MergeAll, py::arg("parts"), py::kw_only(), py::arg("same_file") = false);
  // The dispersion of each word of `counts` over `files` (lintavel.dask), as three
  // packed columns that cost little to send: the files figures (uint64), Juilland's D
  // (float64, NaN for none) and Gries's DP (float64).
  m.def(
      "_dispersion_columns",
      [](const CorpusCounts& counts, const py::iterable& files) {
        PartCounts parts;
        for (const py::handle file : files) parts.AddPart(file.cast<const CorpusCounts&>().list());
        const auto& words = counts.list().words;
        std::vector<std::uint64_t> ranges(words.size());
        std::vector<double> juilland(words.size());
        std::vector<double> gries(words.size());
        {
          py::gil_scoped_release unlocked;
          std::vector<std::uint64_t> each;
          for (std::size_t i = 0; i < words.size(); ++i) {
            ranges[i] = parts.PartsOf(words[i].word).size();
            parts.CountsOf(words[i].word, each);
            const DispersionScores scores = ScoreDispersion(each, parts.sizes());
            juilland[i] = scores.juilland_d.value_or(std::nan(""));
            gries[i] = scores.gries_dp;
          }
        }
        return PackedColumns(ranges, juilland, gries);
      },
      py::arg("counts"), py::arg("files"));
  // Equal parts on a cluster (lintavel.dask): each range's words placed in the
  // parts, the ranges' spreads joined in order, and the words of `counts` scored
  // over the parts as count() scores them, in the packed columns above (the first
  // the number of parts a word occurs in).
  m.def("_spread_range", &SpreadOfRange, py::arg("path"), py::arg("start"), py::arg("end"),
        py::kw_only(), py::arg("encoding"), py::arg("file_encoding"), py::arg("fold_case"),
        py::arg("stop_list"), py::arg("words"), py::arg("split_elisions"), py::arg("counts"),
        py::arg("first"), py::arg("total"), py::arg("parts"));
  m.def("_merge_spreads", &MergeSpreads);
  m.def(
      "_part_of",
      [](const py::object& total, const py::object& parts, const py::object& word) {
        const std::uint64_t all_words = WholeNumber(total, "total", 0);
        const std::uint64_t number = WholeNumber(word, "word", 0);
        if (number >= all_words) throw py::value_error("no such word");
        return PartPlaces(all_words, PartsNumber(parts)).PartOf(number);
      },
      py::arg("total"), py::arg("parts"), py::arg("word"));
  m.def(
      "_part_dispersion_columns",
      [](const CorpusCounts& counts, const py::bytes& spread_bytes, const py::object& total,
         const py::object& parts) {
        const std::uint64_t all_words = WholeNumber(total, "total", 0);
        const EqualParts equal(all_words, PartsNumber(parts));
        const std::string held = spread_bytes;
        const auto& words = counts.list().words;
        std::vector<std::uint64_t> ranges(words.size());
        std::vector<double> juilland(words.size());
        std::vector<double> gries(words.size());
        {
          py::gil_scoped_release unlocked;
          const SpreadCounts spread = SpreadCounts::Deserialize(held);
          std::vector<std::uint64_t> sizes(equal.parts());
          for (std::uint32_t part = 0; part < equal.parts(); ++part)
            sizes[part] = equal.SizeOf(part);
          // As count() scores equal parts: by the parts each word occurs in.
          const SparseDispersion sparse(sizes);
          for (std::size_t i = 0; i < words.size(); ++i) {
            const auto occurs = spread.PartsOf(words[i].word);
            ranges[i] = occurs.size();
            const DispersionScores scores = sparse.Score(occurs);
            juilland[i] = scores.juilland_d.value_or(std::nan(""));
            gries[i] = scores.gries_dp;
          }
        }
        return PackedColumns(ranges, juilland, gries);
      },
      py::arg("counts"), py::arg("spread"), py::arg("total"), py::arg("parts"));
}
