#!/usr/bin/env python3
"""Judges whether a figure of a soak keeps growing after its warm-up; prints one line per figure, PASS or FAIL.

  soak-growth.py SAMPLES.tsv WARM_UP_SECONDS

SAMPLES.tsv is the soak's table: seconds, resident MB, CPU %, threads, descriptors and the MB that are murmeli's own
(anonymous and shared memory), one reading a line after a header.
Exits 1 when a figure grows, 2 when the table cannot be judged (too few readings after the warm-up).

Memory is judged by what murmeli holds of its own: the pages of the files it maps (its libraries, fonts, the
model's files) count in its resident memory as they are touched and dropped, and leak nothing.
A take's loaded model, a burst or a pool thread lift a figure for a while and then let it go; a leak lifts the
floor under it. So the stretch after the warm-up is cut into two to eight blocks of two minutes or more, the lowest
reading of each block is its floor, and the rise of the slope through the floors (the median of the slopes between
every two of them, which a block or two that never came down cannot tip) over the stretch must stay under what the
figure's limit per hour allows there, plus what the reading moves by at rest without growing: a descriptor, a point
of CPU, a thread (the work murmeli does at rest, such as its scans, keeps as many pool threads alive as it last needed
at once, up to the pool's size) and 5 MB. Memory may take one step on top: while each thread had a heap of its own,
murmeli held about 30 MB more at rest after one take in some runs and none in others; with two heaps no run has shown
it, but a heap may still keep what one burst left. So the largest rise from one floor to the next, up to 40 MB, is set
aside as that step before the slope is taken; a leak rises from every floor to the next and is not set aside.
There is no second way to pass: a run of four minutes that keeps two more threads at the end fails.
"""
import statistics
import sys

# column, name, unit, limit per hour, jitter at rest, one step set aside
FIGURES = (
    (5, "own memory", "MB", 30.0, 5.0, 40.0),
    (3, "threads", "", 6.0, 1.0, 0.0),
    (4, "file descriptors", "", 30.0, 1.0, 0.0),
    (2, "CPU share", "points", 30.0, 1.0, 0.0),
)
BLOCK_SECONDS = 120.0
MOST_BLOCKS = 8


def floors(readings, warm_up, column):
    """(centre second, lowest value) of each block of the stretch after warm_up; [] when it holds under two."""
    after = [(row[0], row[column]) for row in readings if row[0] >= warm_up]
    if len(after) < 4:
        return []
    span = after[-1][0] - after[0][0]
    count = min(MOST_BLOCKS, max(2, int(span // BLOCK_SECONDS)))
    edge = [after[0][0] + span * i / count for i in range(count + 1)]
    result = []
    for i in range(count):
        block = [v for t, v in after if edge[i] <= t < edge[i + 1] or (i == count - 1 and t == edge[-1])]
        if block:
            result.append(((edge[i] + edge[i + 1]) / 2, min(block)))
    return result if len(result) >= 2 else []


def without_one_step(points, most):
    """points with the largest rise from one to the next, up to most, taken off every point after it; and that rise."""
    rises = [(b[1] - a[1], i) for i, (a, b) in enumerate(zip(points, points[1:]))]
    step, at = max(rises, default=(0.0, 0))
    step = min(max(step, 0.0), most)
    return [(t, v - step if i > at else v) for i, (t, v) in enumerate(points)], step


def slope_per_hour(points):
    return 3600 * statistics.median((b[1] - a[1]) / (b[0] - a[0]) for i, a in enumerate(points) for b in points[i + 1:])


def read(path):
    readings = []
    with open(path, encoding="utf-8") as table:
        for number, line in enumerate(table):
            fields = line.split("\t")
            if number == 0 or not line.strip():
                continue
            try:
                readings.append([float(field) for field in fields])
            except ValueError:
                readings.append([])
            if len(readings[-1]) != 6:
                raise ValueError(f"line {number + 1} of {path} is not six numbers: {line.strip()}")
    return readings


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    try:
        readings, warm_up = read(argv[1]), float(argv[2])
    except (OSError, ValueError) as error:
        print(f"soak-growth: {error}", file=sys.stderr)
        return 2
    grows = unjudged = False
    for column, name, unit, limit, jitter, most in FIGURES:
        points = floors(readings, warm_up, column)
        if not points:
            print(f"FAIL  {name} after warm-up: too few readings after {warm_up:.0f} s to judge")
            unjudged = True
            continue
        span = points[-1][0] - points[0][0]
        level, step = without_one_step(points, most)
        slope = slope_per_hour(level)
        rise, allowed = slope * span / 3600, limit * span / 3600 + jitter
        verdict = "PASS" if rise <= allowed else "FAIL"
        grows |= verdict == "FAIL"
        unit = f" {unit}" if unit else ""
        lows = ", ".join(f"{v:.4g}" for _, v in points)
        aside = f", one step of {step:.1f}{unit} set aside" if most else ""
        print(f"{verdict}  {name} after warm-up: the floors rise {rise:.2f}{unit} over {span:.0f} s"
              f" ({slope:.1f}{unit}/hour{aside}; allowed {allowed:.2f}: {limit:g}{unit}/hour and {jitter:g} of jitter)"
              f" — floors {lows}")
    return 2 if unjudged else 1 if grows else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
