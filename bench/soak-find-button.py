#!/usr/bin/env python3
"""Prints "X Y", the centre of the topmost lit Yes button of murmeli's panel on the screen, or exits 1 without one.

The card's Yes is the one wide amber button right of the screen's centre; it is lit once the card takes clicks.
Reads the screen with xwd and ImageMagick, so it needs no imaging module.
"""
import subprocess
import sys

ppm = subprocess.run("xwd -root -silent | convert xwd:- ppm:-", shell=True, capture_output=True, check=True).stdout
# P6 header: magic, width, height, maximum, then the pixels.
fields, at = [], 0
while len(fields) < 4:
    while ppm[at:at + 1].isspace() or ppm[at:at + 1] == b"#":
        if ppm[at:at + 1] == b"#":
            at = ppm.index(b"\n", at)
        at += 1
    end = at
    while not ppm[end:end + 1].isspace():
        end += 1
    fields.append(ppm[at:end])
    at = end
width, height = int(fields[1]), int(fields[2])
pixels = ppm[at + 1:]


def amber(x, y):
    i = 3 * (y * width + x)
    r, g, b = pixels[i], pixels[i + 1], pixels[i + 2]
    return r > 220 and 130 < g < 200 and b < 80


for y in range(height):
    run = [x for x in range(width // 2, min(width, width // 2 + 300)) if amber(x, y)]
    if len(run) > 60:
        bottom = y
        while bottom + 1 < height and amber(run[0] + 4, bottom + 1):
            bottom += 1
        if bottom - y > 15:
            print((run[0] + run[-1]) // 2, (y + bottom) // 2)
            sys.exit(0)
sys.exit(1)
