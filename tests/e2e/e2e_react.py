#!/usr/bin/env python3
"""Times how long a window takes to show the answer to a user's clicks.

    e2e_react.py WINDOW [--timeout MS] --click X,Y --watch X,Y,W,H [--still X,Y,W,H] ...

For each --click (several may follow one another; each takes the --watch and
--still after it), in window co-ordinates: xdotool parks the pointer in the
window's corner; the rectangle --watch is read straight from the X server;
xdotool moves the pointer to (X, Y) and clicks; the rectangle is read again
every millisecond or two until its pixels differ from before. One line per
click: the milliseconds from the pointer's move (the click follows at once)
to the first changed image, so the time xdotool takes to start on a busy
machine is the machine's, not the window's; "timeout" when nothing changed
within MS (default 2000).

The pixels change only once the program's own thread has taken the click
from its event queue, acted on it and painted the result: the X server
draws nothing into a client's window for it (the pointer is a sprite that
GetImage leaves out).

--still names a second rectangle that the click must not change, e.g. the
same control one row further down: when it changes too, something else
moved the picture (rows arriving, a column growing) and the measurement
says nothing. Then, or when the rectangle changes before the pointer has
moved, the line is "disturbed".

Exit codes: 0 every click measured (whatever the lines say), 2 bad arguments
or no X connection.
"""

import ctypes
import ctypes.util
import os
import subprocess
import sys
import time

ZPIXMAP = 2
ALL_PLANES = ctypes.c_ulong(0xFFFFFFFF)


class XImage(ctypes.Structure):
    # The leading members of Xlib's XImage; the rest is left alone.
    _fields_ = [
        ("width", ctypes.c_int),
        ("height", ctypes.c_int),
        ("xoffset", ctypes.c_int),
        ("format", ctypes.c_int),
        ("data", ctypes.POINTER(ctypes.c_char)),
        ("byte_order", ctypes.c_int),
        ("bitmap_unit", ctypes.c_int),
        ("bitmap_bit_order", ctypes.c_int),
        ("bitmap_pad", ctypes.c_int),
        ("depth", ctypes.c_int),
        ("bytes_per_line", ctypes.c_int),
        ("bits_per_pixel", ctypes.c_int),
    ]


def load_xlib():
    name = ctypes.util.find_library("X11") or "libX11.so.6"
    xlib = ctypes.CDLL(name)
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XGetImage.restype = ctypes.POINTER(XImage)
    xlib.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                               ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    xlib.XFree.argtypes = [ctypes.c_void_p]
    xlib.XSetErrorHandler.restype = ctypes.c_void_p
    xlib.XDefaultRootWindow.restype = ctypes.c_ulong
    xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    xlib.XQueryPointer.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_void_p] * 7
    return xlib


# An X error (the window gone, a rectangle outside it) must not end the
# process inside Xlib: GetImage then returns nothing and the caller says so.
ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(lambda d, e: 0)


def grab(xlib, display, window, rect):
    x, y, w, h = rect
    image = xlib.XGetImage(display, window, x, y, w, h, ALL_PLANES, ZPIXMAP)
    if not image:
        return None
    img = image.contents
    data = ctypes.string_at(img.data, img.bytes_per_line * img.height)
    # The pixel data and the structure; the function table behind them is static.
    xlib.XFree(img.data)
    xlib.XFree(image)
    return data


def pointer(xlib, display, root):
    root_ret, child = ctypes.c_ulong(), ctypes.c_ulong()
    rx, ry, wx, wy = ctypes.c_int(), ctypes.c_int(), ctypes.c_int(), ctypes.c_int()
    mask = ctypes.c_uint()
    xlib.XQueryPointer(display, root, ctypes.byref(root_ret), ctypes.byref(child), ctypes.byref(rx),
                       ctypes.byref(ry), ctypes.byref(wx), ctypes.byref(wy), ctypes.byref(mask))
    return rx.value, ry.value


def measure(xlib, display, window, click, rect, still, timeout_ms):
    x, y = click
    park = ["xdotool", "mousemove", "--window", str(window), "5", "5"]
    subprocess.run(park, check=False)
    before = grab(xlib, display, window, rect)
    still_before = grab(xlib, display, window, still) if still else None
    if before is None or (still and still_before is None):
        return "unreadable"
    root = xlib.XDefaultRootWindow(display)
    place = pointer(xlib, display, root)
    start = time.monotonic()
    clicker = subprocess.Popen(["xdotool", "mousemove", "--window", str(window), str(x), str(y),
                                "click", "1"])
    deadline = start + timeout_ms / 1000.0
    moved = False
    while True:
        if not moved:
            # The move happened after the last look that still found the
            # pointer in its place: counting from that look errs against
            # the window when this process was kept waiting.
            looked = time.monotonic()
            if pointer(xlib, display, root) != place:
                moved = True
            else:
                start = looked
        image = grab(xlib, display, window, rect)
        now = time.monotonic()
        if image is not None and image != before:
            clicker.wait()
            # A change before the click is something else's doing.
            if not moved and pointer(xlib, display, root) == place:
                return "disturbed"
            if still and grab(xlib, display, window, still) != still_before:
                return "disturbed"
            return str(int(round((now - start) * 1000)))
        if now > deadline:
            clicker.wait()
            return "timeout"
        time.sleep(0.001)


def parse_numbers(text, count):
    parts = [int(p) for p in text.split(",")]
    if len(parts) != count or (count == 4 and (parts[2] <= 0 or parts[3] <= 0)):
        raise ValueError(text)
    return tuple(parts)


def main(argv):
    clicks = []   # [click, watch, still]
    timeout_ms = 2000
    try:
        window = int(argv[1], 0)
        rest = argv[2:]
        while rest:
            option, value = rest[0], rest[1]
            if option == "--timeout":
                timeout_ms = int(value)
            elif option == "--click":
                clicks.append([parse_numbers(value, 2), None, None])
            elif option == "--watch" and clicks:
                clicks[-1][1] = parse_numbers(value, 4)
            elif option == "--still" and clicks:
                clicks[-1][2] = parse_numbers(value, 4)
            else:
                raise ValueError(option)
            rest = rest[2:]
        if not clicks or any(c[1] is None for c in clicks):
            raise ValueError("each --click needs a --watch")
    except (ValueError, IndexError) as e:
        print("usage: e2e_react.py WINDOW [--timeout MS] --click X,Y --watch X,Y,W,H [--still X,Y,W,H] ..."
              f" ({e})", file=sys.stderr)
        return 2

    xlib = load_xlib()
    xlib.XSetErrorHandler(ERROR_HANDLER)
    display = xlib.XOpenDisplay(os.environ.get("DISPLAY", "").encode())
    if not display:
        print("no X display", file=sys.stderr)
        return 2
    for click, rect, still in clicks:
        print(measure(xlib, display, window, click, rect, still, timeout_ms), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
