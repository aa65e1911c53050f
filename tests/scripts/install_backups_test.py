#!/usr/bin/env python3
"""The installers back a file up before they change it and keep five backups of it: past five the backup whose name
is oldest goes, never the one just made, however the names of the earlier ones compare with it and whatever their
modification times say."""

import os
import subprocess
import tempfile
import time
import unittest

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
LIBRARY = os.path.join(ROOT, "Resources", "scripts", "murmeli-install-lib.sh")
# The library's own backup step, as the installers call it before they write a file of murmeli's anew.
BACKUP = 'file=$1; set --; source "$0" && murmeli_backup "$file"'


class InstallBackupsTest(unittest.TestCase):
    def test_past_five_backups_the_oldest_goes_never_the_newest(self):
        # Earlier backups named in the past (backed up once or twice more), or in the future of a clock that was set
        # back since.
        for year, runs in (("2020", 1), ("2020", 2), ("2099", 1)):
            with self.subTest(year=year, runs=runs), tempfile.TemporaryDirectory() as home:
                path = os.path.join(home, "murmeli.js")
                earlier = [f"murmeli.js.murmeli-backup-{year}010{day}-120000-42-7" for day in range(1, 6)]
                for day, name in enumerate(earlier, 1):
                    with open(os.path.join(home, name), "w") as backup:
                        backup.write("old")
                    stamp = time.time() - day * 86400
                    os.utime(os.path.join(home, name), (stamp, stamp))
                for run in range(runs):
                    with open(path, "w") as plugin:
                        plugin.write(f"version {run}")
                    done = subprocess.run(["bash", "-c", BACKUP, LIBRARY, path], capture_output=True, text=True)
                    self.assertEqual(done.returncode, 0, done.stderr)
                kept = {}
                for name in os.listdir(home):
                    if ".murmeli-backup-" in name:
                        with open(os.path.join(home, name)) as backup:
                            kept[name] = backup.read()
                made = sorted(text for text in kept.values() if text != "old")
                self.assertEqual(made, [f"version {run}" for run in range(runs)], "the backups just made")
                self.assertEqual(sorted(name for name, text in kept.items() if text == "old"), earlier[runs:])


if __name__ == "__main__":
    unittest.main()
