#!/usr/bin/env python3
"""scripts/setup on a machine that lacks packages shows the package manager's progress while it installs them, and
prints nothing at all when nothing is missing. The package manager is a stand-in on PATH that reports some packages
missing (or none) and prints a line of progress as the real one does."""

import os
import shutil
import stat
import subprocess
import tempfile
import unittest

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
SETUP = os.path.join(ROOT, "scripts", "setup")

STAND_INS = {
    # Every package is installed but those named in MISSING.
    "dpkg-query": 'case " $MISSING " in *" ${@: -1} "*) exit 1 ;; esac; printf "install ok installed"\n',
    "apt-get": 'echo "apt-get $*" >>"$CALLS"; [ "$1" = install ] && echo "Unpacking $MISSING (1.0) ..."; exit 0\n',
    "sudo": 'exec "$@"\n',
}


# Missing where setup runs without root: from the start, the middle and the end of its list.
MISSING = ("build-essential", "fontconfig", "xdotool", "fonts-noto-color-emoji")


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

    def test_without_root_it_installs_through_sudo_or_names_the_command_root_runs(self):
        # PATH holds the stand-ins alone, so this machine's own sudo, if any, stays out of it.
        rows = (
            # uid, whether sudo is there, what must be called, status
            ("0", False, ["apt-get update", "apt-get install"], 0),
            ("1000", True, ["sudo apt-get update", "apt-get update", "sudo apt-get install", "apt-get install"], 0),
            ("1000", False, [], 1),
        )
        for uid, has_sudo, calls_made, status in rows:
            with self.subTest(uid=uid, sudo=has_sudo), tempfile.TemporaryDirectory() as scratch:
                stand_ins = dict(STAND_INS, id='echo "$UID_SEEN"\n')
                stand_ins["sudo"] = 'echo "sudo $*" >>"$CALLS"; exec "$@"\n'
                if not has_sudo:
                    del stand_ins["sudo"]
                for name, body in stand_ins.items():
                    path = os.path.join(scratch, name)
                    with open(path, "w") as script:
                        script.write("#!" + shutil.which("bash") + "\n" + body)
                    os.chmod(path, stat.S_IRWXU)
                os.symlink(shutil.which("grep"), os.path.join(scratch, "grep"))
                calls = os.path.join(scratch, "calls")
                env = dict(os.environ, PATH=scratch, MISSING=" ".join(MISSING), CALLS=calls, UID_SEEN=uid)
                run = subprocess.run(
                    [shutil.which("bash"), SETUP], env=env, capture_output=True, text=True, timeout=60
                )
                said = run.stdout + run.stderr
                self.assertEqual(run.returncode, status, said)
                made = []
                if os.path.exists(calls):
                    with open(calls) as recorded:
                        made = [" ".join(line.split()[:3 if line.startswith("sudo") else 2]) for line in recorded]
                self.assertEqual(made, calls_made, said)
                if status:
                    # Root is told to install every missing package, each once.
                    command = "su -c 'apt-get update && apt-get install -y --no-install-recommends "
                    lines = [line.strip() for line in said.splitlines() if line.strip().startswith(command)]
                    self.assertEqual(len(lines), 1, said)
                    self.assertTrue(lines[0].endswith("'"), said)
                    self.assertEqual(sorted(lines[0][len(command) : -1].split()), sorted(MISSING), said)


if __name__ == "__main__":
    unittest.main()
