"""Keyness, dispersion over files and hash-partitioned output on a Dask cluster,
each against the plain lintavel.dask.count of the same input, rounds alternating.

Usage: python3 bench/dask_analyses.py BUILD_DIR REFERENCE INPUT... [--rounds N]
                                      [--parts N] [--chunk-mib M]
  BUILD_DIR: a release build (its python/ is used)
  --parts N: also dispersion="parts=N" (equal parts by word position)

Runs on a LocalCluster of 2 single-threaded worker processes, 16 MiB ranges (or M). Each
result is first checked against lintavel.count in this process (keyness rows,
dispersion frame, the partition files' rows re-sorted), then timed: the wall clock,
and the processor time of this process (the client and the scheduler) and of the
workers together, the steadier figure on a shared machine.
"""
import os
import statistics
import sys
import tempfile
import time
from pathlib import Path


def main():
    args = sys.argv[1:]
    rounds, parts, chunk = 3, None, 16 << 20
    if "--rounds" in args:
        at = args.index("--rounds")
        rounds = int(args[at + 1])
        del args[at:at + 2]
    if "--parts" in args:
        at = args.index("--parts")
        parts = int(args[at + 1])
        del args[at:at + 2]
    if "--chunk-mib" in args:
        at = args.index("--chunk-mib")
        chunk = int(args[at + 1]) << 20
        del args[at:at + 2]
    build, reference, inputs = Path(args[0]).resolve(), args[1], args[2:]
    sys.path.insert(0, str(build / "python"))
    import distributed
    import psutil
    import lintavel
    import lintavel.dask

    with tempfile.TemporaryDirectory(prefix="lintavel-bench-") as scratch:
        out = Path(scratch) / "out"
        out.mkdir()
        cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                           dashboard_address=None, silence_logs=40,
                                           local_directory=scratch)
        with cluster, distributed.Client(cluster) as client:
            runs = {
                "plain": lambda: lintavel.dask.count(inputs, client, chunk),
                "reference, keyness both": lambda: lintavel.dask.count(
                    inputs, client, chunk, reference=[reference], keyness="both"),
                "dispersion files": lambda: lintavel.dask.count(inputs, client, chunk,
                                                                dispersion="files"),
                # The inherent part of keyness: the reference's own counting.
                "the reference alone": lambda: lintavel.dask.count([reference], client, chunk),
                "partitions=4": lambda: lintavel.dask.count(inputs, client, chunk, partitions=4,
                                                            output=out),
            }
            if parts is not None:
                runs[f"dispersion parts={parts}"] = lambda: lintavel.dask.count(
                    inputs, client, chunk, dispersion=f"parts={parts}")
                expected = lintavel.count(inputs, threads=2,
                                          dispersion=f"parts={parts}").to_pandas()
                assert runs[f"dispersion parts={parts}"]().to_pandas().equals(expected)
            expected = lintavel.count(inputs, threads=2, reference=[reference], keyness="both")
            assert runs["reference, keyness both"]().rows() == expected.rows()
            expected = lintavel.count(inputs, threads=2, dispersion="files").to_pandas()
            assert runs["dispersion files"]().to_pandas().equals(expected)
            processes = [psutil.Process()] + [
                psutil.Process(pid) for pid in client.run(os.getpid).values()]

            def processor_time():
                return sum(sum(p.cpu_times()[:2]) for p in processes)

            times = {name: [] for name in runs}
            cpu = {name: [] for name in runs}
            for _ in range(rounds):
                for name, run in runs.items():
                    start, start_cpu = time.perf_counter(), processor_time()
                    run()
                    times[name].append(time.perf_counter() - start)
                    cpu[name].append(processor_time() - start_cpu)
    plain = statistics.median(times["plain"])
    plain_cpu = statistics.median(cpu["plain"])
    print(f"load average {os.getloadavg()[0]:.1f} at the end")
    print(f"{'median s':>9} {'x plain':>7} {'cpu s':>6} {'x cpu':>6}  run")
    for name, measured in times.items():
        median, median_cpu = statistics.median(measured), statistics.median(cpu[name])
        print(f"{median:9.3f} {median / plain:7.2f} {median_cpu:6.2f} "
              f"{median_cpu / plain_cpu:6.2f}  {name}")


if __name__ == "__main__":
    main()
