#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/file_failure.h"
#include "engine/ngram.h"
#include "engine/spill.h"
#include "engine/utf8.h"
#include "engine/word_arena.h"
#include "engine/word_counter.h"
#include "engine/word_rule.h"

namespace lintavel {

class StreamedWords;

// How the input files are decoded.
enum class InputEncoding {
  kCp1252,  // Windows-1252, as the window reads them; the words stay Windows-1252
  kUtf8,    // UTF-8, ill-formed parts as U+FFFD, a byte-order mark dropped; words UTF-8
  kUtf16,   // UTF-16 in the order of its byte-order mark, else little-endian; words UTF-8
  // Per file: UTF-16 after a UTF-16 byte-order mark (FF FE 00 00 too: UTF-32 is not
  // read), UTF-8 after a UTF-8 one or for valid UTF-8, else Windows-1252; words UTF-8.
  kAuto,
};

// How far a run has come.
struct ExtractionProgress {
  std::uint64_t bytes_done = 0;
  std::uint64_t bytes_total = 0;  // the sizes of the files when the run began
  std::size_t files_done = 0;
  std::size_t files_total = 0;

  double fraction() const {
    if (bytes_total == 0) return files_done == files_total ? 1.0 : 0.0;
    const double done = static_cast<double>(bytes_done) / static_cast<double>(bytes_total);
    return done < 1.0 ? done : 1.0;
  }
};

// How one file's bytes are read (engine/file_decoding.h).
enum class FileDecoding;

// The words of one block of input, counted apart: where the block lies, and its counts.
struct CountedBlock {
  std::size_t file = 0;        // in the list of files
  std::uint64_t sequence = 0;  // the block's place in its file, from 0
  std::uint64_t offset = 0;    // of its first raw byte in the file
  std::size_t size = 0;        // its raw bytes; it ends after a separator or at the file's end
  bool file_start = false;     // a byte-order mark may lead it
  bool file_end = false;       // the file's last block (given even when empty)
  // With whole_files: how many of the file's blocks the words are of, and, when its
  // last is among them, how many blocks the file has (else 0).
  std::uint64_t blocks = 1;
  std::uint64_t file_blocks = 0;
  FileDecoding decoding{};  // of the file
  bool big_endian = false;  // of a UTF-16 file
  // Its words, as the run counts them; on_block may move them away when the run
  // adds them to no counts of its own (blocks_only).
  WordCounter* words = nullptr;
};

struct ExtractionOptions {
  // Counting threads; 0 takes one per core.
  unsigned threads = 0;
  InputEncoding encoding = InputEncoding::kCp1252;
  // Called on the calling thread after every block of input and at the end.
  std::function<void(const ExtractionProgress&)> progress;
  // Called once for each UTF-8 or UTF-16 file with ill-formed parts, with how many were
  // replaced and the encoding (kUtf8 or kUtf16) in which the file was read.
  std::function<void(const std::filesystem::path&, std::uint64_t, InputEncoding)> on_ill_formed;
  // The rule that cuts the text into words; the default is the window's.
  WordRule words = WordRule::kDefault;
  // With WordRule::kUnicode, French and Italian elisions are words of their own.
  bool split_elisions = false;
  // Counts only the text of HTML (see engine/html_text.h).
  bool html = false;
  // Called once for each HTML file that ends inside a tag, comment, script or style,
  // with what was left open and the line where it began: its text was not counted.
  std::function<void(const std::filesystem::path&, std::string_view, std::uint64_t)>
      on_html_unclosed;
  // Also counts, for each word, the input files it occurs in (ExtractionResult::files).
  bool count_files = false;
  // When active, the sequences of consecutive words are counted in place of the
  // words, each listed as its words joined by one blank; none crosses a file's end.
  NgramSettings ngrams;
  // When set, the decoded text (HTML: its text) is passed through it on a counting
  // thread before its words are cut, in the encoding of the words; it must turn
  // characters into characters and never make, drop or move a blank, line end, tab
  // or ASCII punctuation (case folding does that). It is called from several
  // threads at once.
  std::function<void(std::string_view, std::string&)> transform_text;
  // Checked before every block of input; once set, the run ends as soon as it can.
  const std::atomic<bool>* cancel = nullptr;
  // Receives each file that cannot be opened, read or closed, on the calling thread,
  // in the order of the files.
  FailureSink on_failure;
  // Bytes that the counting tables may hold together (0: no bound; at least 256 KiB
  // a counting thread are taken); beyond it they
  // are written out as sorted runs to a private folder in `temp_dir` (empty: TMPDIR,
  // else /tmp) and merged at the end, to the same result.
  std::uint64_t memory_limit = 0;
  std::filesystem::path temp_dir;
  // A run that spills, or that counts sequences kept packed, hands its words out
  // one by one (ExtractionResult::streamed) rather than gathering them in `words`,
  // for a caller that writes them as they come.
  bool stream_words = false;
  // When set, each block's words are counted into a table of their own and handed
  // here from a counting thread (from several at once, blocks in no order; the words
  // last as long as the call), then added to the run's counts; not with sequences,
  // and the block's table is not bounded by memory_limit. With `blocks_only`
  // they are not added, and the result lists no words.
  std::function<void(const CountedBlock&)> on_block;
  bool blocks_only = false;
  // With on_block, the blocks of one file that a thread counts one after the other
  // are handed on together, when it goes on to another file or the counting ends;
  // a file's words may still come in more than one hand-out.
  bool whole_files = false;
};

struct ExtractionResult {
  WordArena storage;                              // owns the bytes that `words` points to
  std::vector<CountedWord> words;                 // least frequent first, ties in ordinal order
  std::vector<std::uint64_t> files;               // with count_files: each word's files
  WordEncoding encoding = WordEncoding::kCp1252;  // of the bytes of `words`
  std::uint64_t total = 0;                        // the number of words counted
  int reports = 0;                                // failures passed to on_failure
  std::size_t files_read = 0;                     // files that could be opened and read
  bool cancelled = false;                         // the run was cancelled; `words` is then empty
  SpillStats spill;                               // what went to the temporary folder
  // With stream_words, when the run spilled or kept its sequences packed: its words,
  // still to be ordered (engine/streamed_words.h); `words` and `files` are then
  // empty and `total` is 0.
  std::shared_ptr<StreamedWords> streamed;
};

// A run that cannot go on: memory ran out, or no counting thread could start. The
// text says what was being done ("out of memory while counting the words of 'a.txt'").
// When it is thrown, no counting thread is left running and nothing is leaked.
class ExtractionFailure : public std::runtime_error {
 public:
  // What the run was doing: reading and counting the words, or ordering them.
  enum class Stage { kCounting, kOrdering };

  ExtractionFailure(Stage stage, const std::string& what)
      : std::runtime_error(what), stage_(stage) {}
  Stage stage() const { return stage_; }

 private:
  Stage stage_;
};

// Reads `files` in order, decoded as options.encoding says, and counts every distinct
// word. A file that cannot be opened or read goes to on_failure and the run goes on
// with the next one.
// Memory grows with the distinct words, never with the size of the input, and its
// tables stay within options.memory_limit when one is set. Throws ExtractionFailure
// when the system fails the run itself (also a temporary folder that cannot be
// made or written).
ExtractionResult ExtractWords(std::span<const std::filesystem::path> files,
                              const ExtractionOptions& options = {});

}  // namespace lintavel
