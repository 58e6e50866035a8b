#include "cli/option_table.h"

namespace lintavel {

namespace {

constexpr OptionEntry kOptions[] = {
    {"--files-from", "", "LIST", "list.txt", ""},
    {"--recursive", "", "DIR", "corpus", ""},
    {"--ext", "", "EXT", "txt", ""},
    {"--encoding", "", "ENC", "utf-8", "encoding"},
    {"--output", "-o", "OUT", "words.txt", ""},
    {"--output-encoding", "", "ENC", "cp1252", ""},
    {"--counts", "", "", "", ""},
    {"--format", "", "FMT", "csv", ""},
    {"--fold-case", "", "", "", "fold_case"},
    {"--html", "", "", "", "html"},
    {"--stop-list", "", "FILE", "stop.txt", "stop_list"},
    {"--min-count", "", "N", "5", "min_count"},
    {"--top", "", "N", "100", "top"},
    {"--sort", "", "ORDER", "word", "sort"},
    {"--per-file", "", "", "", "per_file"},
    {"--stats", "", "", "", ""},
    {"--ngrams", "", "N", "2-3", "ngrams"},
    {"--ngram-breaks", "", "RULE", "line", "ngram_breaks"},
    // Keyness, dispersion and normalised frequency.
    {"--per-million", "", "", "", "per_million"},
    {"--dispersion", "", "OVER", "files", "dispersion"},
    {"--reference", "", "FILE", "ref.txt", "reference"},
    {"--reference-list", "", "FILE", "ref.tsv", "reference_list"},
    {"--keyness", "", "SIDE", "both", "keyness"},
    {"--min-ll", "", "X", "3.84", "min_ll"},
    // The concordance.
    {"--kwic", "", "WORD", "the", ""},
    {"--kwic-sort", "", "ORDER", "right", ""},
    {"--kwic-width", "", "N", "30", ""},
    // The word rules and the list filters.
    {"--words", "", "RULE", "unicode", "words"},
    {"--split-elisions", "", "", "", "split_elisions"},
    {"--lemma-list", "", "FILE", "lemmas.txt", "lemma_list"},
    {"--stem", "", "LANG", "english", "stem"},
    {"--stem-show", "", "SHOW", "form", "stem_show"},
    {"--match", "", "REGEX", "^a", "match"},
    {"--exclude", "", "REGEX", "[0-9]", "exclude"},
    {"--min-length", "", "N", "3", "min_length"},
    {"--max-length", "", "N", "12", "max_length"},
    {"--threads", "", "N", "2", "threads"},
    {"--memory-limit", "", "SIZE", "512M", "memory_limit"},
    {"--temp-dir", "", "DIR", "/tmp", "temp_dir"},
    {"--quiet", "-q", "", "", ""},
    {"--help", "-h", "", "", ""},
    {"--version", "", "", "", ""},
};

}  // namespace

std::span<const OptionEntry> ExtractOptions() { return kOptions; }

}  // namespace lintavel
