#pragma once

#include <optional>
#include <string_view>
#include <utility>

#include "corpus/word_list.h"
#include "engine/extraction.h"
#include "engine/file_decoding.h"

namespace lintavel {

// The names of option values, read the same way by every front end.

// The input encoding named `name` (cp1252, windows-1252, utf-8, utf8, utf-16,
// utf16, auto; any case), or nothing.
std::optional<InputEncoding> InputEncodingNamed(std::string_view name);

// The output encoding named `name` (cp1252, windows-1252, utf-8, utf8; any case),
// or nothing.
std::optional<WordEncoding> OutputEncodingNamed(std::string_view name);

// The order of the list named `name` (count, count-desc, word), or nothing.
std::optional<WordOrder> WordOrderNamed(std::string_view name);

// The lengths that `text` names for --ngrams: N, or MIN-MAX, from 1 to 8; nothing
// when it names none.
std::optional<std::pair<unsigned, unsigned>> NgramLengthsNamed(std::string_view text);

// Where sequences end, named `name` (sentence, line, none), or nothing.
std::optional<NgramBreaks> NgramBreaksNamed(std::string_view name);

// How a file of an "auto" run is read, named as InputEncodingNamed names its
// encodings (cp1252 then gives UTF-8 words, as an "auto" run does), or nothing
// for another name and for auto.
std::optional<FileDecoding> AutoFileDecodingNamed(std::string_view name);

// The name of what AutoFileDecodingNamed reads: "cp1252", "utf-8" or "utf-16".
std::string_view AutoFileDecodingName(FileDecoding decoding);

}  // namespace lintavel
