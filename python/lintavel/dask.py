"""Counting on a Dask cluster, with exactly the result of one lintavel.count run.

    from distributed import Client, LocalCluster
    client = Client(LocalCluster(n_workers=2, threads_per_worker=1))
    counts = lintavel.dask.count(["corpus/a.txt", "corpus/b.txt"], client=client)

Each file is cut into byte ranges of about chunk_bytes; each range is counted on a
worker (every worker must see the files under the same paths); the partial counts
are merged in a tree, first the ranges of each file, then the files in their
order, so that the errors come in the order of the files. A range lost with its
worker is counted again by Dask; a range whose worker runs out of memory raises
MemoryError, which fails the count rather than leaving a part out. Options are checked, and the stop lists read, on
the calling side first, so that a mistake raises at once.
"""
import os
import stat

import lintavel

DEFAULT_CHUNK_BYTES = 64 << 20
_FAN_IN = 8


def count(paths, client=None, chunk_bytes=DEFAULT_CHUNK_BYTES, encoding="cp1252", *,
          fold_case=False, html=False, stop_list=None, min_count=0, top=None, sort="count",
          per_file=False, per_million=False, dispersion=None, reference=None,
          reference_list=None, keyness=None, min_ll=None, words="default",
          split_elisions=False, lemma_list=None, stem=None, stem_show="stem", match=None,
          exclude=None, min_length=None, max_length=None, ngrams=None,
          ngram_breaks="sentence"):
    """The Counts of lintavel.count(paths, encoding, ...), counted on the workers of
    `client` (by default the current distributed client). The ranges are counted by
    the word rule and merged; lemmas, stems and filters apply to the merged counts,
    so that the result is that of one run. per_million is exact (it is taken of the
    merged total); dispersion and keyness are not counted on a cluster yet and raise
    ValueError. With ngrams, a range also reads the few words past its end that the
    sequences beginning in it run on into, so the result stays exact."""
    for name, value in (("dispersion", dispersion), ("reference", reference),
                        ("reference_list", reference_list), ("keyness", keyness),
                        ("min_ll", min_ll)):
        if value is not None:
            raise ValueError(f"{name} is not supported by lintavel.dask.count yet; "
                             "use lintavel.count")
    if isinstance(chunk_bytes, bool) or not isinstance(chunk_bytes, int):
        raise TypeError("chunk_bytes must be a whole number")
    if chunk_bytes < 1:
        raise ValueError("chunk_bytes must be at least 1")
    files = _paths(paths)
    # Raises on a wrong option or an unreadable stop list before anything is sent.
    empty = lintavel.count([], encoding, 1, fold_case=fold_case, html=html,
                           stop_list=stop_list, min_count=min_count, top=top, sort=sort,
                           per_file=per_file, words=words, split_elisions=split_elisions,
                           lemma_list=lemma_list, stem=stem, stem_show=stem_show, match=match,
                           exclude=exclude, min_length=min_length, max_length=max_length,
                           ngrams=ngrams, ngram_breaks=ngram_breaks)
    if not files:
        empty._per_million = per_million
        return empty
    if client is None:
        from distributed import default_client

        client = default_client()
    options = {"encoding": encoding, "fold_case": fold_case, "html": html,
               "stop_list": stop_list, "per_file": per_file, "words": words,
               "split_elisions": split_elisions, "ngrams": ngrams,
               "ngram_breaks": ngram_breaks}
    grouping = {"lemma_list": lemma_list, "stem": stem, "stem_show": stem_show,
                "match": match, "exclude": exclude, "min_length": min_length,
                "max_length": max_length}
    file_parts = []
    for path in files:
        ranges = _ranges(path, chunk_bytes, html)
        file_encoding = None
        if encoding == "auto" and len(ranges) > 1:
            # Decided once from the whole file, as a single run decides it.
            file_encoding = client.submit(_detect_encoding, path, pure=False)
        parts = [client.submit(_count_part, path, start, end, file_encoding, options,
                               pure=False)
                 for start, end in ranges]
        file_parts.append(_tree(client, parts, True))
    root = _tree(client, file_parts, False)
    counts = client.submit(_shape, root, min_count, top, sort, options, grouping,
                           pure=False).result()
    counts._per_million = per_million
    return counts


def _paths(paths):
    def one(path):
        if not isinstance(path, (str, os.PathLike)):
            raise TypeError(f"a path must be a str or an os.PathLike, not {type(path).__name__}")
        return os.fsdecode(path)

    if isinstance(paths, (str, os.PathLike)):
        return [one(paths)]
    if isinstance(paths, bytes) or not hasattr(paths, "__iter__"):
        raise TypeError("paths must be a path or an iterable of paths")
    return [one(path) for path in paths]


def _ranges(path, chunk_bytes, html):
    """The byte ranges of `path`; one for the whole file when it is small, HTML, or
    no regular file seen from here (its reading then reports what is wrong)."""
    try:
        info = os.stat(path)
    except OSError:
        return [(0, None)]
    if html or not stat.S_ISREG(info.st_mode) or info.st_size <= chunk_bytes:
        return [(0, None)]
    starts = list(range(0, info.st_size, chunk_bytes))
    # The last range runs to the end of the file as the worker finds it.
    return [(start, start + chunk_bytes) for start in starts[:-1]] + [(starts[-1], None)]


def _detect_encoding(path):
    # A module-level function: the extension's own functions cannot be pickled.
    return lintavel.detect_encoding(path)


def _count_part(path, start, end, file_encoding, options):
    if options["html"]:
        return lintavel.count([path], options["encoding"], 1, fold_case=options["fold_case"],
                              html=True, stop_list=options["stop_list"],
                              per_file=options["per_file"], words=options["words"],
                              split_elisions=options["split_elisions"],
                              ngrams=options["ngrams"], ngram_breaks=options["ngram_breaks"])
    return lintavel.count_range(path, start, end, encoding=options["encoding"],
                                file_encoding=file_encoding, fold_case=options["fold_case"],
                                stop_list=options["stop_list"], per_file=options["per_file"],
                                words=options["words"],
                                split_elisions=options["split_elisions"],
                                ngrams=options["ngrams"], ngram_breaks=options["ngram_breaks"])


def _merge(one_file, *parts):
    # The ranges of one file: a word in several of them is still in one file.
    merged = lintavel.merge_all(list(parts), same_file=one_file)
    if one_file:
        # Every range of a file that cannot be read tells of it.
        merged._drop_repeated_errors()
    return merged


def _tree(client, parts, one_file):
    while len(parts) > 1:
        parts = [client.submit(_merge, one_file, *parts[i:i + _FAN_IN], pure=False)
                 for i in range(0, len(parts), _FAN_IN)]
    if one_file:
        return client.submit(_merge, True, parts[0], pure=False)
    return parts[0]


def _shape(counts, min_count, top, sort, options, grouping):
    counts._group(options["encoding"], options["fold_case"], options["words"],
                  options["split_elisions"], **grouping)
    counts._shape(min_count, top, sort)
    return counts
