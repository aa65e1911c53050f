#!/usr/bin/env python3
"""The soak's growth checks over a day in the soak's rhythm and over that day with a slow leak laid on one figure: the
day passes, each leak fails its own figure and no other; likewise for a short run and faster leaks."""

import os
import random
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
CHECK = os.path.join(ROOT, "bench", "soak-growth.py")
COLUMNS = {"own memory": 5, "CPU share": 2, "threads": 3, "file descriptors": 4}


def a_day(minutes, seed=7):
    """Readings every 10 s of a day in the soak's rhythm: a take loads the model for 40 to 130 s, murmeli rests 20 to
    60 s between takes, and for a minute after the warm-up and at the end."""
    rng, rows, loaded_until, next_take = random.Random(seed), [], -1, 25
    for t in range(10, minutes * 60 + 1, 10):
        pause = 60 <= t < 120 or t > minutes * 60 - 60
        if t >= next_take and not pause:
            loaded_until = t + rng.randrange(40, 131, 10)
            next_take = loaded_until + rng.randrange(20, 61, 10)
        up = t <= loaded_until and not pause
        own = 6 + rng.uniform(0, 2) + (rng.uniform(90, 180) if up else 0)
        rows.append([t, own + 40 + rng.uniform(0, 20), 2 + rng.uniform(0, 2) + (rng.uniform(4, 20) if up else 0),
                     19 + up, 38 + rng.randint(0, 1) + (rng.randint(1, 6) if up else 0), own])
    return rows


def judge(rows, warm_up):
    with tempfile.NamedTemporaryFile("w", suffix=".tsv") as table:
        table.write("seconds\trss_mb\tcpu_percent\tthreads\tfds\town_mb\n")
        table.writelines("\t".join(f"{v:g}" for v in row) + "\n" for row in rows)
        table.flush()
        run = subprocess.run([sys.executable, CHECK, table.name, str(warm_up)], capture_output=True, text=True)
    verdicts = {name: line[:4] for line in run.stdout.splitlines() for name in COLUMNS if f"  {name} " in line}
    return run.returncode, verdicts, run.stdout + run.stderr


def leaking(rows, figure, per_hour, whole=False):
    """rows with figure rising per_hour from the start; counts rise a whole one at a time."""
    out = []
    for row in rows:
        rise = per_hour * row[0] / 3600
        row = list(row)
        row[COLUMNS[figure]] += int(rise) if whole else rise
        out.append(row)
    return out


class SoakGrowthTest(unittest.TestCase):
    def test_a_day_passes_and_a_slow_leak_fails_its_figure(self):
        day, short = a_day(20), a_day(5)
        cases = [("a day", day, 400, None), ("a short run", short, 60, None)]
        # Each figure leaking over a day (memory at 100 MB an hour, which is 20 MB over the judged stretch), and over a
        # short run by what four minutes can show: a thread a minute, 100 MB, 8 descriptors, 8 points of CPU.
        leaks = (("own memory", 100, 1500, False), ("threads", 20, 60, True), ("file descriptors", 60, 120, True),
                 ("CPU share", 60, 120, False))
        for figure, over_a_day, over_a_short_run, whole in leaks:
            cases.append((f"a day leaking {over_a_day} {figure} an hour", leaking(day, figure, over_a_day, whole), 400,
                          figure))
            cases.append((f"a short run leaking {over_a_short_run} {figure} an hour",
                          leaking(short, figure, over_a_short_run, whole), 60, figure))
        # The one step murmeli's memory may take at rest, early or late, passes; that step with a leak on top does not.
        for at in (500, 1000):
            stepped = [row[:5] + [row[5] + (30 if row[0] >= at else 0)] for row in day]
            cases.append((f"a day whose memory steps up by 30 MB at {at} s", stepped, 400, None))
            cases.append((f"a day stepping at {at} s and leaking 100 MB an hour",
                          leaking(stepped, "own memory", 100), 400, "own memory"))
        for label, rows, warm_up, grows in cases:
            status, verdicts, output = judge(rows, warm_up)
            self.assertEqual(status, 1 if grows else 0, f"{label}:\n{output}")
            expected = {name: "FAIL" if name == grows else "PASS" for name in COLUMNS}
            self.assertEqual(verdicts, expected, f"{label}:\n{output}")

        status, _, output = judge(day[:3], 10)
        self.assertEqual(status, 2, output)
        self.assertIn("too few readings", output)


if __name__ == "__main__":
    unittest.main()
