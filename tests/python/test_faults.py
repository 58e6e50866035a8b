"""Faults of the Python module found by hostile input, each reproduced once."""
import os
import pathlib
import signal
import subprocess
import sys
import threading
import time

import pytest

import lintavel
from conftest import extract, mixed_text

UNDECODABLE = os.fsdecode(b"caf\xe9")


def test_merge_all_refuses_what_is_no_counts():
    for parts in ([lintavel.Counts(), None], (c for c in [lintavel.Counts(), 5])):
        with pytest.raises(TypeError):
            lintavel.merge_all(parts)


def test_out_of_memory_in_a_range_raises_instead_of_counting_in_part(folder):
    # Distinct words enough that the word table must grow past the memory left.
    path = folder / "words.txt"
    path.write_bytes(b" ".join(b"w%d" % i for i in range(400_000)))
    script = (
        "import resource, sys, lintavel\n"
        "def vm():\n"
        "    for line in open('/proc/self/status'):\n"
        "        if line.startswith('VmSize:'): return int(line.split()[1]) * 1024\n"
        "limit = vm() + (8 << 20)\n"
        "resource.setrlimit(resource.RLIMIT_AS, (limit, limit))\n"
        "try:\n"
        "    counts = lintavel.count_range(sys.argv[1], 0)\n"
        "except MemoryError:\n"
        "    sys.exit(3)\n"
        "print(counts.total, counts.errors)\n")
    run = subprocess.run([sys.executable, "-c", script, str(path)], capture_output=True,
                         text=True, env=os.environ, check=False)
    assert run.returncode == 3, run.stdout + run.stderr


def test_a_file_whose_size_reads_zero_is_read_whole():
    pseudo = pathlib.Path("/proc/self/mountinfo")
    if not pseudo.exists() or pseudo.stat().st_size != 0:
        pytest.skip("no pseudo-file of size 0 here")
    counts = lintavel.count_range(pseudo, 0)
    assert counts.total > 0 and counts.errors == []


@pytest.mark.parametrize("changed", [
    {"fold_case": True}, {"html": True}, {"encoding": "utf-8"}, {"per_file": True},
    {"stop_list": "stop"}, {"top": 2}, {"min_count": 2}])
def test_counts_made_differently_do_not_merge(folder, changed):
    (folder / "a.txt").write_bytes(b"The the cat sat\r\n")
    (folder / "stop").write_bytes(b"cat\r\n")
    if "stop_list" in changed:
        changed = {"stop_list": folder / "stop"}
    plain = lintavel.count(folder / "a.txt")
    other = lintavel.count(folder / "a.txt", **changed)
    with pytest.raises(ValueError):
        plain + other
    with pytest.raises(ValueError):
        lintavel.merge_all([lintavel.Counts(), other, plain])
    if "top" in changed or "min_count" in changed:
        # Cut counts do not even merge with their like.
        with pytest.raises(ValueError):
            other + other


def test_file_names_that_are_not_utf8_come_back_as_fsdecode_gives_them(folder):
    missing = folder / UNDECODABLE
    counts = lintavel.count([missing])
    [(path, reason)] = counts.errors
    assert path == str(missing) and UNDECODABLE in reason and "No such file" in reason
    assert lintavel.count_range(missing, 0).errors == counts.errors
    for call in (lambda: lintavel.count([], stop_list=missing),
                 lambda: lintavel.count([]).write(missing / "out.txt")):
        with pytest.raises((ValueError, OSError)) as raised:
            call()
        assert UNDECODABLE in str(raised.value)


def test_detect_encoding_raises_for_what_it_cannot_read(folder):
    os.mkfifo(folder / "pipe")
    for path in (folder / "missing", folder, folder / "pipe", "/dev/null"):
        with pytest.raises(OSError) as raised:
            lintavel.detect_encoding(path)
        assert str(path) in str(raised.value)


def test_ctrl_c_stops_a_count(folder):
    big = folder / "big.txt"
    big.write_bytes(mixed_text(3, 200_000).encode("cp1252"))
    timer = threading.Timer(0.2, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            lintavel.count([big] * 1000, threads=1)
    finally:
        timer.cancel()


def test_unclosed_html_is_an_error_as_on_the_command_line(folder):
    page = folder / "page.html"
    page.write_bytes(b"<p>shown</p>\n<!-- open\nhidden\n")
    counts = lintavel.count([page], html=True)
    assert counts.items() == [("shown", 1)]
    [(path, reason)] = counts.errors
    _, stderr = extract([page], "--html", output=folder / "cli.txt")
    assert path == str(page) and reason.split("': ", 1)[1] in stderr


def test_lookups_of_strings_no_word_can_be():
    counts = lintavel.Counts()
    assert "\ud800" not in counts and counts["\ud800"] == 0 and 5 not in counts


@pytest.mark.parametrize("keywords", [
    {"min_count": -1}, {"threads": -1}, {"top": -3}, {"min_count": 2 ** 70}])
def test_wrong_option_values_are_value_errors(folder, keywords):
    with pytest.raises(ValueError):
        lintavel.count([], **keywords)
    if "threads" not in keywords:
        with pytest.raises(ValueError):
            lintavel.count_range(folder, 0, **keywords)
