"""Shared helpers of the Python module's tests: a private folder removed after each
test, and lintavel-extract run on the same files for reference."""
import os
import pathlib
import random
import re
import subprocess
import tempfile

import pytest

SOURCE_DIR = pathlib.Path(__file__).resolve().parents[2]


@pytest.fixture
def folder():
    with tempfile.TemporaryDirectory(prefix="pywords-") as name:
        yield pathlib.Path(name)


def extract(paths, *options, output):
    """Runs lintavel-extract -o `output` on `paths`; gives its total and stderr."""
    binary = os.environ.get("LINTAVEL_EXTRACT")
    if not binary:
        pytest.skip("LINTAVEL_EXTRACT names no lintavel-extract binary")
    run = subprocess.run([binary, "-q", "-o", str(output), *options, "--", *map(str, paths)],
                         capture_output=True, text=True, check=False)
    total = re.search(r"Results \(Total Word Count: (\d+)\)", run.stderr)
    return int(total.group(1)), run.stderr


def mixed_text(seed, words=3000):
    """Text of every word class the rules know: punctuation, tabs, all line ends,
    bytes above 127, blanks in runs; in bytes, as Windows-1252 or UTF-8 would have it."""
    rng = random.Random(seed)
    vocabulary = ["the", "The", "don't", "co-op", "a\tb", "...", "caf\u00e9", "\u00c9t\u00e9",
                  "na\u00efve", "\u20ac5", "x", "Zebra", "apple", "\u0160koda", "stra\u00dfe",
                  "42", "(word)", "\"quoted\"", "\u0153uvre"]
    separators = [" ", "  ", "\n", "\r\n", "\r", " \t", "\t "]
    parts = []
    for _ in range(words):
        parts.append(rng.choice(vocabulary))
        parts.append(rng.choice(separators))
    return "".join(parts)
