// The Python module `lintavel._lintavel`: the engine's counting behind a small
// Python API. The GIL is released while files are read and counted.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <algorithm>
#include <numeric>
#include <sstream>

#include "cli/arguments.h"
#include "cli/corpus_options.h"
#include "corpus/corpus_run.h"
#include "corpus/list_writer.h"
#include "engine/utf8.h"
#include "output/safe_file_writer.h"
#include "python/counts.h"
#include "python/range_count.h"

namespace py = pybind11;

namespace lintavel::python {

namespace {

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

// The order that `sort` names, as --sort takes it.
WordOrder ParseOrder(const std::string& sort) {
  CorpusArguments corpus;
  std::string error;
  if (!TakeCorpusOption(
           "--sort", false, [&] { return std::optional<std::string>(sort); }, corpus, error)
           .value_or(false)) {
    throw py::value_error(error);
  }
  return corpus.settings.order;
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

// The corpus options that the keyword arguments give, checked as the command line
// checks them.
struct CorpusKeywords {
  CorpusArguments corpus;
  StopWords stop_words;
};

CorpusKeywords ParseCorpus(bool fold_case, bool html, const py::object& stop_list,
                           std::uint64_t min_count, std::optional<std::uint64_t> top,
                           const std::string& sort, const ExtractionOptions& options) {
  CorpusKeywords keywords;
  CorpusArguments& corpus = keywords.corpus;
  corpus.settings.fold_case = fold_case;
  corpus.html = html;
  if (!stop_list.is_none()) {
    for (const auto& file : PathsOf(stop_list)) corpus.stop_lists.push_back(file.string());
  }
  corpus.settings.min_count = min_count;
  if (top && *top == 0) throw py::value_error("top needs a whole number from 1");
  corpus.settings.top = top;
  corpus.settings.order = ParseOrder(sort);
  std::ostringstream err;
  if (!LoadStopWords(corpus, options, keywords.stop_words, err)) {
    std::string message = err.str();
    while (!message.empty() && message.back() == '\n') message.pop_back();
    throw py::value_error(message);
  }
  return keywords;
}

py::str WordText(std::string_view word, WordEncoding encoding) {
  if (encoding == WordEncoding::kUtf8) return py::str(word.data(), word.size());
  std::string utf8;
  AppendCp1252AsUtf8(word, utf8);
  return py::str(utf8);
}

// The bytes of `word` in the encoding of `counts`; nothing when it cannot be a word
// of theirs.
std::optional<std::string> WordBytes(const Counts& counts, const py::str& word) {
  std::string utf8 = word.cast<std::string>();
  if (counts.list().encoding == WordEncoding::kUtf8) return utf8;
  std::string bytes = Utf8ToCp1252(utf8);
  // A character that the code page lacks comes back as "?", which no word holds.
  if (bytes.find('?') != std::string::npos) return std::nullopt;
  return bytes;
}

Counts Count(const py::object& paths, const std::string& encoding, unsigned threads, bool fold_case,
             bool html, const py::object& stop_list, std::uint64_t min_count,
             std::optional<std::uint64_t> top, const std::string& sort, bool per_file) {
  const std::vector<std::filesystem::path> files = PathsOf(paths);
  ExtractionOptions options;
  options.encoding = ParseInputEncoding(encoding);
  options.threads = threads;
  options.html = html;
  CorpusKeywords keywords = ParseCorpus(fold_case, html, stop_list, min_count, top, sort, options);
  keywords.corpus.settings.per_file = per_file;
  std::vector<FileError> errors;
  options.on_failure = [&](const FileFailure& failure) {
    errors.push_back({failure.path.string(), FailureMessage(failure)});
  };
  CorpusRun run;
  {
    // A run that fails as a whole (out of memory, no thread) raises RuntimeError.
    py::gil_scoped_release unlocked;
    run = ExtractCorpus(files, options, keywords.corpus.settings, keywords.stop_words);
  }
  return Counts(std::move(run.list), std::move(errors), per_file);
}

Counts CountFileRange(const py::object& path, std::int64_t start, std::optional<std::int64_t> end,
                      const std::string& encoding, std::optional<std::string> file_encoding,
                      bool fold_case, const py::object& stop_list, std::uint64_t min_count,
                      std::optional<std::uint64_t> top, const std::string& sort, bool per_file) {
  const std::filesystem::path file = OnePath(path);
  if (start < 0 || (end && *end < start)) {
    throw py::value_error("the range [" + std::to_string(start) + ", " +
                          (end ? std::to_string(*end) : "end") + ") is no range of a file");
  }
  ExtractionOptions options;
  options.encoding = ParseInputEncoding(encoding);
  CorpusKeywords keywords = ParseCorpus(fold_case, false, stop_list, min_count, top, sort, options);
  keywords.corpus.settings.per_file = per_file;
  std::optional<FileDecoding> decoding;
  if (file_encoding) {
    if (options.encoding != InputEncoding::kAuto) {
      throw py::value_error("file_encoding goes only with encoding=\"auto\"");
    }
    if (*file_encoding == "cp1252") {
      decoding = FileDecoding::kCp1252AsUtf8;
    } else if (*file_encoding == "utf-8") {
      decoding = FileDecoding::kUtf8;
    } else if (*file_encoding == "utf-16") {
      decoding = FileDecoding::kUtf16;
    } else {
      throw py::value_error("unknown file_encoding '" + *file_encoding +
                            "' (cp1252, utf-8 or utf-16)");
    }
  }
  py::gil_scoped_release unlocked;
  if (!decoding) decoding = DecodingOf(file, options.encoding);
  return CountRange(
      file, static_cast<std::uint64_t>(start),
      end ? std::optional<std::uint64_t>(static_cast<std::uint64_t>(*end)) : std::nullopt,
      *decoding, keywords.corpus.settings, keywords.stop_words);
}

std::string DetectEncoding(const py::object& path) {
  const std::filesystem::path file = OnePath(path);
  py::gil_scoped_release unlocked;
  switch (DecodingOf(file, InputEncoding::kAuto)) {
    case FileDecoding::kUtf8:
      return "utf-8";
    case FileDecoding::kUtf16:
      return "utf-16";
    default:
      return "cp1252";
  }
}

void Write(const Counts& counts, const py::object& target, const std::string& encoding) {
  const std::string path = OnePath(target).string();
  const WordEncoding output = ParseOutputEncoding(encoding);
  py::gil_scoped_release unlocked;
  try {
    SafeFileWriter file(path);
    WriteList(counts.list(), ListFormat::kText, output, false,
              [&](std::string_view chunk) { file.Write(chunk); });
    file.Commit();
  } catch (const FileWriteError& failure) {
    py::gil_scoped_acquire locked;
    PyErr_SetString(PyExc_OSError, failure.what());
    throw py::error_already_set();
  }
}

Counts MergeAll(const std::vector<const Counts*>& parts, bool same_file) {
  py::gil_scoped_release unlocked;
  return Counts::Merged(parts, same_file);
}

py::list Items(const Counts& counts, std::size_t from, std::size_t to) {
  const CorpusList& list = counts.list();
  py::list items;
  for (std::size_t i = from; i < to; ++i) {
    items.append(py::make_tuple(WordText(list.words[i].word, list.encoding), list.words[i].count));
  }
  return items;
}

}  // namespace

}  // namespace lintavel::python

PYBIND11_MODULE(_lintavel, m) {
  using namespace lintavel;
  using namespace lintavel::python;
  m.doc() = "The word counting engine of Lintavel.";

  py::class_<Counts>(m, "Counts",
                     "Counted words in the window's order: least frequent first, ties in "
                     "ordinal UTF-16 order.")
      .def(py::init<>())
      .def_property_readonly(
          "total", [](const Counts& c) { return c.list().total; }, "The number of words counted.")
      .def_property_readonly(
          "encoding",
          [](const Counts& c) {
            return c.list().encoding == WordEncoding::kCp1252 ? "cp1252" : "utf-8";
          },
          "The encoding of the words as read: cp1252, or utf-8 after any other input.")
      .def_property_readonly(
          "errors",
          [](const Counts& c) {
            py::list errors;
            for (const FileError& e : c.errors()) errors.append(py::make_tuple(e.path, e.reason));
            return errors;
          },
          "The files that could not be read: (path, reason), in the order of the files.")
      .def_property_readonly(
          "per_file", &Counts::per_file,
          "Whether the files each word occurs in were counted (count(..., per_file=True)).")
      .def(
          "files",
          [](const Counts& c, const py::str& word) {
            if (!c.per_file())
              throw py::value_error("the files were not counted: use per_file=True");
            const auto bytes = WordBytes(c, word);
            return bytes ? c.FilesOf(*bytes) : 0;
          },
          py::arg("word"), "In how many of the files `word` occurs.")
      .def("__len__", [](const Counts& c) { return c.list().words.size(); })
      .def("__getitem__",
           [](const Counts& c, const py::str& word) {
             const auto bytes = WordBytes(c, word);
             return bytes ? c.CountOf(*bytes) : 0;
           })
      .def("__contains__",
           [](const Counts& c, const py::object& word) {
             if (!py::isinstance<py::str>(word)) return false;
             const auto bytes = WordBytes(c, word.cast<py::str>());
             return bytes && c.Contains(*bytes);
           })
      .def("__iter__",
           [](const Counts& c) {
             py::list words;
             for (const CorpusWord& w : c.list().words) {
               words.append(WordText(w.word, c.list().encoding));
             }
             return py::iter(words);
           })
      .def(
          "items", [](const Counts& c) { return Items(c, 0, c.list().words.size()); },
          "(word, count) pairs in the order of the list.")
      .def(
          "most_common",
          [](const Counts& c, std::optional<std::size_t> n) {
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
      .def(
          "merge",
          [](const Counts& c, const Counts& other) {
            return MergeAll(std::vector<const Counts*>{&c, &other}, false);
          },
          py::arg("other"), "New counts: these and `other` added, word by word.")
      .def("__add__",
           [](const Counts& c, const Counts& other) {
             return MergeAll(std::vector<const Counts*>{&c, &other}, false);
           })
      .def("write", &Write, py::arg("path"), py::arg("encoding") = "cp1252",
           "Writes the words, each followed by CR LF, as the window saves its results; "
           "a character the encoding lacks is written as '?'. The file is replaced only "
           "once every word is written.")
      .def("_shape", [](Counts& c, std::uint64_t min_count, std::optional<std::uint64_t> top,
                        const std::string& sort) { c.Shape(min_count, top, ParseOrder(sort)); })
      .def("_drop_repeated_errors", &Counts::DropRepeatedErrors)
      .def("__repr__",
           [](const Counts& c) {
             return "<lintavel.Counts: " + std::to_string(c.list().words.size()) +
                    " words, total " + std::to_string(c.list().total) + ", " +
                    std::to_string(c.errors().size()) + " errors>";
           })
      .def(py::pickle(
          [](const Counts& c) { return py::bytes(c.Serialize()); },
          [](const py::bytes& state) { return Counts::Deserialize(std::string_view(state)); }));

  m.def("count", &Count, py::arg("paths"), py::arg("encoding") = "cp1252", py::arg("threads") = 0u,
        py::kw_only(), py::arg("fold_case") = false, py::arg("html") = false,
        py::arg("stop_list") = py::none(), py::arg("min_count") = 0u, py::arg("top") = py::none(),
        py::arg("sort") = "count", py::arg("per_file") = false);
  m.def("count_range", &CountFileRange, py::arg("path"), py::arg("start"),
        py::arg("end") = py::none(), py::kw_only(), py::arg("encoding") = "cp1252",
        py::arg("file_encoding") = py::none(), py::arg("fold_case") = false,
        py::arg("stop_list") = py::none(), py::arg("min_count") = 0u, py::arg("top") = py::none(),
        py::arg("sort") = "count", py::arg("per_file") = false);
  m.def("detect_encoding", &DetectEncoding, py::arg("path"));
  m.def("merge_all", &MergeAll, py::arg("parts"), py::kw_only(), py::arg("same_file") = false);
}
