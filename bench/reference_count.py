#!/usr/bin/env python3
"""The word rules written plainly with collections.Counter, as a reference and as a
competitor: lines end at LF, CR LF or CR; tabs are removed; words are cut at blanks;
the 32 ASCII punctuation characters are removed; words sort by count, then by the
ordinal order of their Windows-1252 characters. Writes the words as CR LF lines."""
import collections
import re
import sys

PUNCTUATION = b"!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~\t"
HIGH = [0x20AC, 0x81, 0x201A, 0x192, 0x201E, 0x2026, 0x2020, 0x2021, 0x2C6, 0x2030, 0x160,
        0x2039, 0x152, 0x8D, 0x17D, 0x8F, 0x90, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x2DC, 0x2122, 0x161, 0x203A, 0x153, 0x9D, 0x17E, 0x178]
DECODE = {b: (HIGH[b - 0x80] if 0x80 <= b < 0xA0 else b) for b in range(256)}


def main(paths):
    counts = collections.Counter()
    for path in paths:
        with open(path, "rb") as f:
            data = f.read()
        for line in re.split(rb"\r\n|\r|\n", data):
            for token in line.split(b" "):
                word = token.translate(None, PUNCTUATION)
                if word:
                    counts[word] += 1
    ordered = sorted(counts.items(), key=lambda kv: (kv[1], [DECODE[b] for b in kv[0]]))
    out = sys.stdout.buffer
    out.write(b"".join(word + b"\r\n" for word, _ in ordered))
    sys.stderr.write("Results (Total Word Count: %d)\n" % sum(counts.values()))


if __name__ == "__main__":
    main(sys.argv[1:])
