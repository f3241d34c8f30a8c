#!/usr/bin/python3
"""Waits for a window of the game as a Wayland player meets it: AT-SPI has
an active window of ROLE with a label TEXT, and weston's scene graph has on
top a top-level of that size titled "Vortana..." under the game's app id;
with --ink, the label's rectangle on weston's output holds that colour.
Prints the window's screen rectangle.
Usage: wl_look.py ROLE TEXT [--ink RRGGBB] [--timeout S]
"""

import argparse
import re
import subprocess

from e2e_mutter import extents, find, until, window

APP_ID = "io.github.vortana.Vortana"
# A top-level's view, and the opaque region weston lists under it. Weston 16
# quotes the view's label, so the app id may end in a quote, not a comma.
VIEW = re.compile(r"role xdg_toplevel, [^\n]*top-level window '([^\n]*)' of ([^\s,']+)(?:(?!role xdg_toplevel).)*?"
                  r"\[opaque: \((-?\d+), (-?\d+)\) -> \((-?\d+), (-?\d+)\)\]", re.S)


def toplevels():
    """Weston's top-levels, topmost first: (title, app id, x, y, w, h of the opaque content)."""
    out = subprocess.run(["weston-debug", "scene-graph"], capture_output=True, text=True, timeout=10).stdout
    return [(title, app, int(x0), int(y0), int(x1) - int(x0), int(y1) - int(y0))
            for title, app, x0, y0, x1, y1 in VIEW.findall(out)]


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
