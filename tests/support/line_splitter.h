#pragma once

#include <string>
#include <string_view>

#include "engine/text_rules.h"

namespace lintavel {

// Cuts a stream of bytes, fed in chunks of any size, into lines at LF, CR LF and a
// lone CR. A line may span chunks; the terminator is not part of the line.
class LineSplitter {
 public:
  // Calls on_line(std::string_view) for every line that `chunk` completes.
  template <typename OnLine>
  void Feed(std::string_view chunk, OnLine&& on_line) {
    std::size_t start = 0;
    if (after_cr_ && !chunk.empty()) {
      after_cr_ = false;
      if (chunk.front() == '\n') start = 1;  // the LF of a CR LF split between chunks
    }
    for (std::size_t i = start; i < chunk.size(); ++i) {
      if (!IsLineEnd(static_cast<unsigned char>(chunk[i]))) continue;
      const std::string_view piece = chunk.substr(start, i - start);
      if (partial_.empty()) {
        on_line(piece);
      } else {
        partial_.append(piece);
        on_line(std::string_view(partial_));
        partial_.clear();
      }
      if (chunk[i] == '\r') {
        if (i + 1 == chunk.size()) {
          after_cr_ = true;
        } else if (chunk[i + 1] == '\n') {
          ++i;
        }
      }
      start = i + 1;
    }
    if (start < chunk.size()) partial_.append(chunk.substr(start));
  }

  // Ends the stream: a last line without terminator is passed on; a stream that
  // ends with a terminator has no extra empty line.
  template <typename OnLine>
  void Finish(OnLine&& on_line) {
    if (!partial_.empty()) on_line(std::string_view(partial_));
    partial_.clear();
    after_cr_ = false;
  }

 private:
  std::string partial_;  // the start of a line that the next chunk goes on with
  bool after_cr_ = false;
};

}  // namespace lintavel
