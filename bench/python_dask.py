"""The Python module and the Dask front measured side by side, on one input file.

Usage: python3 bench/python_dask.py BUILD_DIR INPUT [ROUNDS]
  BUILD_DIR: a release build (its app/lintavel-extract and python/ are used)

Prints, in one run:
 1. lintavel.count(threads=2) in a fresh python3 against lintavel-extract --threads 2
    (bench/side_by_side.py, rounds alternating);
 2. lintavel.dask.count on a LocalCluster of 2 single-threaded worker processes
    against lintavel.count(threads=2) in this process, rounds alternating; the
    results are checked equal (items, total, errors) before anything is timed;
 3. the pickled size of each partial count (one per range of the Dask run);
 4. peak resident memory: a fresh python3 running lintavel.count(threads=2), and
    each Dask worker (its peak, and its resident size before the run).
"""
import os
import pickle
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path


def main():
    build, source = Path(sys.argv[1]).resolve(), Path(sys.argv[2]).resolve()
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    module_dir = build / "python"
    os.environ["PYTHONPATH"] = str(module_dir)
    sys.path.insert(0, str(module_dir))
    import distributed
    import lintavel
    import lintavel.dask

    print(f"input {source} ({source.stat().st_size:,} bytes); load average "
          f"{os.getloadavg()[0]:.1f} at the start", flush=True)

    print("\n== 1. lintavel.count in python3 against lintavel-extract, 2 threads", flush=True)
    extract = build / "app" / "lintavel-extract"
    python_count = (f"{sys.executable} -c 'import lintavel; "
                    f"lintavel.count([\"{source}\"], threads=2)'")
    subprocess.run([sys.executable, str(Path(__file__).with_name("side_by_side.py")),
                    str(rounds), f"{extract} -q --threads 2 {source} > /dev/null",
                    python_count], check=True)

    print("\n== 2. lintavel.dask.count, LocalCluster of 2 single-threaded worker processes",
          flush=True)
    # The workers' scratch folder is the script's own, so that none is left in /tmp.
    scratch = tempfile.TemporaryDirectory()
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                       dashboard_address=None, silence_logs=40,
                                       local_directory=scratch.name)
    client = distributed.Client(cluster)
    client.run(lambda: __import__("lintavel"))
    rss_before = client.run(_resident_kib)
    one = lintavel.count([source], threads=2)
    spread = lintavel.dask.count([source], client)
    assert (spread.items(), spread.total, spread.errors) == (one.items(), one.total, one.errors)
    single, dask = [], []
    for _ in range(rounds):
        start = time.perf_counter()
        lintavel.count([source], threads=2)
        single.append(time.perf_counter() - start)
        start = time.perf_counter()
        lintavel.dask.count([source], client)
        dask.append(time.perf_counter() - start)
    print(f"single process, 2 threads: fastest {min(single):.3f} s, median "
          f"{statistics.median(single):.3f} s")
    print(f"dask, 2 workers:           fastest {min(dask):.3f} s, median "
          f"{statistics.median(dask):.3f} s; x fastest {min(dask) / min(single):.2f}, "
          f"x median {statistics.median(dask) / statistics.median(single):.2f}")

    print("\n== 3. pickled partial counts", flush=True)
    size = source.stat().st_size
    chunk = lintavel.dask.DEFAULT_CHUNK_BYTES
    starts = list(range(0, size, chunk))
    sizes = client.gather(client.map(_pickled_size, [str(source)] * len(starts), starts,
                                     [min(s + chunk, size) for s in starts]))
    print(f"{len(sizes)} ranges of {chunk:,} bytes: largest {max(sizes):,} bytes, median "
          f"{int(statistics.median(sizes)):,} bytes; the whole result "
          f"{len(pickle.dumps(one)):,} bytes")

    print("\n== 4. peak resident memory", flush=True)
    peak = subprocess.run(
        [sys.executable, "-c",
         f"import lintavel; lintavel.count(['{source}'], threads=2); "
         "print([l.split()[1] for l in open('/proc/self/status') if l.startswith('VmHWM:')][0])"],
        check=True, capture_output=True, text=True).stdout.strip()
    print(f"python3 with lintavel.count, 2 threads: {int(peak):,} KiB")
    for address, kib in client.run(_peak_kib).items():
        print(f"dask worker {address}: peak {kib:,} KiB, resident before the runs "
              f"{rss_before[address]:,} KiB")
    print(f"\nload average {os.getloadavg()[0]:.1f} at the end")
    client.close()
    cluster.close()
    scratch.cleanup()


def _status_kib(field):
    # Not ru_maxrss: a process started by fork and exec inherits its parent's.
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def _resident_kib():
    return _status_kib("VmRSS")


def _peak_kib():
    return _status_kib("VmHWM")


def _pickled_size(path, start, end):
    import lintavel

    return len(pickle.dumps(lintavel.count_range(path, start, end)))


if __name__ == "__main__":
    main()
