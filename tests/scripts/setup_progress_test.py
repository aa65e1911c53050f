#!/usr/bin/env python3
"""scripts/setup on a machine that lacks packages shows the package manager's progress while it installs them, and
prints nothing at all when nothing is missing. The package manager is a stand-in on PATH that reports one package
missing (or none) and prints a line of progress as the real one does."""

import os
import stat
import subprocess
import tempfile
import unittest

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
SETUP = os.path.join(ROOT, "scripts", "setup")

STAND_INS = {
    # Every package is installed but the one named in MISSING.
    "dpkg-query": '[ "${@: -1}" = "$MISSING" ] && exit 1; printf "install ok installed"\n',
    "apt-get": 'echo "apt-get $*" >>"$CALLS"; [ "$1" = install ] && echo "Unpacking $MISSING (1.0) ..."; exit 0\n',
    "sudo": 'exec "$@"\n',
}


class SetupProgressTest(unittest.TestCase):
    def test_the_install_shows_its_progress_and_nothing_missing_prints_nothing(self):
        for missing in ("", "xdotool"):
            with self.subTest(missing=missing), tempfile.TemporaryDirectory() as scratch:
                for name, body in STAND_INS.items():
                    path = os.path.join(scratch, name)
                    with open(path, "w") as script:
                        script.write("#!/bin/bash\n" + body)
                    os.chmod(path, stat.S_IRWXU)
                calls = os.path.join(scratch, "calls")
                env = dict(os.environ, PATH=scratch + os.pathsep + os.environ["PATH"], MISSING=missing, CALLS=calls)
                run = subprocess.run(["bash", SETUP], env=env, capture_output=True, text=True, timeout=60)
                said = run.stdout + run.stderr
                self.assertEqual(run.returncode, 0, said)
                if not missing:
                    self.assertEqual(said, "")
                    self.assertFalse(os.path.exists(calls))
                    continue
                self.assertIn("Unpacking xdotool", said)
                with open(calls) as made:
                    self.assertIn("install", made.read())


if __name__ == "__main__":
    unittest.main()
