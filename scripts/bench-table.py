#!/usr/bin/env python3
"""Prints the medians of a Google Benchmark JSON file, and each measurement's
ratio to its floor, with the targets beside them."""
import json
import sys

# measurement -> (its floor, the most times the floor it may take, the most
# milliseconds it may take at 32,767 records)
TARGETS = {
    "read_nation_file": ("raw_read", 3.0, None),
    "load_window": ("read_nation_file", 3.0, 30.0),
    "write_memberships": ("raw_write", 3.0, 30.0),
    "make_all_window": (None, None, 50.0),
    "tick_menu_window": (None, None, 50.0),
    "startup": ("startup_baseline", 1.2, None),
}

results = json.load(open(sys.argv[1]))
medians = {}
for run in results["benchmarks"]:
    if run.get("aggregate_name") != "median":
        continue
    parts = [part for part in run["run_name"].split("/") if part not in ("real_time", "manual_time")]
    name, size = parts[0], (parts[1] if len(parts) > 1 else "")
    scale = {"ms": 1.0, "us": 1e-3, "ns": 1e-6}[run["time_unit"]]
    medians[(name, size or "-")] = run["real_time"] * scale

ORDER = ["raw_read", "read_nation_file", "load_window", "raw_write", "raw_write_pwrite_per_byte",
         "write_memberships", "make_all_window", "tick_menu_window", "startup_baseline", "startup"]
names = sorted({name for name, _ in medians}, key=lambda n: ORDER.index(n) if n in ORDER else len(ORDER))
sizes = ["200", "32767", "-"]
print(f"{'benchmark':28} {'200 rec. ms':>12} {'32767 rec. ms':>14} {'ratio at 32767':>15}  target")
failed = False
for name in names:
    cells = [medians.get((name, size)) for size in sizes]
    large = cells[1] if cells[1] is not None else cells[2]
    ratio, target = "", ""
    if name in TARGETS:
        floor, most, ms = TARGETS[name]
        value = None
        if floor:
            floor_time = medians.get((floor, "32767"), medians.get((floor, "-")))
            value = large / floor_time
            ratio = f"{value:.2f}x {floor}"
        target = ", ".join(([f"<= {most}x"] if most else []) + ([f"< {ms} ms"] if ms else []))
        if (value is not None and value > most) or (ms and large >= ms):
            target += "  MISSED"
            failed = True
    small = f"{cells[0]:.3f}" if cells[0] is not None else ""
    print(f"{name:28} {small:>12} {large:>14.3f} {ratio:>15}  {target}")
sys.exit(1 if failed else 0)
