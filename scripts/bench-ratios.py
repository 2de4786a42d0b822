#!/usr/bin/env python3
"""Prints binding/raw time ratios from a Google Benchmark JSON report.

Cases are paired by name: `Thing_Binding` (or any other suffix) is compared with
`Thing_Raw` / `Thing_BareAtomic`, the baseline being the case whose suffix is listed in
BASELINES. Ratios come from one run, so machine noise hits both sides alike."""
import json
import sys

BASELINES = ("Raw", "BareAtomic", "DirectVirtual")

report = json.load(open(sys.argv[1]))
times = {}
for b in report["benchmarks"]:
    if b.get("run_type", "iteration") != "iteration":
        continue
    times[b["name"]] = b["cpu_time"]

groups = {}
for name, t in times.items():
    group, _, variant = name.rpartition("_")
    groups.setdefault(group, {})[variant] = t

print(f"{'case':<32} {'binding ns':>11} {'raw ns':>9} {'ratio':>6}")
for group, variants in sorted(groups.items()):
    base = next((variants[v] for v in BASELINES if v in variants), None)
    for variant, t in sorted(variants.items()):
        if variant in BASELINES or base is None:
            continue
        print(f"{group + ' (' + variant + ')':<32} {t:>11.1f} {base:>9.1f} {t / base:>6.2f}")
