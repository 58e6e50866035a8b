#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/utf8.h"

namespace lintavel {

// Turns HTML, fed in chunks of any size, into the text a reader sees, for the word
// rules to cut. Tags, comments, declarations and processing instructions are
// removed; the contents of <script> and <style> too. A tag that starts a new line
// or box when shown (<p>, <br>, <td>, <li>, any tag not known as inline) becomes a
// blank; an inline tag (<b>, <i>, <a>, <span>, <em>, ...) becomes nothing, so
// "in<b>side</b>" stays one word. Character references (&amp; &eacute; &#233;
// &#xE9;, and the old names that may stand without ';') are decoded into the
// encoding of the text; a character that Windows-1252 lacks becomes '?'. A '<' that
// opens no tag ("a < b", "<3") is text. What is still open when the text ends (a
// tag, comment or script) is dropped and told by unclosed(), so that it is never
// lost silently.
class HtmlTextFilter {
 public:
  // `encoding` is that of the text fed, and of the text given out.
  explicit HtmlTextFilter(WordEncoding encoding) : encoding_(encoding) {}

  // What a block element gives out from now on in place of the one blank.
  void set_block_text(std::string_view text) { block_text_ = text; }

  // Appends the text of `chunk` to `out`.
  void Feed(std::string_view chunk, std::string& out);
  // Ends the text: a pending character reference or '<' is given out as text.
  void Finish(std::string& out);
  // After Finish: what was left open at the end ("tag", "comment", "declaration",
  // "script", "style"), or empty when nothing was.
  std::string_view unclosed() const { return unclosed_; }
  // After Finish: the line (from 1) on which the construct left open began.
  std::uint64_t unclosed_line() const { return open_line_; }

 private:
  enum class State : std::uint8_t {
    kText,
    kLess,         // after '<'
    kEndTagStart,  // after "</"
    kTagName,      // in the name of a tag
    kAttributes,   // after the name, up to '>'
    kQuoted,       // in a quoted attribute value
    kBang,         // after "<!"
    kBangDash,     // after "<!-"
    kComment,      // in "<!-- ... -->"
    kDeclaration,  // in "<!DOCTYPE ...>", "<?...>", "</ ...>": up to '>'
    kRawText,      // in the contents of <script> or <style>
    kReference,    // after '&'
  };

  void Process(std::string_view chunk, std::string& out);
  void EndTag(std::string& out);
  void EndReference(std::string& out);
  void AppendCodePoint(char32_t cp, std::string& out) const;
  void AppendUtf8Text(std::string_view utf8, std::string& out) const;
  void Open(std::size_t at);
  void StartTag(char first, bool end_tag);
  std::size_t ReadTagName(std::string_view chunk, std::size_t i, std::string& out);

  WordEncoding encoding_;
  std::string_view block_text_ = " ";
  State state_ = State::kText;
  std::string name_;            // reference name being read; of a number, its first digit
  char32_t number_ = 0;         // the value of a numeric reference, 0x110000 when too large
  std::uint64_t tag_key_ = 0;   // the first 7 characters of a tag's name, lower case
  std::size_t tag_length_ = 0;  // of the tag's name; 8 stands for any longer one
  bool end_tag_ = false;
  bool after_equals_ = false;
  char quote_ = 0;
  int dashes_ = 0;               // dashes in a row, in a comment
  std::string_view raw_end_;     // "</script" or "</style" while in raw text
  std::size_t raw_matched_ = 0;  // how much of raw_end_ was seen
  std::uint64_t line_ = 1;       // the line at which the current chunk begins
  bool after_cr_ = false;        // the last chunk ended with a CR
  std::size_t open_at_ = 0;      // where in the current chunk the last '<' opened
  bool opened_in_chunk_ = false;
  std::uint64_t open_line_ = 0;
  std::string_view unclosed_;
};

}  // namespace lintavel
