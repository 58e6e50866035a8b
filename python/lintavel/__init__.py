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

count_range(path, start, end) counts the words that begin in the bytes [start,
end) of one file, so that consecutive ranges count every word once. With
encoding="auto" the file's encoding is decided from the whole file, as a whole
run decides it: pass file_encoding=detect_encoding(path) (found once) to each
range, or every range reads the whole file to decide it again. HTML is counted
by whole files only: its tags and comments run across any boundary.
"""
from ._lintavel import Counts, count, count_range, detect_encoding, merge_all

__all__ = ["Counts", "count", "count_range", "detect_encoding", "merge_all"]


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
