#!/usr/bin/python3
"""Waits for a window of the game as a Wayland player meets it.

Two witnesses must agree: the game's accessibility tree (AT-SPI) has an
active window of ROLE holding a label that reads TEXT, and weston's own
scene graph has, on top of its windows, a top-level of that size titled
"Vortana..." under the game's app id. With --ink RRGGBB the label's
rectangle on the compositor's output must also hold pixels of that colour,
so the text is really drawn there. Prints the window's screen rectangle.
Usage: wl_look.py ROLE TEXT [--ink RRGGBB] [--timeout S]
"""

import argparse
import re
import subprocess

from e2e_mutter import extents, find, until, window

APP_ID = "io.github.vortana.Vortana"
VIEW = re.compile(r"role xdg_toplevel, .*top-level window '(.*)' of (\S+),")
OPAQUE = re.compile(r"\[opaque: \((-?\d+), (-?\d+)\) -> \((-?\d+), (-?\d+)\)\]")


def toplevels():
    """Weston's top-levels, topmost first: (title, app id, x, y, w, h of the opaque content)."""
    out = subprocess.run(["weston-debug", "scene-graph"], capture_output=True, text=True, timeout=10).stdout
    views, head = [], None
    for line in out.splitlines():
        m = VIEW.search(line) or OPAQUE.search(line)
        if m and m.re is VIEW:
            head = m.groups()
        elif m and head:
            x0, y0, x1, y1 = map(int, m.groups())
            views.append((*head, x0, y0, x1 - x0, y1 - y0))
            head = None
    return views


def game_window(role, text):
    """The active window of ROLE with a showing label TEXT: its size and the label's rect in it."""
    win = window(role, text, "STATE_ACTIVE")
    return win and (extents(win, "WINDOW_COORDS")[2:], extents(find(win, "label", text), "WINDOW_COORDS"))


def ink_pixels(rect, rgb):
    x, y, w, h = rect
    raw = subprocess.run(["import", "-silent", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "-depth", "8", "rgb:-"],
                         check=True, capture_output=True, timeout=20).stdout
    return sum(1 for i in range(0, len(raw) - 2, 3) if raw[i:i + 3] == rgb)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("role")
    ap.add_argument("text")
    ap.add_argument("--ink", type=bytes.fromhex)
    ap.add_argument("--timeout", type=float, default=30)
    args = ap.parse_args()
    seen = []

    def on_top():
        seen[:] = [game_window(args.role, args.text), toplevels()]
        if not all(seen):
            return None
        ((w, h), (lx, ly, lw, lh)), (title, app_id, x, y, vw, vh) = seen[0], seen[1][0]
        # A window shows a frame or two after it is mapped, hence the retries for the ink too.
        if (title.startswith("Vortana") and app_id == APP_ID and (vw, vh) == (w, h)
                and (not args.ink or ink_pixels((x + lx, y + ly, lw, lh), args.ink) > 0)):
            return x, y, w, h
        return None
    print(*until(lambda: f"no {args.role} reading {args.text!r} on top; AT-SPI and weston: {seen}", on_top, args.timeout))


if __name__ == "__main__":
    main()
