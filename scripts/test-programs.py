#!/usr/bin/env python3
"""Lists the test programs of a build folder from CTest, one line per program.

CTest knows every GoogleTest case as a test of its own (`ctest -R Suite.Case`); scripts
that run whole programs (valgrind, stress) group those tests back by command. A line
holds, separated by \\x1f: the program's name (its label), working directory,
environment (';'-separated), the fixture set-up tests and clean-up tests it needs
(CTest names, '|'-separated), then the command and its arguments, without the
per-case filter and report.
Usage: test-programs.py BUILD_DIR
"""
import json
import subprocess
import sys

PER_CASE = ("--gtest_filter=", "--gtest_output=", "--gtest_also_run_disabled_tests")

# ctest lists a program's cases by running it; when that fails it says why (on standard
# error, left to the caller's) and answers non-zero.
listing = subprocess.run(["ctest", "--test-dir", sys.argv[1], "--show-only=json-v1"],
                         stdout=subprocess.PIPE, text=True)
if listing.returncode != 0:
    sys.exit(f"test-programs.py: ctest could not list the tests of {sys.argv[1]}")
tests = json.loads(listing.stdout)["tests"]


def props(test):
    return {p["name"]: p["value"] for p in test.get("properties", [])}


def fixtures_of(kind, wanted):
    return [t["name"] for t in tests if set(props(t).get(kind, [])) & set(wanted)]


programs = {}
for test in tests:
    if "command" not in test:  # a program that is not built
        continue
    p = props(test)
    command = [arg for arg in test["command"] if not arg.startswith(PER_CASE)]
    key = tuple(command)
    if key in programs:
        continue
    labels = p.get("LABELS", [])
    required = p.get("FIXTURES_REQUIRED", [])
    programs[key] = [labels[0] if labels else test["name"], p.get("WORKING_DIRECTORY", "."),
                     ";".join(p.get("ENVIRONMENT", [])),
                     "|".join(fixtures_of("FIXTURES_SETUP", required)),
                     "|".join(fixtures_of("FIXTURES_CLEANUP", required))] + command
for fields in programs.values():
    print("\x1f".join(fields))
