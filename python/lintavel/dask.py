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

Keyness is exact: the reference files are counted like the inputs and merged, and
the table is made from the two merged counts on the calling side (a reference_list
is read there). dispersion="files" is exact: each file's ranges are merged into the
file's counts, which give the parts; one worker merges them and scores every word,
and the scores come back as packed columns. dispersion="parts=N" is exact too, in two
readings: the ranges are counted as above, their totals give each range's first word
in the whole corpus, and each range then gives its words' counts in the parts it
spans (from its counts when it lies in one part, else read again on the worker);
these are joined in the order of the ranges and scored where the list is shaped.

A list too large for one process: with partitions=K and output=FOLDER, every range's
counts are cut into K shares by a hash of the words, each share is merged on a
worker from the same share of every range, and written to FOLDER/part-00000.tsv
(the format as lintavel-extract --format writes it; tsv by default), so that no
process holds the whole list. Each word is in one file; the files, concatenated
and sorted again, are the rows of one run. count then gives a Partitions tuple.
"""
import collections
import operator
import os
import stat

import lintavel

DEFAULT_CHUNK_BYTES = 64 << 20
_FAN_IN = 8


# What count gives with partitions: the files written, in partition order, the
# total of words counted and the files that could not be read, as Counts.errors.
Partitions = collections.namedtuple("Partitions", "paths total errors")

_EXTENSIONS = {"text": "txt", "tsv": "tsv", "csv": "csv", "json": "json"}


def count(paths, client=None, chunk_bytes=DEFAULT_CHUNK_BYTES, encoding="cp1252", *,
          fold_case=False, html=False, stop_list=None, min_count=0, top=None, sort="count",
          per_file=False, per_million=False, dispersion=None, reference=None,
          reference_list=None, keyness=None, min_ll=None, words="default",
          split_elisions=False, lemma_list=None, stem=None, stem_show="stem", match=None,
          exclude=None, min_length=None, max_length=None, ngrams=None,
          ngram_breaks=None, partitions=None, output=None, output_format="tsv",
          output_encoding="utf-8"):
    """The Counts (or Keywords) of lintavel.count(paths, encoding, ...), counted on the
    workers of `client` (by default the current distributed client). The ranges are
    counted by the word rule and merged; lemmas, stems and filters apply to the
    merged counts, so that the result is that of one run. per_million, keyness and
    dispersion ("files" or "parts=N") are exact. With
    ngrams, a range also reads the few words past its end that the sequences
    beginning in it run on into, so the result stays exact. With partitions and
    output, the list is written in shares (see the module) and a Partitions tuple is
    given."""
    if isinstance(chunk_bytes, bool) or not isinstance(chunk_bytes, int):
        raise TypeError("chunk_bytes must be a whole number")
    if chunk_bytes < 1:
        raise ValueError("chunk_bytes must be at least 1")
    # A list, once: an iterator of paths is read here only. No paths is no reference.
    references = None if reference is None else _paths(reference)
    over_parts = lintavel._lintavel._check_analyses(per_million, dispersion, references,
                                                    reference_list, keyness, min_ll)
    compares = bool(references) or reference_list is not None
    files = _paths(paths)
    # Raises on a wrong option or an unreadable stop list before anything is sent.
    empty = lintavel.count([], encoding, 1, fold_case=fold_case, html=html,
                           stop_list=stop_list, min_count=min_count, top=top, sort=sort,
                           per_file=per_file, per_million=per_million, dispersion=dispersion,
                           words=words, split_elisions=split_elisions,
                           lemma_list=lemma_list, stem=stem, stem_show=stem_show, match=match,
                           exclude=exclude, min_length=min_length, max_length=max_length,
                           ngrams=ngrams, ngram_breaks=ngram_breaks)
    options = {"encoding": encoding, "fold_case": fold_case, "html": html,
               "stop_list": stop_list, "per_file": per_file, "words": words,
               "split_elisions": split_elisions, "ngrams": ngrams,
               "ngram_breaks": ngram_breaks}
    grouping = {"lemma_list": lemma_list, "stem": stem, "stem_show": stem_show,
                "match": match, "exclude": exclude, "min_length": min_length,
                "max_length": max_length}
    if partitions is not None:
        _check_partitions(partitions, output, output_format, output_encoding, top, lemma_list,
                          stem, per_million, dispersion, compares)
    elif output is not None:
        raise ValueError("output goes with partitions")
    reference_counts = None
    if reference_list is not None:
        # Read here: a small list, and a wrong one raises at once.
        reference_counts = lintavel._lintavel._reference_list(
            reference_list, encoding, fold_case, stop_list, words=words,
            split_elisions=split_elisions, **grouping)
    if not files and not compares and partitions is None:
        empty._per_million = per_million
        return empty
    if client is None:
        from distributed import default_client

        client = default_client()
    if partitions is not None:
        return _count_partitioned(client, files, chunk_bytes, options, grouping, partitions,
                                  min_count, sort, output, output_format, output_encoding)
    if compares and reference_counts is None:
        # Submitted first, so that its ranges are counted among the inputs' rather than
        # after them, and its merges overlap the inputs' counting.
        reference_counts = _shaped_root(client, references, chunk_bytes, options,
                                        (0, None, sort, options, grouping))
    if over_parts:
        counts, columns = _count_over_parts(client, files, chunk_bytes, options, over_parts,
                                            (min_count, top, sort, options, grouping))
        counts._dispersion = columns
        counts._dispersion_files = False
        counts._per_million = per_million
        return counts
    if dispersion is not None:
        file_parts = _file_counts(client, files, chunk_bytes, options)
        # Merged where the files' counts are scored: the merged list is not sent on.
        counts, rows = client.submit(_merge_dispersed, min_count, top, sort, options, grouping,
                                     *file_parts, pure=False).result()
        counts._dispersion = rows
        counts._dispersion_files = True
        counts._per_million = per_million
        return counts
    if compares:
        target = _shaped_root(client, files, chunk_bytes, options,
                              (0, None, sort, options, grouping))
        target, reference_counts = client.gather([target, reference_counts])
        return lintavel._lintavel._keywords(target, reference_counts, keyness or "positive",
                                            min_ll or 0.0, min_count, top)
    counts = _shaped_root(client, files, chunk_bytes, options,
                          (min_count, top, sort, options, grouping)).result()
    counts._per_million = per_million
    return counts


def _check_partitions(partitions, output, output_format, output_encoding, top, lemma_list,
                      stem, per_million, dispersion, compares):
    if isinstance(partitions, bool) or not isinstance(partitions, int):
        raise TypeError("partitions must be a whole number")
    if partitions < 1:
        raise ValueError("partitions must be at least 1")
    if output is None or not os.path.isdir(output):
        raise ValueError("partitions needs output, an existing folder that the workers see")
    if output_format not in _EXTENSIONS:
        raise ValueError(f"unknown output_format '{output_format}' (text, tsv, csv or json)")
    if output_encoding not in ("cp1252", "utf-8"):
        raise ValueError(f"unknown output_encoding '{output_encoding}' (cp1252 or utf-8)")
    # Each share must be whole by itself: a word's rows never meet another share's.
    for name, value in (("top", top), ("lemma_list", lemma_list), ("stem", stem),
                        ("dispersion", dispersion)):
        if value is not None:
            raise ValueError(f"partitions goes with no {name}: it needs the whole list")
    if per_million or compares:
        raise ValueError("partitions goes with no per_million, reference or reference_list: "
                         "they need the whole list")


def _shaped_root(client, files, chunk_bytes, options, shape):
    """A future of the counts of `files` merged and shaped by _shape(counts, *shape),
    the shaping done in the last merge so that the merged counts are not sent on."""
    if not files:
        return client.submit(_shape, lintavel.Counts(), *shape, pure=False)
    return _merged_files(client, [_submit_ranges(client, path, chunk_bytes, options, _count_part)
                                  for path in files], shape)


def _merged_files(client, file_ranges, shape=None):
    """A future of the counts of the ranges of each file (a list of futures a file)
    merged, a file's ranges first, and shaped as _tree shapes them."""
    if len(file_ranges) == 1:
        return _tree(client, file_ranges[0], True, shape)
    return _tree(client, [_tree(client, ranges, True) for ranges in file_ranges], False, shape)


def _file_counts(client, files, chunk_bytes, options):
    """A future of each file's counts, its ranges counted on the workers and merged."""
    return [_tree(client, _submit_ranges(client, path, chunk_bytes, options, _count_part), True)
            for path in files]


def _submit_ranges(client, path, chunk_bytes, options, count, *extra):
    """A future of count(path, start, end, file_encoding, options, *extra) for each
    byte range of `path`."""
    return [counted for _, _, _, counted in
            _submit_ranges_with_bounds(client, path, chunk_bytes, options, count, *extra)]


def _submit_ranges_with_bounds(client, path, chunk_bytes, options, count, *extra):
    """(start, end, file_encoding, future of count(...)) for each byte range of `path`,
    as _submit_ranges counts them."""
    ranges = _ranges(path, chunk_bytes, options["html"])
    file_encoding = None
    if options["encoding"] == "auto" and len(ranges) > 1:
        # Decided once from the whole file, as a single run decides it.
        file_encoding = client.submit(_detect_encoding, path, pure=False)
    return [(start, end, file_encoding,
             client.submit(count, path, start, end, file_encoding, options, *extra, pure=False))
            for start, end in ranges]


def _count_over_parts(client, files, chunk_bytes, options, parts, shape):
    """The counts of `files` shaped by _shape(counts, *shape), and the packed
    dispersion columns of their words over `parts` equal parts by word position.

    The ranges are counted once for the list; their totals give each range's first
    word in the whole corpus. A range within one part gives its counts to that part;
    one across a part's end is read again on a worker into its words' counts in the
    parts it spans. These are joined in the order of the ranges, the counts of
    consecutive ranges of one part merged first, and scored where the list is shaped."""
    ranges = [[(path, *bounds) for bounds in
               _submit_ranges_with_bounds(client, path, chunk_bytes, options, _count_part)]
              for path in files]
    flat = [one for file_ranges in ranges for one in file_ranges]
    totals = client.gather([client.submit(_total, counted, pure=False)
                            for _, _, _, _, counted in flat])
    total = sum(totals)
    # Each range gives its part and its counts when it lies in one part, else its
    # spread (part -1), read again on a worker; a range of no words gives nothing.
    kinds, spreads, first = [], [], 0
    for (path, start, end, file_encoding, counted), words in zip(flat, totals):
        if words:
            part = lintavel._lintavel._part_of(total, parts, first)
            if part == lintavel._lintavel._part_of(total, parts, first + words - 1):
                kinds.append(part)
                spreads.append(counted)
            else:
                kinds.append(-1)
                spreads.append(client.submit(_spread_range, path, start, end, file_encoding,
                                             options, counted, first, total, parts, pure=False))
        first += words
    while len(spreads) > _FAN_IN:
        spreads = [client.submit(_merge_spreads, kinds[i:i + _FAN_IN], *spreads[i:i + _FAN_IN],
                                 pure=False)
                   for i in range(0, len(spreads), _FAN_IN)]
        kinds = [-1] * len(spreads)
    spread = client.submit(_merge_spreads, kinds, *spreads, pure=False)
    counts = _merged_files(client, [[counted for *_, counted in file_ranges]
                                    for file_ranges in ranges])
    return client.submit(_score_over_parts, counts, spread, total, parts, shape,
                         pure=False).result()


def _count_partitioned(client, files, chunk_bytes, options, grouping, partitions, min_count,
                       sort, output, output_format, output_encoding):
    # Each range is cut into its shares where it was counted; share k of every range
    # of a file, then of every file, is merged and written by one worker.
    split_files = [_submit_ranges(client, path, chunk_bytes, options, _count_split, partitions)
                   for path in files]
    paths, written = [], []
    for k in range(partitions):
        file_shares = [_tree(client, [client.submit(operator.getitem, split, k, pure=False)
                                      for split in splits], True)
                       for splits in split_files]
        share = _tree(client, file_shares, False) if file_shares else lintavel.Counts()
        paths.append(os.path.join(os.fspath(output),
                                  f"part-{k:05d}.{_EXTENSIONS[output_format]}"))
        written.append(client.submit(_write_share, share, min_count, sort, options, grouping,
                                     paths[-1], output_format, output_encoding, pure=False))
    results = client.gather(written)
    # Only the first share carries the files that could not be read.
    return Partitions(paths, sum(total for total, _ in results), results[0][1])


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


def _total(counts):
    return counts.total


def _spread_range(path, start, end, file_encoding, options, counts, first, total, parts):
    return lintavel._lintavel._spread_range(
        path, start, end, encoding=options["encoding"], file_encoding=file_encoding,
        fold_case=options["fold_case"], stop_list=options["stop_list"], words=options["words"],
        split_elisions=options["split_elisions"], counts=counts, first=first, total=total,
        parts=parts)


def _merge_spreads(kinds, *spreads):
    # A module-level function: the extension's own functions cannot be pickled.
    return lintavel._lintavel._merge_spreads(kinds, *spreads)


def _score_over_parts(counts, spread, total, parts, shape):
    _shape(counts, *shape)
    # Shaping keeps the total and each listed word's counts: the parts' figures hold.
    return counts, lintavel._lintavel._part_dispersion_columns(counts, spread, total, parts)


def _count_split(path, start, end, file_encoding, options, partitions):
    return _count_part(path, start, end, file_encoding, options)._partitioned(partitions)


def _write_share(counts, min_count, sort, options, grouping, path, output_format,
                 output_encoding):
    _shape(counts, min_count, None, sort, options, grouping)
    counts._write_formatted(path, output_format, output_encoding)
    return counts.total, counts.errors


def _merge_dispersed(min_count, top, sort, options, grouping, *files):
    counts = lintavel.merge_all(list(files)) if files else lintavel.Counts()
    _shape(counts, min_count, top, sort, options, grouping)
    # Shaping keeps the total and each listed word's counts: the files' figures hold.
    return counts, lintavel._lintavel._dispersion_columns(counts, files)


def _merge(one_file, *parts):
    # The ranges of one file: a word in several of them is still in one file.
    merged = lintavel.merge_all(list(parts), same_file=one_file)
    if one_file:
        # Every range of a file that cannot be read tells of it.
        merged._drop_repeated_errors()
    return merged


def _merge_shaped(one_file, shape, *parts):
    return _shape(_merge(one_file, *parts), *shape)


def _tree(client, parts, one_file, shape=None):
    """A future of `parts` merged in a tree, shaped by _shape(merged, *shape) in the
    last merge when `shape` is given."""
    while len(parts) > _FAN_IN:
        parts = [client.submit(_merge, one_file, *parts[i:i + _FAN_IN], pure=False)
                 for i in range(0, len(parts), _FAN_IN)]
    if shape is not None:
        return client.submit(_merge_shaped, one_file, shape, *parts, pure=False)
    if len(parts) > 1 or one_file:
        # A file of one range is merged alone too: its failures and files figure as a file's.
        return client.submit(_merge, one_file, *parts, pure=False)
    return parts[0]


def _shape(counts, min_count, top, sort, options, grouping):
    counts._group(options["encoding"], options["fold_case"], options["words"],
                  options["split_elisions"], **grouping)
    counts._shape(min_count, top, sort)
    return counts
