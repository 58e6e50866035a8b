"""lintavel-extract --html against Python's html.parser on real HTML pages.

Usage: python3 html_differential_test.py LINTAVEL_EXTRACT PAGE_FOLDER
For every page, the words and counts of `--html --encoding utf-8` must equal those
of the text that html.parser gives, cut by the same word rules with the same rule
for which tags separate words. Pages on which the two parsers' rules differ (see
DIFFERING) are left out by name.
"""
import collections
import html.parser
import pathlib
import string
import subprocess
import sys

# The inline elements, which do not end a word; every other tag does.
INLINE = {
    "a", "abbr", "acronym", "b", "bdi", "bdo", "big", "cite", "code", "data", "del",
    "dfn", "em", "font", "i", "ins", "kbd", "label", "mark", "nobr", "q", "s", "samp",
    "small", "span", "strike", "strong", "sub", "sup", "time", "tt", "u", "var",
}
DIFFERING = set()


class TextOf(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.parts = []
        self.hidden = None

    def handle_starttag(self, tag, attrs):
        if tag in ("script", "style"):
            self.hidden = tag
        if tag not in INLINE:
            self.parts.append(" ")

    def handle_endtag(self, tag):
        if tag == self.hidden:
            self.hidden = None
        if tag not in INLINE:
            self.parts.append(" ")

    def handle_data(self, data):
        if self.hidden is None:
            self.parts.append(data)


def reference_words(page_text):
    parser = TextOf()
    parser.feed(page_text)
    parser.close()
    text = "".join(parser.parts).replace("\t", "")
    drop = str.maketrans("", "", string.punctuation)
    counts = collections.Counter()
    for line in text.replace("\r\n", "\n").replace("\r", "\n").split("\n"):
        for word in line.split(" "):
            word = word.translate(drop)
            if word:
                counts[word] += 1
    return counts


def extracted_words(extract, page):
    run = subprocess.run([extract, "--html", "--encoding", "utf-8", "--format", "tsv", page],
                         capture_output=True, check=True)
    counts = collections.Counter()
    for line in run.stdout.decode("utf-8").split("\r\n"):
        if line:
            count, word = line.split("\t")
            counts[word] = int(count)
    return counts


def main():
    extract, folder = sys.argv[1], pathlib.Path(sys.argv[2])
    pages = sorted(p for p in folder.glob("*.html") if p.name not in DIFFERING)
    if len(pages) < 10:
        print(f"too few HTML pages in {folder}: install the test packages "
              "(scripts/install-deps.sh test)")
        return 1
    failed = 0
    for page in pages:
        expected = reference_words(page.read_text(encoding="utf-8", errors="replace"))
        got = extracted_words(extract, str(page))
        if got != expected:
            failed += 1
            print(f"{page.name}: only html.parser: {dict(expected - got)}; "
                  f"only lintavel-extract: {dict(got - expected)}")
    print(f"{len(pages) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
