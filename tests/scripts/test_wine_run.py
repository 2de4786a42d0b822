#!/usr/bin/env python3
"""scripts/wine-run.sh with a Wine prefix whose set-up failed earlier: a stub registry and
the ready mark left behind. The runner must notice, say so in one line, make the prefix
again and run the program."""
import os
import pathlib
import shutil
import subprocess
import tempfile
import unittest

ROOT = pathlib.Path(__file__).resolve().parents[2]


@unittest.skipUnless(shutil.which("wine"), "Wine is not installed")
class WineRunTest(unittest.TestCase):
    def test_broken_prefix_is_made_again(self):
        with tempfile.TemporaryDirectory() as prefix:
            (pathlib.Path(prefix) / "system.reg").write_text("x" * 244)
            (pathlib.Path(prefix) / ".tessaril-ready").touch()
            env = dict(os.environ, WINEPREFIX=prefix)
            run = subprocess.run([ROOT / "scripts/wine-run.sh", "--target", "win64", "cmd", "/c", "echo", "ran"],
                                 env=env, capture_output=True, text=True, timeout=600)
            subprocess.run(["wineserver", "-k"], env=env, check=False)
            self.assertEqual(run.returncode, 0, run.stderr)
            self.assertIn("ran", run.stdout)
            self.assertEqual(run.stderr.count("is incomplete"), 1, run.stderr)
            self.assertGreater((pathlib.Path(prefix) / "system.reg").stat().st_size, 100000)


if __name__ == "__main__":
    unittest.main()
