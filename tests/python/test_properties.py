"""Properties of the Python API over random files, encodings, options and splits:
ranges counted and merged equal lintavel.count, which equals lintavel-extract, and
merging either equals one run over all the files or raises ValueError."""
import pathlib
import tempfile

import pytest

hypothesis = pytest.importorskip("hypothesis")
from hypothesis import given, settings, strategies as st  # noqa: E402

import lintavel  # noqa: E402
from conftest import extract  # noqa: E402

VOCABULARY = ["the", "The", "THE", "don't", "co-op", "a\tb", "...", "caf\u00e9", "CAF\u00c9",
              "\u20ac5", "x", "\u0160koda", "stra\u00dfe", "42", "(w)", "\u0153uvre",
              "\U0001f600", "\u4e00\u4e8c", "\ufeff", "\u00a0", "l\u2019histoire", "dell'arte",
              "\u00abbonjour\u00bb", "word\u2014word", "\u00bfqu\u00e9?", "\u201cHi\u201d", "\u3072\u3089"]
SEPARATORS = [" ", "  ", "\n", "\r\n", "\r", "\t ", " \t"]
# How text becomes bytes: the prefix and the codec.
WRITINGS = {
    "cp1252": (b"", "cp1252"),
    "utf-8": (b"", "utf-8"),
    "utf-8 bom": (b"\xef\xbb\xbf", "utf-8"),
    "utf-16le": (b"", "utf-16-le"),
    "utf-16le bom": (b"\xff\xfe", "utf-16-le"),
    "utf-16be bom": (b"\xfe\xff", "utf-16-be"),
}
READINGS = ["cp1252", "utf-8", "utf-16", "auto"]
PROPERTY_SETTINGS = settings(max_examples=40, deadline=None, database=None)


@st.composite
def file_bytes(draw):
    if draw(st.integers(0, 5)) == 0:
        return draw(st.binary(max_size=300))
    words = draw(st.lists(st.tuples(st.sampled_from(VOCABULARY), st.sampled_from(SEPARATORS)),
                          max_size=60))
    text = "".join(word + separator for word, separator in words)
    if draw(st.booleans()) and text:
        text = text.rstrip()
    prefix, codec = WRITINGS[draw(st.sampled_from(sorted(WRITINGS)))]
    return prefix + text.encode(codec, errors="replace")


def options():
    return st.fixed_dictionaries({
        "encoding": st.sampled_from(READINGS),
        "fold_case": st.booleans(),
        "per_file": st.booleans(),
        "stop": st.booleans(),
        "words": st.sampled_from(["default", "unicode", "unicode split"]),
    })


def keywords(option, folder):
    chosen = {"fold_case": option["fold_case"], "per_file": option["per_file"],
              "words": option["words"].split()[0],
              "split_elisions": option["words"].endswith("split")}
    if option["stop"]:
        stop = folder / "stop.txt"
        stop.write_bytes(b"the\r\nx\r\ncaf\xe9\r\n")
        chosen["stop_list"] = stop
    return chosen


def figures(counts):
    files = [counts.files(word) for word in counts] if counts.per_file else None
    return counts.items(), counts.total, counts.errors, files


@PROPERTY_SETTINGS
@given(data=file_bytes(), option=options(), cuts=st.lists(st.integers(0, 2000), max_size=5),
       detect=st.booleans())
def test_ranges_merged_equal_count_which_equals_the_command_line(data, option, cuts, detect):
    with tempfile.TemporaryDirectory(prefix="pywords-") as name:
        folder = pathlib.Path(name)
        path = folder / "text"
        path.write_bytes(data)
        chosen = keywords(option, folder)
        whole = lintavel.count([path], option["encoding"], 1, **chosen)

        starts = sorted({0, *(cut % (len(data) + 1) for cut in cuts)})
        ends = starts[1:] + [None]
        file_encoding = None
        if option["encoding"] == "auto" and detect:
            file_encoding = lintavel.detect_encoding(path)
        parts = [lintavel.count_range(path, start, end, encoding=option["encoding"],
                                      file_encoding=file_encoding, **chosen)
                 for start, end in zip(starts, ends)]
        assert figures(lintavel.merge_all(parts, same_file=True)) == figures(whole)

        if option["per_file"]:
            return
        arguments = ["--encoding", option["encoding"], "--words", chosen["words"]]
        if chosen["split_elisions"]:
            arguments.append("--split-elisions")
        if option["fold_case"]:
            arguments.append("--fold-case")
        if option["stop"]:
            arguments += ["--stop-list", str(chosen["stop_list"])]
        total, _ = extract([path], *arguments, output=folder / "cli.txt")
        whole.write(folder / "py.txt", encoding=whole.encoding)
        assert total == whole.total
        assert (folder / "py.txt").read_bytes() == (folder / "cli.txt").read_bytes()


@PROPERTY_SETTINGS
@given(first=file_bytes(), second=file_bytes(), option=options(), other=options(),
       cut=st.sampled_from([{}, {}, {"top": 3}, {"min_count": 2}]))
def test_merging_equals_one_run_or_raises(first, second, option, other, cut):
    with tempfile.TemporaryDirectory(prefix="pywords-") as name:
        folder = pathlib.Path(name)
        a, b = folder / "a", folder / "b"
        a.write_bytes(first)
        b.write_bytes(second)
        one = lintavel.count([a], option["encoding"], **keywords(option, folder), **cut)
        two = lintavel.count([b], other["encoding"], **keywords(other, folder))
        try:
            merged = one + two
        except ValueError:
            assert option != other or cut
            return
        assert option == other and not cut
        both = lintavel.count([a, b], option["encoding"], **keywords(option, folder))
        assert figures(merged) == figures(both)
