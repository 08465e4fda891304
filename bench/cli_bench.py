#!/usr/bin/env python3
"""Whole-process timings of tarvelctl beside `wc -l` on the same task file.

Generates task files of Daily and of mixed tasks (the shapes of core_bench.cpp), then runs
`wc -l`, `tarvelctl due` and `tarvelctl list` on each in turn, round after round, and prints
the median wall time, the median CPU time and the peak memory of each, with the ratios of
the CPU times to `wc -l` and `due` and the bound on the peak memory of `due`.

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
    """Wall seconds and CPU seconds (user + system) of one process. It is started with
    posix_spawn, so the CPU times that wait4 reports are the program's own (a process
    started through /usr/bin/time would add that program's start to every figure, the
    floor's as much as tarvelctl's, and make the ratios look better than they are)."""
    start = time.perf_counter()
    pid = os.posix_spawnp(argv[0], argv, env, file_actions=[
        (os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0)])
    _, status, usage = os.wait4(pid, 0)
    wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{argv} failed")
    return wall, usage.ru_utime + usage.ru_stime


def peak_kb(argv, env):
    """Peak resident kilobytes of one process. /usr/bin/time forks the program and reports
    its peak (a child forked from Python would count Python's own memory in its peak)."""
    with tempfile.NamedTemporaryFile("r") as report:
        subprocess.run(["/usr/bin/time", "-o", report.name, "-f", "%M"] + argv,
                       stdout=subprocess.DEVNULL, env=env, check=True)
        return int(report.read().split()[-1])


def measure(argvs, runs, env):
    """Median wall and CPU milliseconds and the largest peak of each command. The commands
    run in turn, round after round, so a neighbour's build that loads the machine for a
    while weighs on all of them alike; CPU times (user + system) are the ones to compare
    on a shared machine."""
    for argv in argvs:
        run_once(argv, env)  # the file into the page cache, the program into memory
    samples = [[] for _ in argvs]
    for _ in range(runs):
        for k, argv in enumerate(argvs):
            samples[k].append(run_once(argv, env))
    return [(statistics.median(s[0] for s in runs_of) * 1000,
             statistics.median(s[1] for s in runs_of) * 1000,
             max(peak_kb(argv, env) for _ in range(2)) / 1024)
            for argv, runs_of in zip(argvs, samples)]


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
    print("| Tasks | File | What | Wall ms | CPU ms | Peak MB | CPU ratio | Peak bound MB |")
    print("|---|---|---|---|---|---|---|---|")
    try:
        empty = os.path.join(root, "empty")
        write_tasks(empty, 0, False)
        shutil.copy(table, empty)
        (floor,) = measure([[ctl, "--dir", empty, "due", "2026-12-07T10:00"]], args.runs, env)
        print(f"| 0 | 0 MB | `due` (the process's floor) | {floor[0]:.1f} | {floor[1]:.1f} | "
              f"{floor[2]:.1f} | | |")
        for count in (int(n) for n in args.tasks.split(",")):
            for mixed in (False, True):
                folder = os.path.join(root, f"{count}-{'mixed' if mixed else 'daily'}")
                if not os.path.exists(os.path.join(folder, "task.txt")):
                    write_tasks(folder, count, mixed)
                shutil.copy(table, folder)
                path = os.path.join(folder, "task.txt")
                size = os.path.getsize(path) / 1e6
                wc, due, lst = measure([["wc", "-l", path],
                                        [ctl, "--dir", folder, "due", "2026-12-07T10:00"],
                                        [ctl, "--dir", folder, "list"]], args.runs, env)
                kind = "mixed" if mixed else "Daily"
                name = f"{count:,} {kind}"
                # Peak memory of due: at most 1.5 times the file plus the process's floor.
                bound = 1.5 * size * 1e6 / 1048576 + floor[2]
                print(f"| {name} | {size:.1f} MB | `wc -l` | {wc[0]:.1f} | {wc[1]:.1f} | "
                      f"{wc[2]:.1f} | | |")
                print(f"| {name} | | `due` | {due[0]:.1f} | {due[1]:.1f} | {due[2]:.1f} | "
                      f"{due[1] / wc[1]:.2f}x `wc -l` | {bound:.1f} |")
                print(f"| {name} | | `list` | {lst[0]:.1f} | {lst[1]:.1f} | {lst[2]:.1f} | "
                      f"{lst[1] / due[1]:.2f}x `due` | |")
                sys.stdout.flush()
    finally:
        if not args.keep:
            shutil.rmtree(root)


if __name__ == "__main__":
    main()
