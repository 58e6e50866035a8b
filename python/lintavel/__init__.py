"""Lintavel's word counting engine in Python.

    counts = lintavel.count(["a.txt", "b.txt"], encoding="utf-8")
    counts.most_common(10); counts["the"]; counts.write("words.txt")

The corpus options of lintavel-extract are keyword arguments with the same names:
fold_case, html, stop_list (a path or a list of paths), min_count, top and sort
("count", "count-desc" or "word"), per_file (then counts.files(word) says in how
many files a word occurs, and to_pandas() has a files column), and the word rules
and list options: words ("default" or "unicode"), split_elisions, lemma_list (a
path), stem (a Snowball language) and stem_show ("stem" or "form"), match and
exclude (an RE2 pattern or a list of them), min_length and max_length. Files that cannot be
read go to `errors` as (path, reason); the others are counted. A Counts carries the
options it was made with: merging counts that do not add up to one run over all
their files (other options, or cut by top or min_count, or grouped or filtered by
lemma_list, stem, match, exclude, min_length or max_length, whose result on a part
is not its share of the whole) raises ValueError: merge first, as lintavel.dask does.
memory_limit (bytes, at least 16 MiB; default None: no bound) keeps count's tables
within it: past it they are spilled as sorted runs to a private folder in temp_dir
(default: TMPDIR, else /tmp) and merged at the end, to the same counts.

ngrams=2 (or "2-3": all those lengths in one list) counts sequences of consecutive
words in place of the words, each listed as its words joined by one blank, as
lintavel-extract --ngrams does; ngram_breaks ("sentence", "line" or "none") says
where else they end; a stop word ends one and is in none. Not with lemma_list,
stem, match, exclude or dispersion. count_range counts the sequences whose first
word begins in the range.

count_range(path, start, end) counts the words that begin in the bytes [start,
end) of one file, so that consecutive ranges count every word once. With
encoding="auto" the file's encoding is decided from the whole file, as a whole
run decides it: pass file_encoding=detect_encoding(path) (found once) to each
range, or every range reads the whole file to decide it again. HTML is counted
by whole files only: its tags and comments run across any boundary.

Keyness, dispersion and normalised frequency take the names of lintavel-extract's
options: per_million=True adds a per_million column to to_pandas();
dispersion="files" adds files, juilland_d and gries_dp (over the input files),
dispersion="parts=N" juilland_d and gries_dp over N equal parts by word position;
reference (paths of a reference corpus, counted with the same options) or
reference_list (a word list as lintavel-extract --format tsv or csv writes it)
make count() give a Keywords table instead, with keyness ("positive", "negative"
or "both") and min_ll; its to_pandas() has the columns of the CSV keyness table.
lintavel-extract's manual page gives every formula.

concordance(paths, word, encoding=, html=, fold_case=, width=40, sort="text",
words="default", split_elisions=False) gives every occurrence of word, cut by the
word rule words as count() cuts it, as (file, line, left, word, right) tuples, sort
"text", "right" or "left"; pandas.DataFrame(rows, columns=CONCORDANCE_COLUMNS)
makes a frame with the columns of the command line's CSV. A file that cannot be
read is said by a RuntimeWarning, and the others are searched.
"""
from ._lintavel import Counts, Keywords, concordance, count, count_range, detect_encoding, merge_all

__all__ = ["CONCORDANCE_COLUMNS", "Counts", "Keywords", "concordance", "count", "count_range",
           "detect_encoding", "merge_all"]

# The names of the fields of concordance()'s tuples, as the command line's CSV has them.
CONCORDANCE_COLUMNS = ("file", "line", "left", "word", "right")


def _to_pandas(self):
    """The words and their counts as a pandas DataFrame (columns word, count, and
    files when they were counted, per_million, juilland_d and gries_dp when asked
    for), in the order of the list: the columns of lintavel-extract's CSV."""
    import pandas

    items = self.items()
    columns = {
        "word": pandas.Series([word for word, _ in items], dtype="object"),
        "count": pandas.Series([n for _, n in items], dtype="uint64"),
    }
    dispersion = getattr(self, "_dispersion", None)
    if isinstance(dispersion, tuple):
        # Packed columns, as lintavel.dask sends them: files, juilland_d, gries_dp.
        import numpy

        dispersion = [numpy.frombuffer(column, dtype) for column, dtype in
                      zip(dispersion, ("uint64", "float64", "float64"))]
        files, juilland, gries = dispersion
    elif dispersion is not None:
        files, juilland, gries = ([row[i] for row in dispersion] for i in range(3))
    if dispersion is not None and getattr(self, "_dispersion_files", True):
        columns["files"] = pandas.Series(files, dtype="uint64")
    elif self.per_file:
        columns["files"] = pandas.Series([self.files(word) for word, _ in items], dtype="uint64")
    if getattr(self, "_per_million", False):
        total = self.total
        columns["per_million"] = pandas.Series(
            [n * 1e6 / total if total else 0.0 for _, n in items], dtype="float64")
    if dispersion is not None:
        columns["juilland_d"] = pandas.Series(juilland, dtype="float64")
        columns["gries_dp"] = pandas.Series(gries, dtype="float64")
    return pandas.DataFrame(columns)


_KEYWORD_COLUMNS = ("word", "target_count", "reference_count", "target_total",
                    "reference_total", "log_likelihood", "log_ratio", "percent_diff",
                    "direction")


def _keywords_to_pandas(self):
    """The keyness table as a pandas DataFrame, its columns named as in the CSV
    table; percent_diff is NaN where the reference count is 0."""
    import pandas

    rows = self.rows()
    types = ("object", "uint64", "uint64", "uint64", "uint64", "float64", "float64",
             "float64", "object")
    return pandas.DataFrame({
        name: pandas.Series([row[i] for row in rows], dtype=kind)
        for i, (name, kind) in enumerate(zip(_KEYWORD_COLUMNS, types))
    })


Counts.to_pandas = _to_pandas
Keywords.to_pandas = _keywords_to_pandas
