#!/usr/bin/env python3
"""Counts the frames an X window draws over a while, as the X server sees them (its damage reports).

  window-frames.py WINDOW SECONDS     prints "FRAMES SECONDS FRAMES_PER_SECOND LARGEST_PIXELS"

A frame is a burst of damage: reports less than 4 ms apart belong to the one frame, and its size is the pixels of
its largest report. Exits 1 when the X server has no damage extension; Xlib ends it with its own message when the
window is gone.
"""
import ctypes
import ctypes.util
import select
import sys
import time

REPORT_RAW_RECTANGLES = 0
DAMAGE_NOTIFY = 0
BURST_SECONDS = 0.004


class XRectangle(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short), ("width", ctypes.c_ushort),
                ("height", ctypes.c_ushort)]


class XDamageNotifyEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("drawable", ctypes.c_ulong), ("damage", ctypes.c_ulong),
                ("level", ctypes.c_int), ("more", ctypes.c_int), ("timestamp", ctypes.c_ulong),
                ("area", XRectangle), ("geometry", XRectangle)]


class XEvent(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("damage", XDamageNotifyEvent), ("pad", ctypes.c_long * 24)]


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    window, seconds = int(argv[1], 0), float(argv[2])
    x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    damage = ctypes.CDLL(ctypes.util.find_library("Xdamage") or "libXdamage.so.1")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XConnectionNumber.argtypes = x11.XPending.argtypes = [ctypes.c_void_p]
    x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.POINTER(XEvent)]
    damage.XDamageQueryExtension.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                             ctypes.POINTER(ctypes.c_int)]
    damage.XDamageCreate.restype = ctypes.c_ulong
    damage.XDamageCreate.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int]

    display = x11.XOpenDisplay(None)
    base, error_base = ctypes.c_int(), ctypes.c_int()
    if not display or not damage.XDamageQueryExtension(display, ctypes.byref(base), ctypes.byref(error_base)):
        print("window-frames: no X display with the damage extension", file=sys.stderr)
        return 1
    damage.XDamageCreate(display, window, REPORT_RAW_RECTANGLES)
    x11.XSync(display, 0)
    # A new damage object first reports all that is drawn already; that is no frame.
    event = XEvent()
    while x11.XPending(display):
        x11.XNextEvent(display, ctypes.byref(event))

    frames, largest, last = 0, 0, None
    began = time.monotonic()
    deadline = began + seconds
    while (now := time.monotonic()) < deadline:
        if not x11.XPending(display):
            select.select([x11.XConnectionNumber(display)], [], [], deadline - now)
            continue
        x11.XNextEvent(display, ctypes.byref(event))
        if event.type != base.value + DAMAGE_NOTIFY:
            continue
        at = time.monotonic()
        if last is None or at - last > BURST_SECONDS:
            frames += 1
        last = at
        largest = max(largest, event.damage.area.width * event.damage.area.height)
    print(frames, f"{seconds:g}", f"{frames / seconds:.2f}", largest)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
