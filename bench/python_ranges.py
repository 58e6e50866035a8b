"""lintavel.count_range over a file cut into ranges against lintavel.count of the
whole file, both on one thread, side by side in one process.

Usage: python3 bench/python_ranges.py BUILD_DIR INPUT [ROUNDS] [RANGE_MIB]
  BUILD_DIR: a release build (its python/ is used); RANGE_MIB: 64 by default

Checks first that the ranges, merged, equal the whole count; then times, rounds
alternating: lintavel.count([INPUT], threads=1); every count_range of the file in
turn (the sum the ratio is about); the same plus merge_all of the parts. Prints
the fastest and median wall time and the least and median processor time of this
thread, which the load of a shared machine changes least, and their ratios to the
first.
"""
import os
import statistics
import sys
import time
from pathlib import Path


def main():
    build, source = Path(sys.argv[1]).resolve(), Path(sys.argv[2]).resolve()
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    range_bytes = (int(sys.argv[4]) if len(sys.argv) > 4 else 64) << 20
    sys.path.insert(0, str(build / "python"))
    import lintavel

    size = source.stat().st_size
    starts = list(range(0, size, range_bytes)) or [0]
    ranges = [(start, start + range_bytes) for start in starts[:-1]] + [(starts[-1], None)]
    print(f"input {source} ({size:,} bytes), {len(ranges)} ranges of {range_bytes >> 20} MiB; "
          f"load average {os.getloadavg()[0]:.1f} at the start", flush=True)

    def whole():
        return lintavel.count([source], threads=1)

    def parts():
        return [lintavel.count_range(source, start, end) for start, end in ranges]

    def merged():
        return lintavel.merge_all(parts(), same_file=True)

    one, spread = whole(), merged()
    assert (spread.items(), spread.total, spread.errors) == (one.items(), one.total, one.errors)
    del one, spread

    runs = [("lintavel.count(threads=1)", whole), ("count_range, every range", parts),
            ("count_range, every range, then merge_all", merged)]
    wall = [[] for _ in runs]
    cpu = [[] for _ in runs]
    for _ in range(rounds):
        for i, (_, run) in enumerate(runs):
            start, start_cpu = time.perf_counter(), time.thread_time()
            result = run()
            cpu[i].append(time.thread_time() - start_cpu)
            wall[i].append(time.perf_counter() - start)
            del result
    print(f"{'':44} {'fastest s':>9} {'median s':>9} {'cpu min':>7} {'cpu med':>7} "
          f"{'x fastest':>9} {'x median':>8} {'x cpu min':>9} {'x cpu med':>9}")
    for i, (name, _) in enumerate(runs):
        print(f"{name:44} {min(wall[i]):9.3f} {statistics.median(wall[i]):9.3f} "
              f"{min(cpu[i]):7.3f} {statistics.median(cpu[i]):7.3f} "
              f"{min(wall[i]) / min(wall[0]):9.3f} "
              f"{statistics.median(wall[i]) / statistics.median(wall[0]):8.3f} "
              f"{min(cpu[i]) / min(cpu[0]):9.3f} "
              f"{statistics.median(cpu[i]) / statistics.median(cpu[0]):9.3f}")
    print(f"load average {os.getloadavg()[0]:.1f} at the end")


if __name__ == "__main__":
    main()
