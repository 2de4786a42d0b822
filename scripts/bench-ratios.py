#!/usr/bin/env python3
"""Prints one table of binding/baseline time ratios from a Google Benchmark JSON report.

Cases are paired by name: `Group_Binding` (or any other variant) is compared with the
group's baseline, the first variant of BASELINES the group has. Ratios come from one
run, so machine noise hits both sides alike; with repetitions, each case's median is
used and the spread over the repetitions is shown. A case's `allocs/iter` counter
(heap allocations per call made by the program) is shown when it reports one, and so
are its rate counters (names ending in "/s", e.g. `paints/s`) beside the baseline's. A
binding case's label states its goals, e.g. "ratio<=1.15 allocs==0" or "peak<=2" (the
`peak/body` counter: peak resident memory per byte of body); each goal is checked
against the measured value. Further label words: "wall" compares wall-clock times
instead of CPU times (cases that wait on other threads; their CPU time is the whole
process's, and its ratio is shown beside, as it suffers less from a busy machine),
and "vs=Variant" names the
case's comparisons instead of the group's baseline (the goals go with the first one);
a baseline may name comparisons of its own, e.g. against the limit of a plain copy."""
import json
import operator
import re
import sys

BASELINES = ("Raw", "BareAtomic", "DirectVirtual", "BareRoundTrip", "Memcpy")
ALLOCS = "allocs/iter"
PEAK = "peak/body"
GOAL = re.compile(r"^(ratio|allocs|peak)(<=|==)([0-9.]+)$")
COMPARE = {"<=": operator.le, "==": operator.eq}
SUFFIXES = re.compile(r"/(process_time|real_time|iterations:[0-9]+|repeats:[0-9]+)")


def load(path):
    """Answers {case name: entry} (medians when the run had repetitions), the number of
    repetitions, and {case name: error message} for cases that failed."""
    runs = json.load(open(path))["benchmarks"]
    for b in runs:  # wall-clock timing and fixed run counts add suffixes to the names
        for key in ("name", "run_name"):
            if key in b:
                b[key] = SUFFIXES.sub("", b[key])
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


def rates(entry, other):
    """The case's rate counters beside the baseline's, e.g. "38 / 37 paints/s"."""
    names = [k for k in entry if k.endswith("/s") and isinstance(entry[k], (int, float))]
    return ", ".join(f"{entry[k]:.0f} / {other.get(k, float('nan')):.0f} {k}" for k in names) or "-"


def words(entry):
    return (entry.get("label") or "").split()


def time_of(entry, wall):
    return entry["real_time" if wall else "cpu_time"]


def verdict(label, ratio, allocs, peak):
    """The goals of the label and whether the measurement meets them."""
    goals, missed = [], []
    for token in (label or "").split():
        match = GOAL.match(token)
        if not match:
            continue
        what, op, limit = match.group(1), match.group(2), float(match.group(3))
        goals.append(token)
        value = {"ratio": ratio, "allocs": allocs, "peak": peak}[what]
        if value is None or not COMPARE[op](round(value, 2), limit):
            missed.append(f"{what} " + ("-" if value is None else count(value) if what == "allocs" else f"{value:.2f}"))
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
        # A variant that another one names as its comparison is a baseline too.
        named = {w[3:] for v in variants for w in words(cases[f"{group}_{v}"]) if w.startswith("vs=")}
        for variant in variants:
            entry = cases[f"{group}_{variant}"]
            label = words(entry)
            against = [w[3:] for w in label if w.startswith("vs=") and w[3:] in variants]
            if not against:
                if variant in BASELINES or variant in named or base is None:
                    continue
                against = [base]
            wall = "wall" in label
            for i, other in enumerate(against):
                b, r = entry, cases[f"{group}_{other}"]
                tb, tr = time_of(b, wall), time_of(r, wall)
                ratio = tb / tr if tr else float("nan")
                peak = b.get(PEAK)
                goal, result = verdict(" ".join(label) if i == 0 else "", ratio, b.get(ALLOCS), peak)
                for failed in (f"{group}_{variant}", f"{group}_{other}"):
                    if failed in errors:
                        result = f"error in {failed}: {errors[failed]}"
                cv = [spread[n] for n in (f"{group}_{variant}", f"{group}_{other}") if n in spread]
                noise = f"{max(cv) * 100:.0f}%" if cv else "-"
                cpu = f"{b['cpu_time'] / r['cpu_time']:.2f}" if wall and r["cpu_time"] else "-"
                rows.append([f"{group} ({variant} / {other})" + (" wall" if wall else ""), f"{tb:.1f}",
                             f"{tr:.1f}", f"{ratio:.2f}", noise, cpu, count(b.get(ALLOCS)), count(r.get(ALLOCS)),
                             "-" if peak is None or i else f"{peak:.2f}", rates(b, r), goal, result])
    for name, message in errors.items():
        if name not in cases:
            rows.append([name, "-", "-", "-", "-", "-", "-", "-", "-", "-", "-", f"error: {message}"])

    header = ["case (binding / baseline)", "binding", "baseline", "ratio", "cv", "cpu ratio", "allocs/iter",
              "baseline allocs/iter", "peak/body", "rates", "goal", "result"]
    widths = [max(len(row[i]) for row in rows + [header]) for i in range(len(header))]
    numeric = range(1, 9)

    def line(cells):
        return "  ".join(c.rjust(w) if i in numeric else c.ljust(w) for i, (c, w) in enumerate(zip(cells, widths))).rstrip()

    how = f"median of {repetitions} repetitions" if repetitions > 1 else "one run"
    print(f"CPU time per call ({how}), wall-clock time for rows marked wall; ratio = binding / baseline;")
    print("cpu ratio = the same for the process's CPU time (rows marked wall);")
    print("cv = the larger coefficient of variation of the two sides over the repetitions; allocs/iter = heap")
    print("allocations per call made by the program; peak/body = peak resident memory of a load per byte of body;")
    print("rates = the case's rate counters beside the baseline's; times in each case's unit (ns for single calls,")
    print("us for page loads, ms for the 64 MiB loads, script loops and paints)")
    print(line(header))
    print(line(["-" * w for w in widths]))
    for row in rows:
        print(line(row))


if __name__ == "__main__":
    main(sys.argv[1])
