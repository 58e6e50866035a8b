#!/usr/bin/python3
"""Bigrams of a text counted by NLTK, beside lintavel-extract's, for comparison:
    /usr/bin/python3 bench/nltk_bigrams.py LINTAVEL_EXTRACT FILE [ROUNDS]
The text is cut as the default word rule cuts it (blank-separated, the 32 ASCII
punctuation characters removed) and NLTK's ngrams() counted in a Counter; the
counts are checked against `lintavel-extract --ngrams 2 --ngram-breaks none
--threads 1 --counts` before anything is timed. Prints the fastest of ROUNDS."""
import collections
import string
import subprocess
import sys
import time

import nltk

extract, path = sys.argv[1], sys.argv[2]
rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 3
REMOVED = str.maketrans("", "", string.punctuation + "\t")


def nltk_bigrams():
    with open(path, encoding="cp1252") as text:
        words = [w for w in (token.translate(REMOVED) for token in text.read().split()) if w]
    return collections.Counter(" ".join(pair) for pair in nltk.ngrams(words, 2))


def ours():
    command = [extract, "--ngrams", "2", "--ngram-breaks", "none", "--threads", "1", "--counts",
               "-q", path]
    return subprocess.run(command, check=True, capture_output=True).stdout


def fastest(run):
    times = []
    for _ in range(rounds):
        start = time.perf_counter()
        run()
        times.append(time.perf_counter() - start)
    return min(times)


# lintavel-extract first, while this process is small (a large one forks slowly).
ours_time = fastest(ours)
listed = {}
for line in ours().decode("cp1252").splitlines():
    count, word = line.split("\t")
    listed[word] = int(count)
assert listed == dict(nltk_bigrams()), "NLTK and lintavel-extract count different bigrams"
print(f"NLTK ngrams + Counter: {fastest(nltk_bigrams):.3f} s")
print(f"lintavel-extract, 1 thread: {ours_time:.3f} s ({len(listed):,} distinct bigrams)")
