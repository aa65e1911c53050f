#!/usr/bin/env python3
"""The desktop's start-stop check where the test desktop cannot start (its X server is not on PATH): outside CI it
skips with the reason, under CI it fails with it."""

import os
import subprocess
import tempfile
import unittest

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
CHECK = os.path.join(ROOT, "tests", "desktop", "start-stop-three-times.sh")
DESKTOP = os.path.join(ROOT, "scripts", "desktop")
SKIPPED = 77


def path_without(tool, into):
    """A folder of links to every program on PATH but tool."""
    for folder in os.environ.get("PATH", "").split(os.pathsep):
        if not os.path.isdir(folder):
            continue
        for name in os.listdir(folder):
            program, link = os.path.join(folder, name), os.path.join(into, name)
            if name != tool and os.access(program, os.X_OK) and not os.path.lexists(link):
                os.symlink(program, link)
    return into


class StartStopUnderCiTest(unittest.TestCase):
    def test_a_desktop_that_cannot_start_skips_only_outside_ci(self):
        with tempfile.TemporaryDirectory() as scratch:
            env = {k: v for k, v in os.environ.items() if k not in ("MURMELI_CI", "MURMELI_TEST_DESKTOP")}
            env["PATH"] = path_without("Xvfb", scratch)
            run = [os.path.join(scratch, "bash"), CHECK, DESKTOP, os.path.join(scratch, "true")]
            outside = subprocess.run(run, env=env, capture_output=True, text=True, timeout=120)
            under_ci = subprocess.run(run, env=dict(env, MURMELI_CI="1"), capture_output=True, text=True,
                                      timeout=120)

        self.assertEqual(outside.returncode, SKIPPED, outside.stdout + outside.stderr)
        self.assertIn("missing Xvfb", outside.stdout)
        self.assertEqual(under_ci.returncode, 1, under_ci.stdout + under_ci.stderr)
        self.assertIn("under CI the desktop must start", under_ci.stderr)
        self.assertIn("missing Xvfb", under_ci.stderr)


if __name__ == "__main__":
    unittest.main()
