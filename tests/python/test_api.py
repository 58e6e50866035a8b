"""lintavel.count and Counts against lintavel-extract on the same files."""
import csv
import pickle
import threading

import pytest

import lintavel
from conftest import SOURCE_DIR, extract, mixed_text

SAMPLES = sorted((SOURCE_DIR / "samples").glob("*"))


def corpus(folder):
    """The samples, generated text in each encoding, and the awkward small files."""
    text = mixed_text(1)
    files = {
        "cp1252.txt": text.encode("cp1252"),
        "utf8.txt": text.encode("utf-8"),
        "utf8-bom.txt": b"\xef\xbb\xbf" + text.encode("utf-8"),
        "utf16le.txt": b"\xff\xfe" + text.encode("utf-16-le"),
        "utf16be.txt": b"\xfe\xff" + text.encode("utf-16-be"),
        "ill-formed.txt": b"ok \xc3 \xe2\x82 caf\xc3\xa9 \xff\xfe end",
        "empty.txt": b"",
        "no-end.txt": b"last word without a line end",
    }
    paths = list(SAMPLES)
    for name, data in files.items():
        (folder / name).write_bytes(data)
        paths.append(folder / name)
    return paths


@pytest.mark.parametrize("encoding", ["cp1252", "utf-8", "utf-16", "auto"])
@pytest.mark.parametrize("options,keywords", [
    ([], {}),
    (["--fold-case"], {"fold_case": True}),
    (["--min-count", "3", "--sort", "word"], {"min_count": 3, "sort": "word"}),
    (["--top", "7", "--sort", "count-desc"], {"top": 7, "sort": "count-desc"}),
    (["--stop-list", "STOP"], {"stop_list": "STOP"}),
    (["--html"], {"html": True}),
])
def test_count_writes_what_lintavel_extract_writes(folder, encoding, options, keywords):
    paths = corpus(folder)
    (folder / "stop").write_bytes(b"the\r\nand\r\nx\r\n")
    options = [str(folder / "stop") if o == "STOP" else o for o in options]
    if "stop_list" in keywords:
        keywords = {**keywords, "stop_list": folder / "stop"}
    total, _ = extract(paths, "--encoding", encoding, "--output-encoding", "utf-8", *options,
                       output=folder / "cli.txt")
    counts = lintavel.count(paths, encoding, threads=2, **keywords)
    counts.write(folder / "py.txt", encoding="utf-8")
    assert (folder / "py.txt").read_bytes() == (folder / "cli.txt").read_bytes()
    assert counts.total == total
    assert counts.errors == []


@pytest.mark.parametrize("keywords", [{}, {"fold_case": True, "encoding": "auto"}])
def test_per_file_figures_are_those_of_lintavel_extract(folder, keywords):
    paths = corpus(folder)
    encoding = keywords.get("encoding", "cp1252")
    options = ["--fold-case"] if keywords.get("fold_case") else []
    extract(paths, "--encoding", encoding, "--per-file", "--format", "csv", *options,
            output=folder / "cli.csv")
    with open(folder / "cli.csv", newline="", encoding="utf-8") as rows:
        expected = [(row["word"], int(row["count"]), int(row["files"]))
                    for row in csv.DictReader(rows)]
    counts = lintavel.count(paths, threads=2, per_file=True, **keywords)
    assert [(word, n, counts.files(word)) for word, n in counts.items()] == expected
    # Counts of other files add their figures; the pickled form keeps them.
    doubled = pickle.loads(pickle.dumps(counts + counts))
    assert [doubled.files(word) for word in doubled] == [2 * files for _, _, files in expected]
    assert list(counts.to_pandas()["files"]) == [files for _, _, files in expected]
    with pytest.raises(ValueError):
        lintavel.count(paths).files("the")
    with pytest.raises(ValueError):
        counts + lintavel.count(paths, encoding)


def test_unreadable_files_are_errors_in_file_order_and_the_rest_is_counted(folder):
    good = folder / "good.txt"
    good.write_bytes(b"one two two\r\n")
    paths = [folder / "missing.txt", good, folder, good]
    counts = lintavel.count(paths)
    assert [path for path, _ in counts.errors] == [str(folder / "missing.txt"), str(folder)]
    assert "No such file" in counts.errors[0][1] and "folder" in counts.errors[1][1]
    assert counts.items() == [("one", 2), ("two", 4)]
    total, stderr = extract(paths, output=folder / "cli.txt")
    counts.write(folder / "py.txt")
    assert (folder / "py.txt").read_bytes() == (folder / "cli.txt").read_bytes()
    assert all(reason in stderr for _, reason in counts.errors)


def test_counts_api(folder):
    (folder / "a.txt").write_bytes("b a c b \u20ac c\tc Caf\u00e9 a b\r\n".encode("cp1252"))
    (folder / "b.txt").write_bytes(b"b z\n")
    a = lintavel.count(folder / "a.txt")
    assert list(a) == ["Caf\u00e9", "c", "cc", "\u20ac", "a", "b"]
    assert (len(a), a.total, a["b"], a["nothing"], a["\u4e00"]) == (6, 9, 3, 0, 0)
    assert "\u20ac" in a and "cc" in a and "x" not in a and 5 not in a
    assert a.most_common(2) == [("b", 3), ("a", 2)]
    both = lintavel.count([folder / "a.txt", folder / "b.txt"])
    for merged in (a.merge(lintavel.count(folder / "b.txt")), a + lintavel.count(folder / "b.txt")):
        assert merged.items() == both.items() and merged.total == both.total
    utf8 = lintavel.count(folder / "b.txt", encoding="utf-8")
    with pytest.raises(ValueError):
        a + utf8
    assert (lintavel.Counts() + utf8).items() == utf8.items()
    frame = a.to_pandas()
    assert list(frame["word"]) == list(a) and list(frame["count"]) == [n for _, n in a.items()]


def test_counts_api_order_and_pickling(folder):
    # U+20AC (byte 0x80) sorts after U+00FF (byte 0xFF): UTF-16 order, not byte order.
    (folder / "a.txt").write_bytes(b"\x80 \xff b b a\r\n")
    counts = lintavel.count(folder / "a.txt")
    assert counts.items() == [("a", 1), ("\u00ff", 1), ("\u20ac", 1), ("b", 2)]
    big = lintavel.count(SAMPLES)
    data = pickle.dumps(big)
    word_bytes = sum(len(word.encode("utf-8")) for word in big)
    assert len(data) < word_bytes + 4 * len(big) + 200
    back = pickle.loads(data)
    assert back.items() == big.items() and back.total == big.total
    broken = lintavel.count([folder / "gone"])
    assert pickle.loads(pickle.dumps(broken)).errors == broken.errors
    for damaged in (b"LTVC1c\x05", b"LTVC1c-\x00\x00\x00\x00\xff\xff\xff\xff\xff\xff\x7f",
                    data[:-1]):
        with pytest.raises(ValueError):
            lintavel.Counts.__new__(lintavel.Counts).__setstate__(damaged)


@pytest.mark.parametrize("call,error", [
    (lambda: lintavel.count(5), TypeError),
    (lambda: lintavel.count([b"a.txt"]), TypeError),
    (lambda: lintavel.count([], threads="two"), TypeError),
    (lambda: lintavel.count([], encoding="latin-9"), ValueError),
    (lambda: lintavel.count([], sort="length"), ValueError),
    (lambda: lintavel.count([], top=0), ValueError),
    (lambda: lintavel.count([], stop_list="/no/such/stop/list"), ValueError),
    (lambda: lintavel.count([]).write("/tmp/x", encoding="utf-16"), ValueError),
    (lambda: lintavel.count([], dispersion="files", stem="english"), ValueError),
    (lambda: lintavel.count([], words="unicode", split_elisions=True, min_length=5,
                            max_length=2), ValueError),
    (lambda: lintavel.concordance([], "a", words="icu"), ValueError),
    (lambda: lintavel.concordance([], "a", split_elisions=True), ValueError),
])
def test_bad_arguments_raise_at_once(call, error):
    with pytest.raises(error):
        call()


def test_concordance_cuts_by_the_word_rule_it_is_given(folder):
    path = folder / "a.txt"
    path.write_text("l\u2019histoire, l\u2019histoire-l\u00e0\n", encoding="utf-8")

    def found(word, **rule):
        return [row[3] for row in lintavel.concordance([path], word, encoding="utf-8", **rule)]

    assert found("l\u2019histoire") == ["l\u2019histoire,"]
    assert found("l\u2019histoire", words="unicode") == ["l\u2019histoire"] * 2
    assert found("l\u2019histoire", words="unicode", split_elisions=True) == []
    assert found("HISTOIRE", words="unicode", split_elisions=True, fold_case=True) == ["histoire"] * 2


def test_encoding_names_are_those_of_the_command_line(folder):
    (folder / "a.txt").write_bytes("caf\u00e9 caf\u00e9\n".encode("utf-8"))
    for names in (["cp1252", "Windows-1252"], ["utf-8", "UTF8"], ["utf-16", "utf16"]):
        assert len({tuple(lintavel.count(folder / "a.txt", name).items()) for name in names}) == 1
    counts = lintavel.count(folder / "a.txt", "utf8")
    counts.write(folder / "out.txt", encoding="UTF-8")
    assert (folder / "out.txt").read_bytes() == "caf\u00e9\r\n".encode("utf-8")


def test_write_refuses_a_folder_and_keeps_what_was_there(folder):
    (folder / "old.txt").write_bytes(b"old")
    counts = lintavel.count(SAMPLES)
    with pytest.raises(OSError):
        counts.write(folder)
    (folder / "old.txt").chmod(0o444)
    with pytest.raises(OSError):
        counts.write(folder / "old.txt")
    assert (folder / "old.txt").read_bytes() == b"old"


def test_the_engine_runs_without_the_gil(folder):
    big = folder / "big.txt"
    big.write_bytes(mixed_text(2, 400_000).encode("cp1252"))
    turns = 0
    worker = threading.Thread(target=lambda: lintavel.count([big] * 4, threads=1))
    worker.start()
    while worker.is_alive():
        turns += 1
    worker.join()
    assert turns > 1000
