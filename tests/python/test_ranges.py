"""count_range: consecutive ranges of a file count each of its words exactly once."""
import pytest

import lintavel

# Small files whose boundaries fall on every awkward place: inside CR LF, next to
# tabs and blanks, inside a byte-order mark, inside UTF-8 and UTF-16 sequences.
ADVERSARIAL = {
    "crlf": b"a\r\nb\r\n\r\nc\rd\n\re",
    "tabs": b"\ta\tb \t c\t\t\td\t",
    "blanks": b"  two  blanks   ",
    "punctuation": b"... don't (x) -- co-op !? ,",
    "cp1252 high": b"caf\xe9 \x80uro \x81\x8d\x9d \xff",
    "utf-8 bom": b"\xef\xbb\xbfword \xef\xbb\xbfagain\r\n",
    "utf-8 bom only": b"\xef\xbb\xbf",
    "utf-8": "na\u00efve \u20ac \U0001f600x \u00e9t\u00e9\r\n\u4e00\u4e8c".encode("utf-8"),
    "ill-formed utf-8": b"a\xc3 \xe2\x82\r\n\xf0\x9f\x98 \xffz\xc3\xa9\xa9 \xed\xa0\x80",
    "utf-16le bom": b"\xff\xfe" + "a b\r\nc\u00e9 \U0001f600\td".encode("utf-16-le"),
    "utf-16be bom": b"\xfe\xff" + "a b\r\nc\u00e9 \U0001f600\td".encode("utf-16-be"),
    "utf-16 odd end": "ab cd".encode("utf-16-le") + b"\x20",
    "utf-16 lone surrogate": b"a\x00\x00\xd8 \x00b\x00",
    "one word": b"x",
    "empty": b"",
}

ENCODINGS = ["cp1252", "utf-8", "utf-16", "auto"]


def whole(path, encoding, **options):
    return lintavel.count([path], encoding, **options)


def assert_same(parts, expected):
    merged = lintavel.merge_all(parts)
    assert merged.items() == expected.items()
    assert merged.total == expected.total


@pytest.mark.parametrize("encoding", ENCODINGS)
@pytest.mark.parametrize("name", ADVERSARIAL)
def test_every_split_counts_each_word_once(folder, name, encoding):
    path = folder / "text"
    data = ADVERSARIAL[name]
    path.write_bytes(data)
    expected = whole(path, encoding)
    size = len(data)
    detected = lintavel.detect_encoding(path) if encoding == "auto" else None
    for a in range(size + 1):
        for b in range(a, size + 1):
            parts = [lintavel.count_range(path, start, end, encoding=encoding,
                                          file_encoding=detected)
                     for start, end in ((0, a), (a, b), (b, None))]
            assert_same(parts, expected)


@pytest.mark.parametrize("encoding", ENCODINGS)
def test_every_chunk_size_of_a_larger_file(folder, encoding):
    from conftest import mixed_text

    path = folder / "text"
    data = mixed_text(3, 400).encode("utf-8")
    path.write_bytes(b"\xef\xbb\xbf" + data)
    expected = whole(path, encoding, fold_case=True)
    for chunk in (1, 2, 3, 5, 64, 1000):
        parts = [lintavel.count_range(path, start, min(start + chunk, len(data) + 3),
                                      encoding=encoding, fold_case=True)
                 for start in range(0, len(data) + 3, chunk)]
        assert_same(parts, expected)


def test_auto_decides_from_the_whole_file(folder):
    # Valid UTF-8 until the last byte: the whole file, so every range, is Windows-1252.
    path = folder / "text"
    path.write_bytes("\u00e9t\u00e9 ".encode("utf-8") * 50 + b"\xe9")
    assert lintavel.detect_encoding(path) == "cp1252"
    head = lintavel.count_range(path, 0, 20, encoding="auto")
    assert list(head) == ["\u00c3\u00a9t\u00c3\u00a9"]
    assert lintavel.count_range(path, 0, 20, encoding="auto", file_encoding="utf-8").items() == [
        ("\u00e9t\u00e9", 4)]


@pytest.mark.parametrize("start,end", [(0, 11), (11, None), (5, 3), (-1, 2), (12, 12)])
def test_a_range_outside_the_file_is_a_value_error(folder, start, end):
    path = folder / "text"
    path.write_bytes(b"ten bytes!")
    with pytest.raises(ValueError):
        lintavel.count_range(path, start, end)


def test_an_unreadable_file_is_an_error_of_the_range(folder):
    counts = lintavel.count_range(folder / "missing", 0, 10)
    assert counts.errors == lintavel.count([folder / "missing"]).errors and len(counts) == 0
    assert lintavel.count_range(folder, 0, None).errors == lintavel.count([folder]).errors


def test_grouped_or_filtered_ranges_refuse_merging(folder):
    # Each range's filter would keep words whose merged figures it never saw.
    path = folder / "text.txt"
    path.write_bytes(b"the cats ran\nthe cat runs\n")
    for option in [{"match": "^c"}, {"min_length": 4}, {"stem": "english"}]:
        parts = [lintavel.count_range(path, 0, 13, **option), lintavel.count_range(path, 13, **option)]
        with pytest.raises(ValueError, match="grouped or filtered"):
            lintavel.merge_all(parts, same_file=True)
    plain = [lintavel.count_range(path, 0, 13, words="unicode"), lintavel.count_range(path, 13)]
    with pytest.raises(ValueError, match="word rules"):
        lintavel.merge_all(plain, same_file=True)
