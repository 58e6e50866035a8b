"""Lintavel's word counting engine in Python.

    counts = lintavel.count(["a.txt", "b.txt"], encoding="utf-8")
    counts.most_common(10); counts["the"]; counts.write("words.txt")

The corpus options of lintavel-extract are keyword arguments with the same names:
fold_case, html, stop_list (a path or a list of paths), min_count, top and sort
("count", "count-desc" or "word"), per_file (then counts.files(word) says in how
many files a word occurs, and to_pandas() has a files column). Files that cannot be
read go to `errors` as (path, reason); the others are counted. A Counts carries the
options it was made with: merging counts that do not add up to one run over all
their files (other options, or cut by top or min_count) raises ValueError.

count_range(path, start, end) counts the words that begin in the bytes [start,
end) of one file, so that consecutive ranges count every word once. With
encoding="auto" the file's encoding is decided from the whole file, as a whole
run decides it: pass file_encoding=detect_encoding(path) (found once) to each
range, or every range reads the whole file to decide it again. HTML is counted
by whole files only: its tags and comments run across any boundary.

concordance(paths, word, encoding=, html=, fold_case=, width=40, sort="text")
gives every occurrence of word as (file, line, left, word, right) tuples, sort
"text", "right" or "left"; pandas.DataFrame(rows, columns=CONCORDANCE_COLUMNS)
makes a frame with the columns of the command line's CSV. A file that cannot be
read is said by a RuntimeWarning, and the others are searched.
"""
from ._lintavel import Counts, concordance, count, count_range, detect_encoding, merge_all

__all__ = ["CONCORDANCE_COLUMNS", "Counts", "concordance", "count", "count_range",
           "detect_encoding", "merge_all"]

# The names of the fields of concordance()'s tuples, as the command line's CSV has them.
CONCORDANCE_COLUMNS = ("file", "line", "left", "word", "right")


def _to_pandas(self):
    """The words and their counts as a pandas DataFrame (columns word, count, and
    files when they were counted), in the order of the list."""
    import pandas

    items = self.items()
    columns = {
        "word": pandas.Series([word for word, _ in items], dtype="object"),
        "count": pandas.Series([n for _, n in items], dtype="uint64"),
    }
    if self.per_file:
        columns["files"] = pandas.Series([self.files(word) for word, _ in items], dtype="uint64")
    return pandas.DataFrame(columns)


Counts.to_pandas = _to_pandas
