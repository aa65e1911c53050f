#!/usr/bin/env python3
"""Resources/scripts/remove-murmeli says "removed" of exactly what was there and is gone afterwards: in a home where
murmeli never ran it removes nothing and says so of nothing. Its home, temporary folder and status folder are scratch
ones, so a murmeli the user runs is neither touched nor counted."""

import os
import subprocess
import tempfile
import unittest

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
REMOVE = os.path.join(ROOT, "Resources", "scripts", "remove-murmeli")
UID = os.getuid()

# Each of murmeli's places, below the scratch folder, with a file murmeli leaves in it.
PLACES = {
    "home/.murmeli": "logs/ptt-2026-12-08.jsonl",
    "home/.config/murmeli": "defaults.json",
    "home/.local/share/murmeli": "created-paths",
    "status": "abcd1234-status.json",
    f"tmp/murmeli-{UID}": "instance.lock",
    f"tmp/murmeli-takes-{UID}": "take-1.wav",
}


class RemoveMurmeliTest(unittest.TestCase):
    def test_it_says_removed_of_what_was_there_only(self):
        rows = (
            ("murmeli never ran", ()),
            ("only the data folder", ("home/.local/share/murmeli",)),
            ("everything", tuple(PLACES)),
        )
        for name, present in rows:
            with self.subTest(name), tempfile.TemporaryDirectory() as scratch:
                for place in ("home", "tmp"):
                    os.mkdir(os.path.join(scratch, place))
                for place in present:
                    path = os.path.join(scratch, place, PLACES[place])
                    os.makedirs(os.path.dirname(path), exist_ok=True)
                    open(path, "w").close()
                env = {
                    "PATH": os.environ["PATH"],
                    "HOME": os.path.join(scratch, "home"),
                    "TMPDIR": os.path.join(scratch, "tmp"),
                    "MURMELI_STATUS_DIR": os.path.join(scratch, "status"),
                }
                run = subprocess.run(["bash", REMOVE], env=env, capture_output=True, text=True, timeout=60)
                said = run.stdout + run.stderr
                self.assertEqual(run.returncode, 0, said)
                removed = sorted(line for line in said.splitlines() if line.startswith("removed "))
                self.assertEqual(removed, sorted(f"removed {os.path.join(scratch, place)}" for place in present))
                for place in PLACES:
                    self.assertFalse(os.path.exists(os.path.join(scratch, place)), place)


if __name__ == "__main__":
    unittest.main()
