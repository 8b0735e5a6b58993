#!/usr/bin/env python3
"""Runs the benchmarks of both windows one at a time, naming each as it
starts, and prints their medians beside their floors and targets. Each
target is judged on the median of its repetitions; a target missed is
measured again, with its floor, before it fails.

The Linux window's are bench_nation's (Google Benchmark); the Windows
window's are bench_nation_win32.exe's, run under Wine in a prefix of their
own, on the display the caller gives (scripts/with-xvfb.sh), written in
Google Benchmark's JSON too. The results go to OUT-DIR/results.json and
OUT-DIR/results-windows.json.

Usage: bench.py OUT-DIR LINUX-BENCH [WINE-RUN WINE-PREFIX WINDOWS-BENCH]
"""
import json
import os
import re
import subprocess
import sys
import tempfile

REPETITIONS = 10
# How many times a missed target is measured again before it fails.
AGAIN = 2

# measurement -> (its floor, the most times the floor it may take, the most
# milliseconds it may take at 32,767 records)
LINUX_TARGETS = {
    "read_nation_file": ("raw_read", 3.0, None),
    "load_window": ("read_nation_file", 3.0, 30.0),
    "write_memberships": ("raw_write", 3.0, 30.0),
    "make_all_window": (None, None, 50.0),
    "tick_menu_window": (None, None, 50.0),
    "startup": ("startup_baseline", 1.2, None),
}
WINDOWS_TARGETS = {
    "write_memberships": ("raw_write", 3.0, None),
    "make_all_window": (None, None, 100.0),
    "tick_menu_window": (None, None, 100.0),
    "startup": ("startup_baseline", 1.2, None),
}
ORDER = ["raw_read", "read_nation_file", "load_window", "first_load_window", "raw_write", "raw_write_pwrite_per_byte",
         "raw_write_per_byte", "write_memberships", "make_all_window", "tick_menu_window", "startup_baseline",
         "startup"]


def key_of(run):
    """(name, size) of a run: "load_window/200/real_time" is ("load_window", "200")."""
    parts = [part for part in run["run_name"].split("/") if part not in ("real_time", "manual_time")]
    return parts[0], (parts[1] if len(parts) > 1 else "-")


class Suite:
    def __init__(self, title, targets):
        self.title = title
        self.targets = targets
        self.runs = {}     # benchmark -> its runs in Google Benchmark's JSON
        self.medians = {}  # (name, size) -> milliseconds
        self.keys = {}     # (name, size) -> benchmark
        self.again = {}    # name -> how many times its missed target was measured again
        self.context = {}

    def measure(self, benchmark, scratch):
        """Runs one benchmark; answers its medians."""
        out = os.path.join(scratch, "out.json")
        if os.path.exists(out):
            os.remove(out)
        self.run(benchmark, out, scratch)
        results = json.load(open(out))
        self.context = self.context or results.get("context", {})
        self.runs[benchmark] = results["benchmarks"]
        found = {}
        for run in results["benchmarks"]:
            if run.get("aggregate_name") != "median":
                continue
            scale = {"ms": 1.0, "us": 1e-3, "ns": 1e-6, "s": 1e3}[run["time_unit"]]
            found[key_of(run)] = run["real_time"] * scale
        if not found:
            sys.exit(f"FAILED: {benchmark} gave no median")
        self.medians.update(found)
        for key in found:
            self.keys[key] = benchmark
        return found

    def value(self, name):
        """The figure a target judges: at 32,767 records, or the only one."""
        return self.medians.get((name, "32767"), self.medians.get((name, "-")))

    def verdict(self, name):
        """(ratio text, target text, missed) for a measurement."""
        floor, most, ms = self.targets[name]
        large = self.value(name)
        ratio, missed = "", False
        if floor and self.value(floor) is None:
            return "", f"no {floor} to judge it by", True
        if floor:
            value = large / self.value(floor)
            ratio = f"{value:.2f}x {floor}"
            missed = value > most
        if ms and large >= ms:
            missed = True
        target = ", ".join(([f"<= {most}x"] if most else []) + ([f"< {ms} ms"] if ms else []))
        return ratio, target, missed

    def missed(self):
        return [name for name in self.targets if self.value(name) is not None and self.verdict(name)[2]]

    def table(self):
        print(f"\n{self.title}")
        print(f"{'benchmark':28} {'200 rec. ms':>12} {'32767 rec. ms':>14} {'ratio at 32767':>22}  target")
        names = sorted({name for name, _ in self.medians},
                       key=lambda n: ORDER.index(n) if n in ORDER else len(ORDER))
        cell = lambda ms: f"{ms:.3f}" if ms is not None else ""
        for name in names:
            ratio, target = "", ""
            if name in self.targets:
                ratio, target, missed = self.verdict(name)
                target += "  MISSED" if missed else ""
                if name in self.again:
                    target += f"  (measured {self.again[name] + 1} times)"
            print(f"{name:28} {cell(self.medians.get((name, '200'))):>12} {cell(self.value(name)):>14} {ratio:>22}"
                  f"  {target}")

    def write(self, path):
        runs = [run for benchmark in self.runs for run in self.runs[benchmark]]
        json.dump({"context": self.context, "benchmarks": runs}, open(path, "w"), indent=1)


class Linux(Suite):
    def __init__(self, program):
        super().__init__("The Linux window (Qt 6, offscreen)", LINUX_TARGETS)
        self.program = program

    def list(self, scratch):
        listed = subprocess.run([self.program, "--benchmark_list_tests"], check=True, capture_output=True, text=True)
        return listed.stdout.split()

    def run(self, benchmark, out, scratch):
        # Google Benchmark's own report and the machine's description go
        # to the log, shown only when the run fails.
        log = os.path.join(scratch, "bench.log")
        with open(log, "w") as output:
            finished = subprocess.run([self.program, f"--benchmark_filter=^{re.escape(benchmark)}$",
                                       f"--benchmark_repetitions={REPETITIONS}",
                                       "--benchmark_report_aggregates_only=true", f"--benchmark_out={out}",
                                       "--benchmark_out_format=json"], stdout=output, stderr=output)
        if finished.returncode != 0:
            sys.exit(f"FAILED: {benchmark}:\n{open(log).read()}")


class Windows(Suite):
    def __init__(self, wine_run, prefix, program):
        super().__init__("The Windows window (the 32-bit program file under Wine, 32-bit prefix, Xvfb)",
                         WINDOWS_TARGETS)
        self.wine_run, self.prefix, self.program = wine_run, prefix, program

    def wine(self, arguments, scratch):
        # Output to files, never to a pipe: Wine's services, which outlive the
        # program, would hold a pipe open.
        log = os.path.join(scratch, "wine.log")
        with open(log, "w") as errors:
            finished = subprocess.run([self.wine_run, self.prefix, self.program] + arguments,
                                      stdout=subprocess.DEVNULL, stderr=errors)
        if finished.returncode != 0:
            sys.exit(f"FAILED: {os.path.basename(self.program)} {' '.join(arguments)}:\n{open(log).read()}")

    def list(self, scratch):
        out = os.path.join(scratch, "list.txt")
        self.wine(["--list", f"--out=Z:{out}"], scratch)
        return open(out).read().split()

    def run(self, benchmark, out, scratch):
        self.wine([f"--run={benchmark}", f"--repetitions={REPETITIONS}", f"--out=Z:{out}"], scratch)


def measure(suite, benchmark, scratch, label):
    print(f"{label} {benchmark} ...", end="", flush=True)
    found = suite.measure(benchmark, scratch)
    print("  " + ", ".join(f"{ms:.3f} ms" for ms in found.values()), flush=True)


def run_suite(suite, scratch):
    """Every benchmark of a suite, then each missed target again, with its
    floor, until it is met or has been measured AGAIN more times."""
    benchmarks = suite.list(scratch)
    print(f"{suite.title}: {len(benchmarks)} benchmarks, {REPETITIONS} repetitions each", flush=True)
    for number, benchmark in enumerate(benchmarks, 1):
        measure(suite, benchmark, scratch, f"[{number:2}/{len(benchmarks)}]")
    for again in range(1, AGAIN + 1):
        for name in suite.missed():
            ratio, target, _ = suite.verdict(name)
            print(f"{name} missed its target ({ratio or f'{suite.value(name):.3f} ms'}; {target}): "
                  f"measuring it again ({again} of {AGAIN})", flush=True)
            suite.again[name] = again
            floor = suite.targets[name][0]
            keys = [(n, size) for n in (name, floor) if n for size in ("32767", "-")]
            for benchmark in dict.fromkeys(suite.keys[key] for key in keys if key in suite.keys):
                measure(suite, benchmark, scratch, "       ")


def main():
    out_dir, linux_program = sys.argv[1:3]
    suites = [(Linux(linux_program), "results.json")]
    if len(sys.argv) > 3:
        suites.append((Windows(*sys.argv[3:6]), "results-windows.json"))
    server = None
    if len(suites) > 1:
        # Wine's server and services start with the first program and stop a
        # few seconds after the last: kept running throughout, as Windows is
        # up before any program starts, then ended.
        server = dict(os.environ, WINEPREFIX=sys.argv[4])
        subprocess.run(["wineserver", "-p"], env=server, check=True)
    try:
        with tempfile.TemporaryDirectory() as scratch:
            for suite, _ in suites:
                run_suite(suite, scratch)
    finally:
        if server:
            subprocess.run(["wineserver", "-k"], env=server)
    for suite, name in suites:
        suite.table()
        suite.write(os.path.join(out_dir, name))
    sys.exit(1 if any(suite.missed() for suite, _ in suites) else 0)


if __name__ == "__main__":
    main()
