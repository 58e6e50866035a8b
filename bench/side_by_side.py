"""Times commands in turn, round after round, so that the load of a shared machine
falls on all of them alike, and prints each one's fastest and median wall time and
its ratio to the first command's (the plain run), and the same for the processor
time (user and system) of its median run, which the load changes least.

Usage: python3 side_by_side.py ROUNDS COMMAND...
"""
import resource
import statistics
import subprocess
import sys
import time


def main():
    rounds, commands = int(sys.argv[1]), sys.argv[2:]
    times = [[] for _ in commands]
    cpu = [[] for _ in commands]
    for _ in range(rounds):
        for i, command in enumerate(commands):
            before = resource.getrusage(resource.RUSAGE_CHILDREN)
            start = time.perf_counter()
            subprocess.run(command, shell=True, check=True, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            times[i].append(time.perf_counter() - start)
            after = resource.getrusage(resource.RUSAGE_CHILDREN)
            cpu[i].append(after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime)
    best0, median0 = min(times[0]), statistics.median(times[0])
    cpu0 = statistics.median(cpu[0])
    print(f"{'fastest s':>10} {'median s':>9} {'x fastest':>9} {'x median':>8} "
          f"{'cpu s':>7} {'x cpu':>6}  command")
    for command, runs, cpus in zip(commands, times, cpu):
        best, median, used = min(runs), statistics.median(runs), statistics.median(cpus)
        print(f"{best:10.3f} {median:9.3f} {best / best0:9.2f} {median / median0:8.2f} "
              f"{used:7.2f} {used / cpu0:6.2f}  {command}")


if __name__ == "__main__":
    main()
