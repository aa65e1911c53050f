#!/usr/bin/env python3
"""Resources/scripts/remove-murmeli says "removed" of exactly what was there and is gone afterwards, and "kept" of
exactly what it had to leave: in a home where murmeli never ran it removes nothing and says so of nothing. Its home,
temporary folder and status folder are scratch ones, so a murmeli the user runs is neither touched nor counted; the
murmeli of another home that the removal must wait for is a stand-in of the test's own."""

import os
import shutil
import subprocess
import tempfile
import unittest

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
REMOVE = os.path.join(ROOT, "Resources", "scripts", "remove-murmeli")
UID = os.getuid()

# Each of murmeli's places below the scratch folder, with a file murmeli leaves in it; the home's first.
HOME_PLACES = {
    "home/.murmeli": "logs/ptt-2026-12-08.jsonl",
    "home/.config/murmeli": "defaults.json",
    "home/.local/share/murmeli": "created-paths",
}
TEMPORARY_PLACES = {
    "status": "abcd1234-status.json",
    f"tmp/murmeli-{UID}": "instance.lock",
    f"tmp/murmeli-takes-{UID}": "take-1.wav",
}
PLACES = {**HOME_PLACES, **TEMPORARY_PLACES}


class RemoveMurmeliTest(unittest.TestCase):
    def test_it_says_removed_and_kept_of_what_was_there_only(self):
        rows = (
            # what was there, whether a murmeli of another home runs with this temporary folder
            ("murmeli never ran", (), False),
            ("only the data folder", ("home/.local/share/murmeli",), False),
            ("everything", tuple(PLACES), False),
            ("another home's murmeli runs, nothing of it here", tuple(HOME_PLACES), True),
            ("another home's murmeli runs over its temporary folders", tuple(PLACES), True),
        )
        for name, present, another in rows:
            with self.subTest(name), tempfile.TemporaryDirectory() as scratch:
                for place in ("home", "tmp", "other"):
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
                running = None
                if another:
                    shutil.copy("/bin/sleep", os.path.join(scratch, "murmeli"))
                    running = subprocess.Popen(
                        [os.path.join(scratch, "murmeli"), "60"], env=dict(env, HOME=os.path.join(scratch, "other"))
                    )
                try:
                    run = subprocess.run(["bash", REMOVE], env=env, capture_output=True, text=True, timeout=60)
                finally:
                    if running:
                        running.kill()
                        running.wait()
                said = run.stdout + run.stderr
                waits = [place for place in present if another and place in TEMPORARY_PLACES]
                gone = [place for place in present if place not in waits]
                self.assertEqual(run.returncode, 1 if waits else 0, said)
                removed = sorted(line for line in said.splitlines() if line.startswith("removed "))
                self.assertEqual(removed, sorted(f"removed {os.path.join(scratch, place)}" for place in gone), said)
                kept = [line for line in said.splitlines() if line.startswith("kept ")]
                if waits:
                    self.assertEqual(len(kept), 1, said)
                    self.assertEqual(
                        sorted(kept[0].split(":")[0].split()[1:]), sorted(os.path.join(scratch, p) for p in waits)
                    )
                else:
                    self.assertEqual(kept, [], said)
                for place in PLACES:
                    self.assertEqual(os.path.exists(os.path.join(scratch, place)), place in waits, place)


if __name__ == "__main__":
    unittest.main()
