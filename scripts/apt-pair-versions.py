#!/usr/bin/env python3
"""Prints the apt-get arguments that install PACKAGES with matching library versions on
both architectures.

A library that both architectures need (Multi-Arch: same) must be installed at one version
for both. When one architecture's index of an archive is missing or stale (a mirror in the
middle of a sync), apt's candidate for that architecture is older than the other's and it
gives up ("held broken packages"). This finds every such library among the packages and
everything they depend on, and asks for the newest version that both architectures offer
(the installed one when the other architecture has it too), as `name:arch=version`.

Usage: apt-pair-versions.py [-o APT-OPTION]... PACKAGE...
(apt's own configuration, APT_CONFIG included, plus the options given)
"""
import functools
import re
import subprocess
import sys


APT_OPTIONS = []


def apt_cache(*args):
    return subprocess.run(["apt-cache", *APT_OPTIONS, *args], check=False, capture_output=True,
                          text=True).stdout


def native_arch():
    return subprocess.run(["dpkg", "--print-architecture"], check=True, capture_output=True,
                          text=True).stdout.strip()


def order(c):
    # Debian's character order inside a version part: ~ first, then the end, letters, others.
    if c == "~":
        return -1
    if c.isalpha():
        return ord(c)
    return ord(c) + 256


def compare_part(a, b):
    while a or b:
        la = re.match(r"[^0-9]*", a).group()
        lb = re.match(r"[^0-9]*", b).group()
        for i in range(max(len(la), len(lb))):
            ca = order(la[i]) if i < len(la) else 0
            cb = order(lb[i]) if i < len(lb) else 0
            if ca != cb:
                return -1 if ca < cb else 1
        a, b = a[len(la):], b[len(lb):]
        na = re.match(r"[0-9]*", a).group()
        nb = re.match(r"[0-9]*", b).group()
        if int(na or 0) != int(nb or 0):
            return -1 if int(na or 0) < int(nb or 0) else 1
        a, b = a[len(na):], b[len(nb):]
    return 0


def compare_versions(a, b):
    """-1, 0 or 1 as dpkg orders the Debian versions a and b."""
    def split(version):
        epoch, _, rest = version.partition(":") if ":" in version else ("0", "", version)
        upstream, _, revision = rest.rpartition("-") if "-" in rest else (rest, "", "0")
        return int(epoch or 0), upstream, revision

    ea, ua, ra = split(a)
    eb, ub, rb = split(b)
    if ea != eb:
        return -1 if ea < eb else 1
    return compare_part(ua, ub) or compare_part(ra, rb)


def closure(packages):
    """Every real package that installing PACKAGES may bring, qualified by architecture."""
    out = apt_cache("depends", "--recurse", "--no-recommends", "--no-suggests", "--no-conflicts",
                    "--no-breaks", "--no-replaces", "--no-enhances", *packages)
    return {line.strip() for line in out.splitlines() if line and not line[0].isspace() and "<" not in line}


def stanzas(names):
    """(package, architecture) -> {'versions': set, 'multi_arch': str} from apt-cache show."""
    info = {}
    for block in apt_cache("show", *names).split("\n\n"):
        fields = dict(re.findall(r"^([A-Za-z-]+): ?(.*)$", block, re.M))
        if "Package" not in fields or "Version" not in fields:
            continue
        entry = info.setdefault((fields["Package"], fields.get("Architecture", "")),
                                {"versions": set(), "multi_arch": fields.get("Multi-Arch", "no")})
        entry["versions"].add(fields["Version"])
    return info


def policy(names, native):
    """name:arch -> (installed or None, candidate or None)."""
    result = {}
    for block in re.split(r"^(?=\S)", apt_cache("policy", *names), flags=re.M):
        head = re.match(r"^(\S+):\n", block)
        if not head:
            continue
        installed = re.search(r"^\s+Installed: (\S+)", block, re.M)
        candidate = re.search(r"^\s+Candidate: (\S+)", block, re.M)
        value = lambda m: None if not m or m.group(1) == "(none)" else m.group(1)
        # apt names native packages without their architecture.
        name = head.group(1) if ":" in head.group(1) else f"{head.group(1)}:{native}"
        result[name] = (value(installed), value(candidate))
    return result


def pairs(packages):
    native = native_arch()
    wanted = closure(packages)
    foreign = {name.split(":")[0]: name.split(":")[1] for name in wanted if ":" in name}
    if not foreign:
        return []
    names = sorted(set(foreign))
    qualified = [f"{n}:{a}" for n in names for a in (native, foreign[n])]
    info = stanzas(qualified)
    states = policy(qualified, native)
    arguments = []
    for name in names:
        arch = foreign[name]
        here, there = info.get((name, native)), info.get((name, arch))
        if not here or not there or there["multi_arch"] != "same":
            continue
        native_installed, native_candidate = states.get(f"{name}:{native}", (None, None))
        # The native side matters when it is installed or comes with the packages too.
        if native_installed is None and name not in wanted and f"{name}:{native}" not in wanted:
            continue
        foreign_installed, foreign_candidate = states.get(f"{name}:{arch}", (None, None))
        common = here["versions"] & there["versions"]
        if native_installed in there["versions"]:
            version = native_installed
        elif common:
            version = max(common, key=functools.cmp_to_key(compare_versions))
        else:
            print(f"apt-pair-versions: no version of {name} exists for both {native} and {arch}",
                  file=sys.stderr)
            continue
        # apt's resolver moves both sides to their candidates: pin unless they agree.
        if {native_installed, native_candidate, foreign_installed, foreign_candidate} <= {version, None}:
            continue
        if native_installed is not None or name in wanted or f"{name}:{native}" in wanted:
            arguments.append(f"{name}:{native}={version}")
        arguments.append(f"{name}:{arch}={version}")
    return arguments


if __name__ == "__main__":
    args = sys.argv[1:]
    while len(args) >= 2 and args[0] == "-o":
        APT_OPTIONS += args[:2]
        args = args[2:]
    if not args:
        sys.exit(__doc__)
    print("\n".join(pairs(args)))
