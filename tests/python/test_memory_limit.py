"""lintavel.count with its tables bounded: spilled to a folder and merged, the same counts."""
import os
import pickle

import pytest

import lintavel


def test_a_bounded_count_spills_and_gives_the_unbounded_counts(folder):
    paths = []
    for part in range(2):
        words = [f"w{i}" + ("-a-tail-past-sixteen-bytes" if i % 97 == 0 else "")
                 for i in range(part * 90_000, part * 90_000 + 150_000)]
        path = folder / f"part{part}.txt"
        path.write_text(" ".join(words + words[::7]) + "\n", encoding="utf-8")
        paths.append(path)
    spill = folder / "spill"
    spill.mkdir()
    unbounded = lintavel.count(paths, encoding="utf-8", per_file=True)
    bounded = lintavel.count(paths, encoding="utf-8", per_file=True, threads=1,
                             memory_limit=16 << 20, temp_dir=spill)
    # The pickled form holds every word, count and files figure, in order.
    assert pickle.dumps(bounded) == pickle.dumps(unbounded)
    assert bounded.files("w1") == 1 and bounded.files("w100000") == 2
    assert os.listdir(spill) == []


@pytest.mark.parametrize("keywords, error", [
    ({"memory_limit": 1 << 20}, ValueError),
    ({"memory_limit": "512M"}, TypeError),
    ({"temp_dir": 5}, TypeError),
])
def test_bad_bounds_and_folders_are_refused(folder, keywords, error):
    path = folder / "a.txt"
    path.write_text("a b", encoding="utf-8")
    with pytest.raises(error):
        lintavel.count([path], **keywords)


def test_a_missing_folder_fails_the_run_once_it_spills(folder):
    path = folder / "a.txt"
    path.write_text(" ".join(f"w{i}" for i in range(200_000)), encoding="utf-8")
    with pytest.raises(RuntimeError, match="cannot make a folder in the temporary folder"):
        lintavel.count([path], threads=1, memory_limit=16 << 20, temp_dir=folder / "missing")
