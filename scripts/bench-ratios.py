#!/usr/bin/env python3
"""Prints one table of binding/baseline time ratios from a Google Benchmark JSON report.

Cases are paired by name: `Group_Binding` (or any other variant) is compared with the
group's baseline, the first variant of BASELINES the group has. Ratios come from one
run, so machine noise hits both sides alike; with repetitions, each case's median is
used and the spread over the repetitions is shown. A case's `allocs/iter` counter
(heap allocations per call made by the program) is shown when it reports one. A
binding case's label states its goals, e.g. "ratio<=1.15 allocs==0"; each goal is
checked against the measured value."""
import json
import operator
import re
import sys

BASELINES = ("Raw", "BareAtomic", "DirectVirtual")
ALLOCS = "allocs/iter"
GOAL = re.compile(r"^(ratio|allocs)(<=|==)([0-9.]+)$")
COMPARE = {"<=": operator.le, "==": operator.eq}


def load(path):
    """Answers {case name: entry} (medians when the run had repetitions), the number of
    repetitions, and {case name: error message} for cases that failed."""
    runs = json.load(open(path))["benchmarks"]
    medians = [b for b in runs if b.get("run_type") == "aggregate" and b.get("aggregate_name") == "median"]
    chosen = medians or [b for b in runs if b.get("run_type", "iteration") == "iteration"]
    spread = {b["run_name"]: b["cpu_time"] for b in runs if b.get("aggregate_name") == "cv"}
    # In the program's order, whatever order interleaved repetitions ran in.
    chosen.sort(key=lambda b: (b.get("family_index", 0), b.get("per_family_instance_index", 0)))
    cases = {b.get("run_name", b["name"]): b for b in chosen}
    errors = {b.get("run_name", b["name"]): b.get("error_message", "error") for b in runs if b.get("error_occurred")}
    repetitions = max((b.get("repetitions", 1) for b in chosen), default=1)
    return cases, repetitions, errors, spread


def count(value):
    if value is None:
        return "-"
    return f"{value:.0f}" if abs(value - round(value)) < 0.005 else f"{value:.2f}"


def verdict(label, ratio, allocs):
    """The goals of the label and whether the measurement meets them."""
    goals, missed = [], []
    for token in (label or "").split():
        match = GOAL.match(token)
        if not match:
            continue
        what, op, limit = match.group(1), match.group(2), float(match.group(3))
        goals.append(token)
        value = ratio if what == "ratio" else allocs
        if value is None or not COMPARE[op](round(value, 2), limit):
            missed.append(f"{what} {count(value) if what == 'allocs' else f'{value:.2f}'}")
    if not goals:
        return "-", ""
    return " ".join(goals), ("missed: " + ", ".join(missed)) if missed else "met"


def main(path):
    cases, repetitions, errors, spread = load(path)
    groups = {}
    for name in cases:
        group, _, variant = name.rpartition("_")
        groups.setdefault(group, []).append(variant)

    rows = []
    for group, variants in groups.items():
        base = next((v for v in BASELINES if v in variants), None)
        for variant in variants:
            if variant in BASELINES or base is None:
                continue
            b, r = cases[f"{group}_{variant}"], cases[f"{group}_{base}"]
            ratio = b["cpu_time"] / r["cpu_time"] if r["cpu_time"] else float("nan")
            goal, result = verdict(b.get("label"), ratio, b.get(ALLOCS))
            for failed in (f"{group}_{variant}", f"{group}_{base}"):
                if failed in errors:
                    result = f"error in {failed}: {errors[failed]}"
            cv = [spread[n] for n in (f"{group}_{variant}", f"{group}_{base}") if n in spread]
            noise = f"{max(cv) * 100:.0f}%" if cv else "-"
            rows.append([f"{group} ({variant} / {base})", f"{b['cpu_time']:.1f}", f"{r['cpu_time']:.1f}",
                         f"{ratio:.2f}", noise, count(b.get(ALLOCS)), count(r.get(ALLOCS)), goal, result])
    for name, message in errors.items():
        if name not in cases:
            rows.append([name, "-", "-", "-", "-", "-", "-", "-", f"error: {message}"])

    header = ["case (binding / baseline)", "binding ns", "baseline ns", "ratio", "cv", "allocs/iter",
              "baseline allocs/iter", "goal", "result"]
    widths = [max(len(row[i]) for row in rows + [header]) for i in range(len(header))]
    numeric = range(1, 7)

    def line(cells):
        return "  ".join(c.rjust(w) if i in numeric else c.ljust(w) for i, (c, w) in enumerate(zip(cells, widths))).rstrip()

    how = f"median of {repetitions} repetitions" if repetitions > 1 else "one run"
    print(f"CPU time per call ({how}); ratio = binding / baseline; cv = the larger coefficient of variation")
    print("of the two sides over the repetitions; allocs/iter = heap allocations per call made by the program")
    print(line(header))
    print(line(["-" * w for w in widths]))
    for row in rows:
        print(line(row))


if __name__ == "__main__":
    main(sys.argv[1])
