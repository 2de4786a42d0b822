#!/usr/bin/env python3
"""Sums the GoogleTest XML reports of each build folder and prints the counts.

A program whose cases CTest runs one by one writes one report per case into
test-results/PROGRAM/; a program run whole (examples, the consumer, TSan runs, programs
whose cases run in order) writes test-results/PROGRAM.xml. Cases are counted from the
reports' test cases, programs as one per folder or whole report.
A folder whose step could not run on this machine holds a file `not-run` with the
reason, printed instead of counts; a folder of a step that counts itself (valgrind)
holds its counts in `result`.
Folders of neither kind that have no reports count as missing, which fails the run."""
import glob
import os
import sys
import xml.etree.ElementTree as ET

total_passed = total_failed = total_skipped = 0
missing = False
for build in sys.argv[1:]:
    name = build.removeprefix("build/")
    if os.path.exists(f"{build}/not-run"):
        with open(f"{build}/not-run") as reason:
            print(f"{name}: not run: {reason.read().strip()}")
        continue
    if os.path.exists(f"{build}/result"):
        with open(f"{build}/result") as result:
            print(f"{name}: {result.read().strip()}")
        continue
    passed = failed = skipped = 0
    results = f"{build}/test-results"
    whole = sorted(glob.glob(f"{results}/*.xml"))
    per_case = {d: glob.glob(f"{d}**/*.xml", recursive=True) for d in sorted(glob.glob(f"{results}/*/"))}
    per_case = {d: r for d, r in per_case.items() if r}
    reports = whole + [r for found in per_case.values() for r in found]
    for report in reports:
        root = ET.parse(report).getroot()
        for case in root.iter("testcase"):
            if case.find("failure") is not None:
                failed += 1
            elif case.get("result") == "skipped" or case.find("skipped") is not None:
                skipped += 1
            else:
                passed += 1
    programs = len(whole) + len(per_case)
    if not programs:
        missing = True
    print(f"{name}: {passed} passed, {failed} failed, {skipped} skipped ({programs} test programs)")
    total_passed += passed
    total_failed += failed
    total_skipped += skipped
print(f"{total_passed} passed, {total_failed} failed, {total_skipped} skipped")
sys.exit(1 if total_failed or missing else 0)
