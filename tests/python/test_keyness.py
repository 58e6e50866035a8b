"""Keyness, dispersion and frequency per million against a test-only implementation
of the published formulas, run on lintavel-extract's output and the module's."""
import csv
import math
import random
from collections import Counter

import pytest

import lintavel
from conftest import extract


def published_keyness(a, b, c, d):
    """G2 (two-term form), Log Ratio (0 -> 0.5), %DIFF and direction, from the
    formulas as published, written apart from the engine."""
    e1 = c * (a + b) / (c + d)
    e2 = d * (a + b) / (c + d)
    g2 = 2 * ((a * math.log(a / e1) if a else 0) + (b * math.log(b / e2) if b else 0))
    ratio = math.log2(((a or 0.5) / c) / ((b or 0.5) / d))
    diff = (a / c - b / d) * 100 / (b / d) if b else None
    direction = "+" if a * d > b * c else "-" if a * d < b * c else "="
    return g2, ratio, diff, direction


def published_dispersion(counts, sizes):
    f, total = sum(counts), sum(sizes)
    dp = sum(abs(v / f - s / total) for v, s in zip(counts, sizes)) / 2
    x = [v / s for v, s in zip(counts, sizes) if s]
    if len(x) < 2:
        return None, dp
    mean = sum(x) / len(x)
    sd = math.sqrt(sum((v - mean) ** 2 for v in x) / len(x))
    return 1 - (sd / mean) / math.sqrt(len(x) - 1), dp


def random_words(seed, n, vocabulary):
    rng = random.Random(seed)
    return [rng.choice(vocabulary) for _ in range(n)]


@pytest.mark.parametrize("side", ["positive", "negative", "both"])
@pytest.mark.parametrize("reference_kind", ["--reference", "--reference-list"])
def test_keyness_table_matches_the_published_formulas(folder, side, reference_kind):
    # Words only in one corpus give the zero cells.
    target = random_words(1, 900, ["the", "of", "cat", "dog", "onlyt", "sea", "ship"])
    reference = random_words(2, 1300, ["the", "of", "cat", "tree", "onlyr", "sea"])
    (folder / "t.txt").write_text(" ".join(target))
    (folder / "r.txt").write_text("\n".join(reference))
    ref = folder / "r.txt"
    if reference_kind == "--reference-list":
        extract([ref], "--format", "tsv", output=folder / "r.tsv")
        ref = folder / "r.tsv"
    out = folder / "k.csv"
    extract([folder / "t.txt"], "--format", "csv", reference_kind, str(ref), "--keyness", side,
            output=out)
    rows = list(csv.DictReader(out.open(newline="")))
    a_counts, b_counts = Counter(target), Counter(reference)
    words = set(a_counts) | (set(b_counts) if side != "positive" else set())
    expected = {}
    for word in words:
        scores = published_keyness(a_counts[word], b_counts[word], len(target), len(reference))
        wanted = {"positive": "+", "negative": "-"}.get(side)
        if wanted is None or scores[3] == wanted:
            expected[word] = scores
    assert {row["word"] for row in rows} == set(expected)
    g2s = [float(row["log_likelihood"]) for row in rows]
    assert g2s == sorted(g2s, reverse=True)
    for row in rows:
        g2, ratio, diff, direction = expected[row["word"]]
        assert int(row["target_count"]) == a_counts[row["word"]]
        assert int(row["reference_count"]) == b_counts[row["word"]]
        assert (int(row["target_total"]), int(row["reference_total"])) == (900, 1300)
        assert float(row["log_likelihood"]) == pytest.approx(g2, abs=1e-6)
        assert float(row["log_ratio"]) == pytest.approx(ratio, abs=1e-6)
        assert row["percent_diff"] == "" if diff is None else \
            float(row["percent_diff"]) == pytest.approx(diff, abs=1e-6)
        assert row["direction"] == direction
    table = lintavel.count([folder / "t.txt"], reference=[folder / "r.txt"],
                           keyness=side).to_pandas()
    assert list(table.columns) == list(rows[0].keys())
    assert list(table["word"]) == [row["word"] for row in rows]


def test_min_ll_keeps_the_rows_at_or_above_it(folder):
    (folder / "t.txt").write_text("a " * 50 + "b " * 10 + "c")
    (folder / "r.txt").write_text("a " * 10 + "b " * 10 + "d " * 40)
    out = folder / "k.csv"
    extract([folder / "t.txt"], "--format", "csv", "--reference", str(folder / "r.txt"),
            "--keyness", "both", "--min-ll", "6.63", output=out)
    rows = list(csv.DictReader(out.open(newline="")))
    assert rows and all(float(row["log_likelihood"]) >= 6.63 for row in rows)
    assert {row["word"] for row in rows} == {
        w for w in "abcd" if published_keyness(
            (Counter("a" * 50 + "b" * 10 + "c"))[w], Counter("a" * 10 + "b" * 10 + "d" * 40)[w],
            61, 60)[0] >= 6.63}


def test_dispersion_and_per_million_over_files(folder):
    vocabulary = ["w%d" % i for i in range(12)]
    parts = [random_words(seed, size, vocabulary[: 4 + seed * 3])
             for seed, size in ((0, 40), (1, 0), (2, 75), (3, 10))]
    paths = []
    for i, words in enumerate(parts):
        paths.append(folder / f"p{i}.txt")
        paths[-1].write_text(" ".join(words))
    out = folder / "d.csv"
    extract(paths, "--format", "csv", "--per-million", "--dispersion", "files", output=out)
    rows = list(csv.DictReader(out.open(newline="")))
    total = sum(len(p) for p in parts)
    sizes = [len(p) for p in parts]
    counted = [Counter(p) for p in parts]
    assert {row["word"] for row in rows} == set().union(*counted)
    for row in rows:
        counts = [c[row["word"]] for c in counted]
        d, dp = published_dispersion(counts, sizes)
        assert int(row["count"]) == sum(counts)
        assert int(row["files"]) == sum(1 for c in counts if c)
        assert float(row["per_million"]) == pytest.approx(sum(counts) * 1e6 / total, abs=1e-6)
        assert float(row["juilland_d"]) == pytest.approx(d, abs=1e-6)
        assert float(row["gries_dp"]) == pytest.approx(dp, abs=1e-6)
    frame = lintavel.count(paths, per_million=True, dispersion="files").to_pandas()
    assert list(frame.columns) == list(rows[0].keys())
    by_word = {row["word"]: row for row in rows}
    for word, dp in zip(frame["word"], frame["gries_dp"]):
        assert dp == pytest.approx(float(by_word[word]["gries_dp"]), abs=1e-6)


@pytest.mark.parametrize("n", [3, 7, 200])
def test_dispersion_over_equal_parts_by_word_position(folder, n):
    vocabulary = ["w%d" % i for i in range(9)]
    files = [random_words(seed, size, vocabulary[: 3 + seed * 2])
             for seed, size in ((0, 41), (1, 0), (2, 66), (3, 9))]
    paths = []
    for i, words in enumerate(files):
        paths.append(folder / f"p{i}.txt")
        paths[-1].write_text(" ".join(words))
    # The words in file order, cut into n parts, the first total % n one word longer.
    words = [word for file in files for word in file]
    base, longer = divmod(len(words), n)
    sizes = [base + (i < longer) for i in range(n)]
    counted, start = [], 0
    for size in sizes:
        counted.append(Counter(words[start:start + size]))
        start += size
    out = folder / "d.csv"
    extract(paths, "--format", "csv", "--dispersion", f"parts={n}", output=out)
    rows = list(csv.DictReader(out.open(newline="")))
    assert list(rows[0].keys()) == ["word", "count", "juilland_d", "gries_dp"]
    assert {row["word"] for row in rows} == set(words)
    for row in rows:
        d, dp = published_dispersion([c[row["word"]] for c in counted], sizes)
        assert float(row["juilland_d"]) == pytest.approx(d, abs=1e-6)
        assert float(row["gries_dp"]) == pytest.approx(dp, abs=1e-6)
    frame = lintavel.count(paths, dispersion=f"parts={n}", threads=2).to_pandas()
    assert list(frame.columns) == list(rows[0].keys())
    by_word = {row["word"]: row for row in rows}
    for word, d, dp in zip(frame["word"], frame["juilland_d"], frame["gries_dp"]):
        assert d == pytest.approx(float(by_word[word]["juilland_d"]), abs=1e-6)
        assert dp == pytest.approx(float(by_word[word]["gries_dp"]), abs=1e-6)


def test_one_part_has_no_juilland_d(folder):
    (folder / "a.txt").write_text("x y x")
    out = folder / "d.json"
    extract([folder / "a.txt"], "--format", "json", "--dispersion", "files", output=out)
    assert '"juilland_d":null,"gries_dp":0.000000' in out.read_text()


@pytest.mark.parametrize("keywords, message", [
    ({"keyness": "both"}, "need reference"),
    ({"reference": "r.txt", "keyness": "up"}, "unknown keyness"),
    ({"reference": "r.txt", "min_ll": -1.0}, "min_ll needs"),
    ({"dispersion": "parts"}, "unknown dispersion"),
    ({"dispersion": "parts=1"}, "parts from 2 to 1000000, not '1'"),
    ({"dispersion": "parts=2", "html": True}, "does not go with html"),
])
def test_bad_analysis_keywords_raise(folder, keywords, message):
    with pytest.raises(ValueError, match=message):
        lintavel.count([], **keywords)


def test_dask_takes_per_million(folder):
    dask = pytest.importorskip("lintavel.dask")
    empty = dask.count([], client=object(), per_million=True)
    assert list(empty.to_pandas().columns) == ["word", "count", "per_million"]
