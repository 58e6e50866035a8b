#include "engine/html_text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "engine/byte_scan.h"
#include "engine/code_page.h"

namespace lintavel {

namespace {

struct NamedReference {
  std::string_view name;  // with its ';' when it must have one
  std::string_view utf8;
};

constexpr NamedReference kNamedReferences[] = {
#include "html_entities.inc"
};

// Longer than any name in the table: reading stops there.
constexpr std::size_t kLongestName = 40;

// The longest tag name that is told apart from others.
constexpr std::size_t kLongestKnownTag = 7;

// A tag name of up to 7 characters as one number: its characters, the first
// lowest, and its length in the top byte.
constexpr std::uint64_t TagKey(std::string_view name) {
  std::uint64_t key = std::uint64_t{name.size()} << 56;
  for (std::size_t i = 0; i < name.size(); ++i) {
    key |= std::uint64_t{static_cast<unsigned char>(name[i])} << (8 * i);
  }
  return key;
}

constexpr std::size_t kInlineSlots = 64;

constexpr std::size_t InlineSlotOf(std::uint64_t key) {
  return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15u) >> 58);
}

// Inline elements: shown within the line of the text around them, so they do not
// end a word. Every other tag, known or not, does. As keys in a small hash table
// (0 is no key), since a page has a tag every few words.
constexpr auto kInlineTags = [] {
  constexpr std::string_view kNames[] = {
      "a",    "abbr", "acronym", "b",  "bdi",  "bdo",   "big",  "cite",   "code",
      "data", "del",  "dfn",     "em", "font", "i",     "ins",  "kbd",    "label",
      "mark", "nobr", "q",       "s",  "samp", "small", "span", "strike", "strong",
      "sub",  "sup",  "time",    "tt", "u",    "var"};
  std::array<std::uint64_t, kInlineSlots> slots{};
  for (const std::string_view name : kNames) {
    std::size_t i = InlineSlotOf(TagKey(name));
    while (slots[i] != 0) i = (i + 1) % kInlineSlots;
    slots[i] = TagKey(name);
  }
  return slots;
}();

bool IsInlineTag(std::uint64_t key) {
  if (key == 0) return false;  // a name longer than any known one
  for (std::size_t i = InlineSlotOf(key);; i = (i + 1) % kInlineSlots) {
    if (kInlineTags[i] == key) return true;
    if (kInlineTags[i] == 0) return false;
  }
}

// The dashes of "<!--" end a comment too when a '>' follows them at once: "<!-->"
// and "<!--->" are whole comments, as HTML reads them.
constexpr int kOpeningDashes = 2;

constexpr std::uint64_t kScriptKey = TagKey("script");
constexpr std::uint64_t kStyleKey = TagKey("style");

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) {
  return IsAsciiDigit(c) || (AsciiLower(c) >= 'a' && AsciiLower(c) <= 'f');
}
bool IsAsciiSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

const NamedReference* FindReference(std::string_view name) {
  const auto* end = std::end(kNamedReferences);
  const auto* found = std::lower_bound(
      std::begin(kNamedReferences), end, name,
      [](const NamedReference& ref, std::string_view key) { return ref.name < key; });
  return found != end && found->name == name ? found : nullptr;
}

// The length of "#" or "#x" (either case) that begins the name of a numeric reference.
std::size_t NumberPrefix(std::string_view name) {
  return name.size() >= 2 && (name[1] == 'x' || name[1] == 'X') ? 2 : 1;
}

bool IsNoncharacter(char32_t cp) {
  return (cp >= 0xFDD0 && cp <= 0xFDEF) || (cp & 0xFFFE) == 0xFFFE;
}

}  // namespace

void HtmlTextFilter::Feed(std::string_view chunk, std::string& out) {
  opened_in_chunk_ = false;
  Process(chunk, out);
  // Only the construct opened last can be open at the end: its line is counted once.
  std::size_t counted = 0;
  if (opened_in_chunk_) {
    line_ += CountLineEnds(chunk.data(), open_at_, after_cr_);
    open_line_ = line_;
    counted = open_at_;
    // The '<' at open_at_ is no CR: the rest is counted as if from a new chunk.
    after_cr_ = false;
  }
  line_ += CountLineEnds(chunk.data() + counted, chunk.size() - counted, after_cr_);
  if (!chunk.empty()) after_cr_ = chunk.back() == '\r';
}

void HtmlTextFilter::Finish(std::string& out) {
  switch (state_) {
    case State::kText:
      break;
    case State::kLess:
      out.push_back('<');
      break;
    case State::kEndTagStart:
      out.append("</");
      break;
    case State::kReference:
      EndReference(out);
      break;
    case State::kTagName:
    case State::kAttributes:
    case State::kQuoted:
      unclosed_ = "tag";
      break;
    case State::kBang:
    case State::kBangDash:
    case State::kDeclaration:
      unclosed_ = "declaration";
      break;
    case State::kComment:
      unclosed_ = "comment";
      break;
    case State::kRawText:
      unclosed_ = raw_end_ == "</script" ? "script" : "style";
      break;
  }
  state_ = State::kText;
}

void HtmlTextFilter::Open(std::size_t at) {
  open_at_ = at;
  opened_in_chunk_ = true;
}

void HtmlTextFilter::StartTag(char first, bool end_tag) {
  end_tag_ = end_tag;
  tag_key_ = static_cast<unsigned char>(AsciiLower(first));
  tag_length_ = 1;
  state_ = State::kTagName;
}

std::size_t HtmlTextFilter::ReadTagName(std::string_view chunk, std::size_t i, std::string& out) {
  const std::size_t n = chunk.size();
  while (i < n) {
    const char c = chunk[i++];
    if (c == '>') {
      EndTag(out);
      return i;
    }
    if (IsAsciiSpace(c) || c == '/') {
      after_equals_ = false;
      state_ = State::kAttributes;
      return i;
    }
    // A longer name than any known one is only long.
    if (tag_length_ < kLongestKnownTag) {
      tag_key_ |= std::uint64_t{static_cast<unsigned char>(AsciiLower(c))} << (8 * tag_length_);
    }
    if (tag_length_ <= kLongestKnownTag) ++tag_length_;
  }
  return i;
}

void HtmlTextFilter::Process(std::string_view chunk, std::string& out) {
  std::size_t i = 0;
  const std::size_t n = chunk.size();
  while (i < n) {
    switch (state_) {
      case State::kText: {
        // Most of a page is text: copy it in runs up to the next '<' or '&'.
        const std::size_t stop = FindMarkup(chunk.data(), chunk.size(), i);
        out.append(chunk.substr(i, stop - i));
        if (stop == n) return;
        i = stop + 1;
        if (chunk[stop] == '&') {
          state_ = State::kReference;
          name_.clear();
          break;
        }
        Open(stop);
        state_ = State::kLess;
        // The usual tags and comments are read at once, without a turn through kLess.
        if (i < n && IsAsciiLetter(chunk[i])) {
          StartTag(chunk[i], false);
          i = ReadTagName(chunk, i + 1, out);
        } else if (i + 1 < n && chunk[i] == '/' && IsAsciiLetter(chunk[i + 1])) {
          StartTag(chunk[i + 1], true);
          i = ReadTagName(chunk, i + 2, out);
        } else if (i + 2 < n && chunk[i] == '!' && chunk[i + 1] == '-' && chunk[i + 2] == '-') {
          dashes_ = kOpeningDashes;
          state_ = State::kComment;
          i += 3;
        }
        break;
      }
      case State::kLess: {
        const char c = chunk[i];
        if (IsAsciiLetter(c)) {
          StartTag(c, false);
          ++i;
        } else if (c == '/') {
          state_ = State::kEndTagStart;
          ++i;
        } else if (c == '!') {
          state_ = State::kBang;
          ++i;
        } else if (c == '?') {
          state_ = State::kDeclaration;
          ++i;
        } else {
          // A '<' that opens nothing is text; `c` is read again as text.
          out.push_back('<');
          state_ = State::kText;
        }
        break;
      }
      case State::kEndTagStart: {
        const char c = chunk[i];
        if (IsAsciiLetter(c)) {
          StartTag(c, true);
        } else {
          // "</>" is nothing; "</ x>" and the like are read as a declaration.
          state_ = c == '>' ? State::kText : State::kDeclaration;
        }
        ++i;
        break;
      }
      case State::kTagName:
        // Tags come often in a page: each stays in its own state until it ends.
        i = ReadTagName(chunk, i, out);
        break;
      case State::kAttributes: {
        while (i < n && state_ == State::kAttributes) {
          const char c = chunk[i++];
          if (c == '>') {
            EndTag(out);
          } else if ((c == '"' || c == '\'') && after_equals_) {
            quote_ = c;
            state_ = State::kQuoted;
          } else if (c == '=') {
            after_equals_ = true;
          } else if (!IsAsciiSpace(c)) {
            after_equals_ = false;
          }
        }
        break;
      }
      case State::kQuoted: {
        const void* close = std::memchr(chunk.data() + i, quote_, n - i);
        if (close == nullptr) return;
        i = static_cast<std::size_t>(static_cast<const char*>(close) - chunk.data()) + 1;
        after_equals_ = false;
        state_ = State::kAttributes;
        break;
      }
      case State::kBang:
        if (chunk[i] == '-') {
          state_ = State::kBangDash;
          ++i;
        } else {
          state_ = State::kDeclaration;
        }
        break;
      case State::kBangDash:
        if (chunk[i] == '-') {
          dashes_ = kOpeningDashes;
          state_ = State::kComment;
          ++i;
        } else {
          state_ = State::kDeclaration;
        }
        break;
      case State::kComment: {
        // Ends at the first '>' after two dashes, which may lie in earlier chunks.
        const void* found = std::memchr(chunk.data() + i, '>', n - i);
        const std::size_t close =
            found != nullptr
                ? static_cast<std::size_t>(static_cast<const char*>(found) - chunk.data())
                : n;
        std::size_t dashes = 0;
        while (dashes < 2 && close - dashes > i && chunk[close - dashes - 1] == '-') ++dashes;
        const int before = close - dashes == i ? dashes_ : 0;
        dashes_ = before + static_cast<int>(dashes);
        if (found == nullptr) return;
        i = close + 1;
        if (dashes_ >= 2) {
          state_ = State::kText;
        } else {
          dashes_ = 0;
        }
        break;
      }
      case State::kDeclaration: {
        const void* close = std::memchr(chunk.data() + i, '>', n - i);
        if (close == nullptr) return;
        i = static_cast<std::size_t>(static_cast<const char*>(close) - chunk.data()) + 1;
        state_ = State::kText;
        break;
      }
      case State::kRawText: {
        const char c = chunk[i];
        if (raw_matched_ == raw_end_.size()) {
          // "</script" seen: it ends the contents only as a whole tag name.
          if (IsAsciiSpace(c) || c == '/' || c == '>') {
            end_tag_ = true;
            tag_key_ = TagKey(raw_end_.substr(2)) & ~(std::uint64_t{0xFF} << 56);
            tag_length_ = raw_end_.size() - 2;
            after_equals_ = false;
            state_ = State::kAttributes;
          }
          raw_matched_ = 0;
          break;  // `c` is read again
        }
        if (AsciiLower(c) == raw_end_[raw_matched_]) {
          ++raw_matched_;
        } else {
          raw_matched_ = c == '<' ? 1 : 0;
        }
        ++i;
        break;
      }
      case State::kReference: {
        const char c = chunk[i];
        if (name_.empty() && c == '#') {
          name_.push_back('#');
          number_ = 0;
          ++i;
        } else if (name_ == "#" && (c == 'x' || c == 'X')) {
          name_.push_back(c);  // as written, for when no digit follows
          ++i;
        } else if (name_.starts_with('#')) {
          const bool hex = NumberPrefix(name_) == 2;
          if (hex ? IsHexDigit(c) : IsAsciiDigit(c)) {
            // Every digit belongs to the reference, however many: only the value is
            // kept, and the first digit to tell that there was one.
            const char32_t digit = IsAsciiDigit(c)
                                       ? static_cast<char32_t>(c - '0')
                                       : static_cast<char32_t>(AsciiLower(c) - 'a' + 10);
            number_ = std::min<char32_t>(number_ * (hex ? 16 : 10) + digit, 0x110000);
            if (name_.size() == NumberPrefix(name_)) name_.push_back(c);
            ++i;
          } else if (c == ';') {
            name_.push_back(';');
            ++i;
            EndReference(out);
          } else {
            EndReference(out);  // `c` is read again as text
          }
        } else if (IsAsciiLetter(c) || IsAsciiDigit(c)) {
          if (name_.size() == kLongestName) {
            EndReference(out);
            break;  // `c` is read again as text
          }
          name_.push_back(c);
          ++i;
        } else if (c == ';') {
          name_.push_back(';');
          ++i;
          EndReference(out);
        } else {
          EndReference(out);  // `c` is read again as text
        }
        break;
      }
    }
  }
}

void HtmlTextFilter::EndTag(std::string& out) {
  state_ = State::kText;
  const std::uint64_t key =
      tag_length_ <= kLongestKnownTag ? tag_key_ | std::uint64_t{tag_length_} << 56 : 0;
  if (!end_tag_ && (key == kScriptKey || key == kStyleKey)) {
    raw_end_ = key == kScriptKey ? "</script" : "</style";
    raw_matched_ = 0;
    state_ = State::kRawText;
  }
  if (!IsInlineTag(key)) {
    out.append(block_text_);
  }
}

void HtmlTextFilter::EndReference(std::string& out) {
  state_ = State::kText;
  const bool semicolon = name_.ends_with(';');
  const std::string_view name = std::string_view(name_).substr(0, name_.size() - semicolon);
  if (name.starts_with('#')) {
    if (name.size() == NumberPrefix(name)) {
      // No digit: no reference, and the text stays as written.
      out.push_back('&');
      out.append(name_);
      return;
    }
    char32_t cp = number_;
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      cp = 0xFFFD;
    } else if (cp >= 0x80 && cp <= 0x9F) {
      // Numbers of the C1 controls mean the Windows-1252 characters.
      cp = DecodeCp1252(static_cast<unsigned char>(cp));
    } else if ((cp < 0x20 && cp != '\t' && cp != '\n' && cp != '\r' && cp != '\f') || cp == 0x7F ||
               IsNoncharacter(cp)) {
      return;  // not a character of text
    }
    AppendCodePoint(cp, out);
    return;
  }
  if (semicolon) {
    if (const NamedReference* ref = FindReference(name_)) {
      AppendUtf8Text(ref->utf8, out);
      return;
    }
  }
  // The longest old name that may stand without ';', the rest as text.
  for (std::size_t length = name.size(); length >= 2; --length) {
    if (const NamedReference* ref = FindReference(name.substr(0, length))) {
      AppendUtf8Text(ref->utf8, out);
      out.append(std::string_view(name_).substr(length));
      return;
    }
  }
  out.push_back('&');
  out.append(name_);
}

void HtmlTextFilter::AppendCodePoint(char32_t cp, std::string& out) const {
  if (encoding_ == WordEncoding::kUtf8) {
    AppendUtf8(cp, out);
  } else {
    out.push_back(
        static_cast<char>(cp > 0xFFFF ? kUnmappable : EncodeCp1252(static_cast<char16_t>(cp))));
  }
}

void HtmlTextFilter::AppendUtf8Text(std::string_view utf8, std::string& out) const {
  if (encoding_ == WordEncoding::kUtf8) {
    out.append(utf8);
  } else {
    out.append(Utf8ToCp1252(utf8));
  }
}

}  // namespace lintavel
