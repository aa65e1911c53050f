#!/usr/bin/env python3
"""Reads the test desktop's screen for the soak, through libX11 itself (the desktop has no screen-grab tool).

  soak-screen.py yes         prints "X Y", the centre of the topmost lit Yes button of murmeli's panel, or exits 1
  soak-screen.py png FILE    writes the whole screen to FILE as a PNG

The card's Yes is the one wide amber button right of the screen's centre; it is lit once the card takes clicks.
"""
import ctypes
import ctypes.util
import struct
import sys
import zlib

Z_PIXMAP = 2
ALL_PLANES = 2**64 - 1


class XImage(ctypes.Structure):
    # The leading fields of Xlib's XImage, which is all that is read here.
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int),
                ("red_mask", ctypes.c_ulong), ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong)]


class Screen:
    """The root window's pixels as rows of (r, g, b) bytes."""

    def __init__(self):
        x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XDefaultScreen.argtypes = [ctypes.c_void_p]
        x11.XDisplayWidth.argtypes = x11.XDisplayHeight.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x11.XDefaultRootWindow.restype = ctypes.c_ulong
        x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x11.XGetImage.restype = ctypes.POINTER(XImage)
        x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                  ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        display = x11.XOpenDisplay(None)
        if not display:
            sys.exit("soak-screen: no display to read")
        screen = x11.XDefaultScreen(display)
        self.width, self.height = x11.XDisplayWidth(display, screen), x11.XDisplayHeight(display, screen)
        image = x11.XGetImage(display, x11.XDefaultRootWindow(display), 0, 0, self.width, self.height, ALL_PLANES,
                              Z_PIXMAP)
        if not image or image.contents.bits_per_pixel != 32:
            sys.exit("soak-screen: only a 24- or 32-bit screen can be read")
        ximage = image.contents
        raw = ctypes.string_at(ximage.data, ximage.bytes_per_line * self.height)
        shifts = [(mask & -mask).bit_length() - 1 for mask in (ximage.red_mask, ximage.green_mask, ximage.blue_mask)]
        order = "little" if ximage.byte_order == 0 else "big"
        self.rows = []
        for y in range(self.height):
            line = raw[y * ximage.bytes_per_line:(y + 1) * ximage.bytes_per_line]
            # The common case, a little-endian BGRX pixel, is only reordered; any other layout is unpacked.
            if order == "little" and shifts == [16, 8, 0]:
                row, end = bytearray(3 * self.width), 4 * self.width
                row[0::3], row[1::3], row[2::3] = line[2:end:4], line[1:end:4], line[0:end:4]
            else:
                row = bytearray()
                for x in range(self.width):
                    pixel = int.from_bytes(line[4 * x:4 * x + 4], order)
                    row += bytes((pixel >> shift) & 0xFF for shift in shifts)
            self.rows.append(bytes(row))
        # The process ends right after; the image goes with it.

    def pixel(self, x, y):
        row = self.rows[y]
        return row[3 * x], row[3 * x + 1], row[3 * x + 2]

    def png(self):
        def chunk(kind, body):
            return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

        lines = b"".join(b"\x00" + row for row in self.rows)
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(lines, 6)) + chunk(b"IEND", b""))


def find_yes(screen):
    def amber(x, y):
        r, g, b = screen.pixel(x, y)
        return r > 220 and 130 < g < 200 and b < 80

    left, right = screen.width // 2, min(screen.width, screen.width // 2 + 300)
    for y in range(screen.height):
        run = [x for x in range(left, right) if amber(x, y)]
        if len(run) > 60:
            bottom = y
            while bottom + 1 < screen.height and amber(run[0] + 4, bottom + 1):
                bottom += 1
            if bottom - y > 15:
                return (run[0] + run[-1]) // 2, (y + bottom) // 2
    return None


def main(argv):
    if argv[1:2] == ["yes"]:
        spot = find_yes(Screen())
        if spot is None:
            return 1
        print(*spot)
        return 0
    if argv[1:2] == ["png"] and len(argv) == 3:
        with open(argv[2], "wb") as out:
            out.write(Screen().png())
        return 0
    print(__doc__.strip(), file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
