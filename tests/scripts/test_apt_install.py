#!/usr/bin/env python3
"""scripts/apt-install.sh against a fake package index whose security suite lacks its
i386 index, as a mirror in the middle of a sync serves it: the installed amd64 library
has a version the i386 side cannot get, so apt alone refuses, and the script must install
anyway, with one version for both architectures and nothing removed."""
import hashlib
import os
import pathlib
import subprocess
import tempfile
import textwrap
import unittest

ROOT = pathlib.Path(__file__).resolve().parents[2]


def stanza(package, version, arch, depends=None):
    lines = [f"Package: {package}", f"Version: {version}", f"Architecture: {arch}",
             "Multi-Arch: same", "Maintainer: Test <test@example.org>",
             f"Filename: pool/{package}_{version}_{arch}.deb", "Size: 1000",
             f"Description: {package}"]
    if depends:
        lines.append(f"Depends: {depends}")
    return "\n".join(lines) + "\n\n"


class FakeIndex:
    """A package root: two suites (one without its i386 index) and a dpkg status."""

    def __init__(self, root, suites, installed):
        self.root = pathlib.Path(root)
        for suite, indexes in suites.items():
            dist = self.root / "repo/dists" / suite
            sums = []
            for arch, text in indexes.items():
                path = dist / f"main/binary-{arch}/Packages"
                data = text.encode()
                if arch.endswith("!missing"):
                    # Listed in the Release file, absent from the mirror.
                    path = dist / f"main/binary-{arch.split('!')[0]}/Packages"
                    sums.append(f" {hashlib.sha256(data).hexdigest()} {len(data)} "
                                f"main/binary-{arch.split('!')[0]}/Packages")
                    continue
                path.parent.mkdir(parents=True)
                path.write_bytes(data)
                sums.append(f" {hashlib.sha256(data).hexdigest()} {len(data)} main/binary-{arch}/Packages")
            (dist / "Release").write_text(f"Suite: {suite}\nCodename: {suite}\nArchitectures: amd64 i386\n"
                                          f"Components: main\nDate: Mon, 07 Dec 2026 00:00:00 UTC\nSHA256:\n"
                                          + "\n".join(sums) + "\n")
        (self.root / "dpkg/updates").mkdir(parents=True)
        (self.root / "dpkg/status").write_text("".join(
            f"Package: {p}\nVersion: {v}\nArchitecture: {a}\nStatus: install ok installed\n"
            f"Multi-Arch: same\nMaintainer: Test <test@example.org>\nDescription: {p}\n\n"
            for p, v, a in installed))
        for d in ("state/lists/partial", "cache/archives/partial", "etc/parts", "etc/prefs"):
            (self.root / d).mkdir(parents=True)
        (self.root / "etc/sources.list").write_text("".join(
            f"deb [trusted=yes] file:{self.root}/repo {suite} main\n" for suite in suites))
        (self.root / "apt.conf").write_text(textwrap.dedent(f"""\
            APT::Architecture "amd64";
            APT::Architectures {{ "amd64"; "i386"; }};
            Dir::State "{self.root}/state";
            Dir::State::status "{self.root}/dpkg/status";
            Dir::Cache "{self.root}/cache";
            Dir::Etc::sourcelist "{self.root}/etc/sources.list";
            Dir::Etc::sourceparts "{self.root}/etc/parts";
            Dir::Etc::preferencesparts "{self.root}/etc/prefs";
            Dir::Log "{self.root}";
            Acquire::Languages "none";
            APT::Sandbox::User "root";
            """))
        self.env = dict(os.environ, APT_CONFIG=str(self.root / "apt.conf"),
                        DPKG_ADMINDIR=str(self.root / "dpkg"), APT_INSTALL_SIMULATE="1")

    def run(self, *command):
        return subprocess.run(command, env=self.env, cwd=ROOT, capture_output=True, text=True)


class AptInstallTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        # The installed amd64 library (1.2) is in no index; the release has 1.1 for both
        # architectures, the security suite 1.3 for amd64 only.
        self.index = FakeIndex(self.tmp.name, {
            "stable": {"amd64": stanza("libfoo", "1.1", "amd64"),
                       "i386": stanza("libfoo", "1.1", "i386")
                       + stanza("app", "1.0", "i386", "libfoo (>= 1.0)")},
            "stable-security": {"amd64": stanza("libfoo", "1.3", "amd64"),
                                "i386!missing": stanza("libfoo", "1.3", "i386")},
        }, installed=[("libfoo", "1.2", "amd64")])

    def tearDown(self):
        self.tmp.cleanup()

    def test_installs_with_one_version_for_both_architectures(self):
        update = self.index.run("apt-get", "update")
        self.assertIn("stable-security/main/binary-i386/Packages", update.stdout + update.stderr)
        plain = self.index.run("apt-get", "install", "-s", "-y", "--no-remove", "app:i386")
        self.assertNotEqual(plain.returncode, 0, "apt alone should refuse: " + plain.stdout)

        result = self.index.run("scripts/apt-install.sh", "app:i386")
        output = result.stdout + result.stderr
        self.assertEqual(result.returncode, 0, output)
        self.assertIn("Inst app:i386", output)
        self.assertRegex(output, r"Inst libfoo:i386 \(1\.1 ")
        self.assertRegex(output, r"Inst libfoo \[1\.2\] \(1\.1 ")
        self.assertNotIn("Remv", output)

    def test_installed_packages_are_skipped(self):
        result = self.index.run("scripts/apt-install.sh", "libfoo:amd64")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, "")


if __name__ == "__main__":
    unittest.main()
