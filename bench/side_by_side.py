"""Times commands in turn, round after round, so that the load of a shared machine
falls on all of them alike, and prints each one's fastest and median wall time and
its ratio to the first command's (the plain run).

Usage: python3 side_by_side.py ROUNDS COMMAND...
"""
import statistics
import subprocess
import sys
import time


def main():
    rounds, commands = int(sys.argv[1]), sys.argv[2:]
    times = [[] for _ in commands]
    for _ in range(rounds):
        for i, command in enumerate(commands):
            start = time.perf_counter()
            subprocess.run(command, shell=True, check=True, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            times[i].append(time.perf_counter() - start)
    best0, median0 = min(times[0]), statistics.median(times[0])
    print(f"{'fastest s':>10} {'median s':>9} {'x fastest':>9} {'x median':>8}  command")
    for command, runs in zip(commands, times):
        best, median = min(runs), statistics.median(runs)
        print(f"{best:10.3f} {median:9.3f} {best / best0:9.2f} {median / median0:8.2f}  {command}")


if __name__ == "__main__":
    main()
