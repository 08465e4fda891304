#!/usr/bin/env python3
"""Whole-process timings of tarvelctl beside `wc -l` on the same task file.

Generates task files of Daily and of mixed tasks (the shapes of core_bench.cpp), then runs
`tarvelctl due`, `tarvelctl list` and `wc -l` on each in turn, and prints the median wall
time, the median CPU time and the peak memory of each, with the ratios to `wc -l` and `due`.

usage: cli_bench.py BUILD_DIR [--tasks 100000,1000000] [--runs 11] [--keep DIR]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def task_line(i, mixed):
    head = (f"Task{i}\x0110.0.0.{i % 250}\x021972\x03/srv/db/user/;/srv/db/test/"
            f"\x04/srv/backup/\x05{i % 3}")
    start = f"{(i // 60) % 24:02d}:{i % 60:02d}"
    mode = i % 4 if mixed else 0
    if mode == 0:
        return f"{head}{start}\x061"
    if mode == 1:
        return f"{head}{start}\x0621010100"
    if mode == 2:
        return f"{head}{start}\x063111111111111{1 + i % 28}"
    return f"{head}{start}\x060{12:02d}/{1 + i % 28:02d}/2026"


def write_tasks(folder, count, mixed):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "task.txt"), "w", newline="") as f:
        f.write("".join(task_line(i, mixed) + "\r\n" for i in range(count)))


def run_once(argv, env):
    """Wall seconds, CPU seconds and peak resident kilobytes of one process. /usr/bin/time
    forks the program and reports its peak (the forked Python's own would count in a peak
    read here); the wait for /usr/bin/time counts the program's CPU times with its own."""
    with tempfile.NamedTemporaryFile("r") as report:
        start = time.perf_counter()
        proc = subprocess.Popen(["/usr/bin/time", "-o", report.name, "-f", "%M"] + argv,
                                stdout=subprocess.DEVNULL, env=env)
        _, status, usage = os.wait4(proc.pid, 0)
        wall = time.perf_counter() - start
        if os.waitstatus_to_exitcode(status) != 0:
            sys.exit(f"{argv} failed")
        peak = int(report.read().split()[-1])
    return wall, usage.ru_utime + usage.ru_stime, peak


def measure(argv, runs, env):
    run_once(argv, env)  # the file into the page cache, the program into memory
    samples = [run_once(argv, env) for _ in range(runs)]
    return (statistics.median(s[0] for s in samples) * 1000,
            statistics.median(s[1] for s in samples) * 1000,
            max(s[2] for s in samples) / 1024)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--tasks", default="100000,1000000")
    ap.add_argument("--runs", type=int, default=11)
    ap.add_argument("--keep")
    args = ap.parse_args()
    ctl = os.path.join(os.path.abspath(args.build), "bin", "tarvelctl")
    table = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "english.dat")
    env = dict(os.environ, LC_ALL="C", TZ="UTC", TVL_FAKE_NOW="2026-12-07T10:00")
    root = args.keep or tempfile.mkdtemp(prefix="tvlclibench.")
    print(f"| Tasks | File | What | Wall ms | CPU ms | Peak MB | Ratio |")
    print(f"|---|---|---|---|---|---|---|")
    try:
        empty = os.path.join(root, "empty")
        write_tasks(empty, 0, False)
        shutil.copy(table, empty)
        floor = measure([ctl, "--dir", empty, "due", "2026-12-07T10:00"], args.runs, env)
        print(f"| 0 | 0 MB | `due` (the process's floor) | {floor[0]:.1f} | {floor[1]:.1f} | {floor[2]:.1f} | |")
        for count in (int(n) for n in args.tasks.split(",")):
            for mixed in (False, True):
                folder = os.path.join(root, f"{count}-{'mixed' if mixed else 'daily'}")
                if not os.path.exists(os.path.join(folder, "task.txt")):
                    write_tasks(folder, count, mixed)
                shutil.copy(table, folder)
                path = os.path.join(folder, "task.txt")
                size = os.path.getsize(path) / 1e6
                wc = measure(["wc", "-l", path], args.runs, env)
                due = measure([ctl, "--dir", folder, "due", "2026-12-07T10:00"], args.runs, env)
                lst = measure([ctl, "--dir", folder, "list"], args.runs, env)
                kind = "mixed" if mixed else "Daily"
                name = f"{count:,} {kind}"
                print(f"| {name} | {size:.1f} MB | `wc -l` | {wc[0]:.1f} | {wc[1]:.1f} | {wc[2]:.1f} | |")
                print(f"| {name} | | `due` | {due[0]:.1f} | {due[1]:.1f} | {due[2]:.1f} | {due[0] / wc[0]:.2f}x `wc -l` |")
                print(f"| {name} | | `list` | {lst[0]:.1f} | {lst[1]:.1f} | {lst[2]:.1f} | {lst[0] / due[0]:.2f}x `due` |")
                sys.stdout.flush()
    finally:
        if not args.keep:
            shutil.rmtree(root)


if __name__ == "__main__":
    main()
