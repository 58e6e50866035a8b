"""lintavel.dask.count on a local cluster of two worker processes gives exactly the
Counts of lintavel.count."""
import os
import signal
import tempfile
import threading
import time

import pytest

import lintavel
from conftest import mixed_text

distributed = pytest.importorskip("distributed")
import lintavel.dask  # noqa: E402  (needs distributed)


@pytest.fixture(scope="module")
def client():
    # The workers' scratch folder goes with the tests, not into the system's temp folder.
    with tempfile.TemporaryDirectory(prefix="pywords-dask-") as scratch:
        cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                           dashboard_address=None, silence_logs=40,
                                           local_directory=scratch)
        with cluster, distributed.Client(cluster) as connected:
            yield connected


def make_corpus(folder):
    text = mixed_text(4, 20_000)
    paths = [folder / "cp1252.txt", folder / "missing.txt", folder / "utf8-bom.txt",
             folder / "utf16.txt", folder, folder / "small.txt"]
    paths[0].write_bytes(text.encode("cp1252"))
    paths[2].write_bytes(b"\xef\xbb\xbf" + text[::-1].encode("utf-8"))
    paths[3].write_bytes(b"\xff\xfe" + text.encode("utf-16-le"))
    paths[5].write_bytes(b"a b\r\n")
    return paths


def assert_same(folder, got, expected):
    assert (got.total, got.errors, got.items()) == (expected.total, expected.errors,
                                                    expected.items())
    assert got.per_file == expected.per_file
    if expected.per_file:
        assert [got.files(word) for word in got] == [expected.files(word) for word in expected]
    got.write(folder / "dask.txt", encoding="utf-8")
    expected.write(folder / "one.txt", encoding="utf-8")
    assert (folder / "dask.txt").read_bytes() == (folder / "one.txt").read_bytes()


@pytest.mark.parametrize("encoding,chunk_bytes,options", [
    ("cp1252", 997, {}),
    ("utf-8", 4096, {"fold_case": True}),
    ("utf-16", 10_001, {"top": 5, "sort": "count-desc"}),
    ("auto", 3_000, {"min_count": 2, "stop_list": "STOP"}),
    ("auto", 1 << 26, {"html": True}),
    ("utf-8", 501, {"per_file": True, "fold_case": True}),
    ("auto", 777, {"words": "unicode", "split_elisions": True, "fold_case": True}),
    ("utf-8", 2_000, {"words": "unicode", "stem": "english", "stem_show": "form",
                      "match": ["^[a-z]"], "exclude": "e$", "min_length": 2, "max_length": 9,
                      "lemma_list": "LEMMAS", "top": 20}),
    ("utf-8", 613, {"ngrams": 2}),
    ("auto", 1_999, {"ngrams": "1-3", "ngram_breaks": "line", "stop_list": "STOP",
                     "fold_case": True}),
    ("cp1252", 997, {"ngrams": 8, "ngram_breaks": "none", "per_file": True}),
    ("utf-8", 1_501, {"ngrams": "2-3", "words": "unicode", "top": 30, "sort": "count-desc"}),
])
def test_same_counts_as_one_process(client, folder, encoding, chunk_bytes, options):
    paths = make_corpus(folder)
    if "stop_list" in options:
        (folder / "stop").write_bytes(b"the\nThe\n")
        options = {**options, "stop_list": folder / "stop"}
    if "lemma_list" in options:
        (folder / "lemmas").write_bytes("be -> is, was, were\n".encode())
        options = {**options, "lemma_list": folder / "lemmas"}
    expected = lintavel.count(paths, encoding, **options)
    got = lintavel.dask.count(paths, client, chunk_bytes, encoding, **options)
    assert_same(folder, got, expected)
    assert [path for path, _ in got.errors] == [str(paths[1]), str(paths[4])]


def test_bad_arguments_raise_before_any_work(client, folder):
    for call, error in [
        (lambda: lintavel.dask.count([3], client), TypeError),
        (lambda: lintavel.dask.count([], client, chunk_bytes=0), ValueError),
        (lambda: lintavel.dask.count([], client, encoding="ebcdic"), ValueError),
        (lambda: lintavel.dask.count([], client, stop_list=folder / "none"), ValueError),
        (lambda: lintavel.dask.count([], client, match="(ab"), ValueError),
        (lambda: lintavel.dask.count([], client, stem="klingon"), ValueError),
        (lambda: lintavel.dask.count([], client, ngrams=9), ValueError),
        (lambda: lintavel.dask.count([], client, ngrams="3-2"), ValueError),
        (lambda: lintavel.dask.count([], client, ngrams=2, stem="english"), ValueError),
        (lambda: lintavel.dask.count([], client, ngrams=2, ngram_breaks="page"), ValueError),
        (lambda: lintavel.dask.count([], client, ngram_breaks="line"), ValueError),
        (lambda: lintavel.dask.count([], client, ngrams=1, ngram_breaks="none"), ValueError),
    ]:
        with pytest.raises(error):
            call()


def test_a_killed_worker_loses_nothing(client, folder):
    path = folder / "big.txt"
    path.write_bytes(mixed_text(5, 200_000).encode("cp1252"))
    expected = lintavel.count([path])
    result = {}
    counting = threading.Thread(
        target=lambda: result.update(counts=lintavel.dask.count([path], client, 4096)))
    counting.start()
    # Kill a worker once it holds counted ranges, while the count goes on.
    pids = client.run(os.getpid)
    victim = None
    deadline = time.monotonic() + 30
    while victim is None and time.monotonic() < deadline:
        held = client.has_what()
        busy = [address for address, keys in held.items() if len(keys) >= 3]
        victim = busy[0] if busy else None
        time.sleep(0.01)
    assert victim is not None and counting.is_alive()
    os.kill(pids[victim], signal.SIGKILL)
    counting.join(60)
    assert not counting.is_alive()
    assert pids[victim] not in client.run(os.getpid).values()
    assert_same(folder, result["counts"], expected)


def test_the_ranges_of_an_unreadable_file_tell_of_it_once(folder):
    # Every range of a file that a worker cannot open reports it; the file's merge
    # keeps one report, as a single run has.
    parts = [lintavel.count_range(folder / "gone.txt", 0, 10) for _ in range(3)]
    merged = lintavel.dask._merge(True, *parts)
    assert merged.errors == lintavel.count([folder / "gone.txt"]).errors
    assert len(lintavel.dask._merge(False, *parts).errors) == 3


def test_a_file_whose_size_reads_zero_is_counted(client):
    pseudo = "/proc/self/mountinfo"
    if not os.path.exists(pseudo) or os.stat(pseudo).st_size != 0:
        pytest.skip("no pseudo-file of size 0 here")
    # Each worker reads its own, which holds the same mounts.
    got = lintavel.dask.count([pseudo], client=client, chunk_bytes=64)
    assert got.total > 0 and got.total == lintavel.count([pseudo]).total


@pytest.mark.parametrize("reference_kind,options", [
    ("files", {"keyness": "both", "min_count": 2}),
    ("files", {"keyness": "negative", "fold_case": True, "stop_list": "STOP", "min_ll": 1.0}),
    ("list", {"keyness": "positive", "encoding": "utf-8", "top": 4}),
])
def test_keyness_and_dispersion_as_one_process(client, folder, reference_kind, options):
    paths = make_corpus(folder)
    (folder / "ref.txt").write_text(mixed_text(9, 5_000), encoding="utf-8")
    (folder / "stop").write_bytes(b"the\nThe\n")
    options = {**options, "stop_list": folder / "stop"} if "stop_list" in options else options
    if reference_kind == "files":
        reference = {"reference": [folder / "ref.txt", folder / "missing-ref.txt", paths[0]]}
    else:
        lintavel.count([folder / "ref.txt"], "utf-8")._write_formatted(folder / "ref.tsv",
                                                                        "tsv", "utf-8")
        reference = {"reference_list": folder / "ref.tsv"}
    expected = lintavel.count(paths, **reference, **options)
    got = lintavel.dask.count(paths, client, 2_000, **reference, **options)
    assert len(expected) > 0
    assert (got.rows(), got.errors) == (expected.rows(), expected.errors)
    plain = {k: v for k, v in options.items() if k not in ("keyness", "min_ll")}
    expected = lintavel.count(paths, dispersion="files", **plain).to_pandas()
    got = lintavel.dask.count(paths, client, 2_000, dispersion="files", **plain).to_pandas()
    assert got.equals(expected), (got, expected)
    # One file: no Juilland's D, sent packed as NaN.
    expected = lintavel.count(paths[:1], dispersion="files", **plain).to_pandas()
    got = lintavel.dask.count(paths[:1], client, 2_000, dispersion="files", **plain).to_pandas()
    assert expected["juilland_d"].isna().all() and got.equals(expected), (got, expected)
    # No reference paths is no reference; an iterator of paths is read once.
    for no_reference in ([], iter([])):
        got = lintavel.dask.count(paths, client, 2_000, reference=no_reference, **plain)
        assert got.items() == lintavel.count(paths, **plain).items()
    if reference_kind == "files":
        got = lintavel.dask.count(paths, client, 2_000, reference=iter(reference["reference"]),
                                  **options)
        assert got.rows() == lintavel.count(paths, **reference, **options).rows()


@pytest.mark.parametrize("parts,encoding,chunk_bytes,options", [
    (2, "cp1252", 997, {}),
    (7, "auto", 1_501, {"fold_case": True, "stop_list": "STOP"}),
    (7, "utf-16", 2_000, {"min_count": 2, "top": 12, "sort": "count-desc", "per_file": True}),
    (3, "utf-8", 613, {"words": "unicode", "split_elisions": True, "fold_case": True,
                       "match": "^[a-z]", "sort": "word"}),
    (250, "cp1252", 4_096, {"stop_list": "STOP"}),
    # More parts than words: most parts are empty.
    (1_000_000, "auto", 777, {"fold_case": True}),
])
def test_equal_parts_as_one_process(client, folder, parts, encoding, chunk_bytes, options):
    paths = make_corpus(folder)
    (folder / "empty.txt").write_bytes(b"")
    paths.insert(2, folder / "empty.txt")
    if "stop_list" in options:
        (folder / "stop").write_bytes(b"the\nThe\nx\n")
        options = {**options, "stop_list": folder / "stop"}
    dispersion = f"parts={parts}"
    expected = lintavel.count(paths, encoding, dispersion=dispersion, **options)
    got = lintavel.dask.count(paths, client, chunk_bytes, encoding, dispersion=dispersion,
                              **options)
    assert len(expected) > 0
    assert_same(folder, got, expected)
    # Both scored by the same code over the same counts, in the same order: equal.
    expected, got = expected.to_pandas(), got.to_pandas()
    assert list(got.columns)[-2:] == ["juilland_d", "gries_dp"]
    assert got.equals(expected), (got, expected)


def test_equal_parts_refused_as_one_process_refuses_them(client, folder):
    (folder / "lemmas").write_bytes(b"be -> is, was\n")
    for options in [{"lemma_list": folder / "lemmas"}, {"stem": "english"}, {"html": True},
                    {"ngrams": 2}]:
        with pytest.raises(ValueError) as one:
            lintavel.count([folder], dispersion="parts=3", **options)
        with pytest.raises(ValueError) as cluster:
            lintavel.dask.count([folder], client, dispersion="parts=3", **options)
        assert str(cluster.value) == str(one.value)


@pytest.mark.parametrize("options", [{}, {"per_file": True, "fold_case": True, "min_count": 2,
                                          "sort": "word", "encoding": "auto"}])
def test_partitions_together_are_the_list_of_one_run(client, folder, options):
    paths = make_corpus(folder)
    out = folder / "out"
    out.mkdir()
    written = lintavel.dask.count(paths, client, 3_000, partitions=3, output=out, **options)
    expected = lintavel.count(paths, **options)
    expected._write_formatted(folder / "one.tsv", "tsv", "utf-8")
    assert (written.total, written.errors) == (expected.total, expected.errors)
    assert [os.path.basename(p) for p in written.paths] == [f"part-0000{k}.tsv" for k in range(3)]
    rows = []
    for path in written.paths:
        with open(path, encoding="utf-8", newline="") as share:
            lines = share.read().split("\r\n")[:-1]
        assert lines, path
        rows += lines

    def order(row):
        count, word = row.split("\t")[:2]
        # The window's order: count, then the UTF-16 code units of the word.
        units = word.encode("utf-16-be")
        return units if options.get("sort") == "word" else (int(count), units)

    with open(folder / "one.tsv", encoding="utf-8", newline="") as one:
        assert sorted(rows, key=order) == one.read().split("\r\n")[:-1]
    for bad, error in [({"output": folder / "nowhere"}, ValueError), ({"top": 3}, ValueError),
                       ({"partitions": 0}, ValueError)]:
        with pytest.raises(error):
            lintavel.dask.count(paths, client, **{"partitions": 2, "output": out, **bad})
