#!/usr/bin/python3
"""The real game under GNOME's compositor, mutter, run headless.

PLATFORM is Qt's: "wayland" (native) or "xcb" (through mutter's Xwayland).
Start to Exit, driven through the game's accessibility tree (AT-SPI, on a
session bus of its own) as a screen reader would: the name prompt and the
greeting open in the middle of the screen, the window is titled "Vortana"
and centred, every menu entry shows in the bar (no overflow button), the
farewell box opens over the window, and the game ends with status 0.
Places and titles are the X server's and the frames mutter draws; on
Wayland, where the compositor alone places windows, they go unchecked.
--font-dpi N renders every font at N dots per inch (QT_FONT_DPI), which
makes the interface font at least 12 points.
Usage: e2e_mutter.py PLATFORM path/to/vortana [--font-dpi N]
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

SCREEN = (1024, 768)
WAIT = 30


def fail(message):
    print(f"e2e_mutter: {message}", file=sys.stderr)
    sys.exit(1)


def until(what, probe, timeout=WAIT):
    deadline, last = time.monotonic() + timeout, None
    while time.monotonic() < deadline:
        try:
            last = probe()
        except Exception as e:  # a window that closes while it is read
            last = e
        if last and not isinstance(last, Exception):
            return last
        time.sleep(0.3)
    fail(f"{what}; last seen: {last}")


def private_x11_folder():
    """Xwayland's socket goes in /tmp/.X11-unix, which mutter wants
    world-writable; a mount namespace gives the test one of its own."""
    if os.environ.get("E2E_MUTTER_NS"):
        subprocess.run(["mount", "-t", "tmpfs", "-o", "mode=1777", "tmpfs", "/tmp/.X11-unix"], check=True)
        return
    if not os.path.isdir("/tmp/.X11-unix"):  # made as an X server makes it
        os.mkdir("/tmp/.X11-unix")
        os.chmod("/tmp/.X11-unix", 0o1777)
    if subprocess.run(["unshare", "-Urm", "true"], capture_output=True).returncode == 0:
        env = dict(os.environ, E2E_MUTTER_NS="1")
        os.execvpe("unshare", ["unshare", "-Urm", sys.executable, *sys.argv], env)


def start_session(tmp, log):
    """A session bus, then mutter with a virtual monitor; its environment."""
    env = dict(os.environ)
    for d in ("data", "config", "cache", "run"):
        os.mkdir(f"{tmp}/{d}", 0o700)
    env.update(XDG_DATA_HOME=f"{tmp}/data", XDG_CONFIG_HOME=f"{tmp}/config", XDG_CACHE_HOME=f"{tmp}/cache",
               XDG_RUNTIME_DIR=f"{tmp}/run", QT_LOGGING_RULES="qt.multimedia*=false")
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"], env=env,
                           stdout=subprocess.PIPE, stderr=log, text=True)
    env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
    helptext = subprocess.run(["mutter", "--help"], capture_output=True, text=True, env=env).stdout
    # Newer mutters start Xwayland only when asked to, or on demand.
    flags = ["--headless", "--wayland", "--virtual-monitor", "%dx%d" % SCREEN]
    flags += ["--xwayland"] if "--xwayland" in helptext else []
    flags += ["--wayland-display=vortana-mutter"] if "--wayland-display" in helptext else []
    # The command mutter runs once it is up hands us the displays it made.
    envfile = f"{tmp}/displays"
    mutter = subprocess.Popen(
        ["mutter", *flags, "--", "sh", "-c", f'printf "%s\\n" "$DISPLAY" "$WAYLAND_DISPLAY" "$XAUTHORITY" >{envfile}.new'
         f' && mv {envfile}.new {envfile} && exec sleep 3600'],
        env=env, stdout=log, stderr=log)
    until("mutter did not start", lambda: mutter.poll() is None and os.path.exists(envfile) or mutter.poll())
    if mutter.poll() is not None:
        fail(f"mutter ended with status {mutter.returncode}")
    display, wayland, xauth = open(envfile).read().split("\n")[:3]
    env.update(DISPLAY=display, WAYLAND_DISPLAY=wayland, XAUTHORITY=xauth)
    # Qt joins the accessibility bus only if it is there when Qt starts.
    subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                    "org.a11y.Bus.GetAddress"], env=env, check=True, capture_output=True, timeout=20)
    return env, [mutter, bus]


def app():
    import pyatspi
    for a in pyatspi.Registry.getDesktop(0):
        if a is not None and a.name == "vortana":
            return a
    return None


def find(root, role, text=None, showing=True):
    import pyatspi
    return pyatspi.findDescendant(
        root, lambda o: o.getRoleName() == role and (text is None or o.name.strip() == text)
        and (not showing or o.getState().contains(pyatspi.STATE_SHOWING)))


def window(role, text):
    """The game's top-level window of ROLE showing a label or text TEXT."""
    import pyatspi
    a = app()
    for win in a or []:
        if win is not None and win.getRoleName() == role and win.getState().contains(pyatspi.STATE_SHOWING) \
                and (find(win, "label", text) or win.name == text):
            return win
    return None


def press(root, name):
    button = until(f"no button {name}", lambda: find(root, "push button", name))
    action = button.queryAction()
    for i in range(action.nActions):
        if action.getName(i) == "Press":
            return action.doAction(i)
    fail(f"{name} takes no press")


def size(win):
    import pyatspi
    return tuple(win.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)[2:])


class X11Frames:
    """Where the X server has a window titled "Vortana" of that size, and the frame mutter gives it."""

    def __init__(self, env):
        self.env = env

    def out(self, *cmd):
        return subprocess.run(cmd, env=self.env, capture_output=True, text=True, timeout=20).stdout

    def frame(self, client_size, title="Vortana"):
        for wid in self.out("xdotool", "search", "--onlyvisible", "--name", f"^{title}$").split():
            info = self.out("xwininfo", "-id", wid)
            geo = [int(re.search(p + r":\s+(-?\d+)", info).group(1))
                   for p in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")]
            extents = re.search(r"= (\d+), (\d+), (\d+), (\d+)$", self.out("xprop", "-id", wid, "_NET_FRAME_EXTENTS"))
            if tuple(geo[2:]) == client_size and extents:
                l, r, t, b = map(int, extents.groups())
                name = re.search(r'= "(.*)"$', self.out("xprop", "-id", wid, "_NET_WM_NAME"))
                return (geo[0] - l, geo[1] - t, geo[2] + l + r, geo[3] + t + b), name and name.group(1)
        return None


def centre(rect):
    x, y, w, h = rect
    return (2 * x + w) / 2, (2 * y + h) / 2


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("platform", choices=["wayland", "xcb"])
    ap.add_argument("binary")
    ap.add_argument("--font-dpi", type=int)
    args = ap.parse_args()
    for tool in ("mutter", "dbus-daemon", "dbus-send", "Xwayland", "xdotool", "xwininfo", "xprop"):
        if not shutil.which(tool):
            fail(f"{tool} is missing (scripts/setup.sh installs it)")
    private_x11_folder()

    tmp = tempfile.mkdtemp(prefix="e2e_mutter.")
    log = open(f"{tmp}/session.log", "w")
    procs = []
    ok = False
    try:
        env, procs = start_session(tmp, log)
        os.environ.update(env)  # pyatspi reads the session bus from here
        game_env = dict(env, QT_QPA_PLATFORM=args.platform, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        if args.font_dpi:
            # Larger fonts in a window of the same size, as a desktop's font setting gives.
            game_env.update(QT_FONT_DPI=str(args.font_dpi), QT_ENABLE_HIGHDPI_SCALING="0")
        game = subprocess.Popen([args.binary], env=game_env, stdout=log, stderr=log)
        procs.insert(0, game)
        # On Wayland a window can't choose its place, nor tell it, and
        # Qt 6.4 does not tell mutter that a box is a dialog: mutter 43
        # puts the boxes at the top-left corner whatever the game does.
        frames = X11Frames(env) if args.platform == "xcb" else None
        screen_centre = (SCREEN[0] / 2, SCREEN[1] / 2)

        def placed(win, what, over):
            """The frame of WIN, centred on OVER's centre, where the game can place it."""
            if not frames:
                return None, None
            got = until(f"mutter has no place for {what}", lambda: frames.frame(size(win)))
            at = centre(got[0])
            if abs(at[0] - over[0]) > 1 or abs(at[1] - over[1]) > 1:
                fail(f"{what} centred at {at}, frame {got[0]}, expected {over}")
            return got

        prompt = until("no name prompt", lambda: window("dialog", "Come ti chiami?"))
        placed(prompt, "the name prompt", screen_centre)
        field = until("no name field", lambda: find(prompt, "text"))
        field.queryEditableText().setTextContents("Ada")
        press(prompt, "OK")
        greeting = until("no greeting", lambda: window("alert", "Ada vediamo se sei un vero campione"))
        placed(greeting, "the greeting", screen_centre)
        press(greeting, "OK")

        main_window = until("no game window", lambda: window("frame", "Ada"))
        width, height = size(main_window)
        if width != 608 or height < 672:
            fail(f"game window is {width}x{height}, expected 608 wide, 672 high and a menu")
        frame, title = placed(main_window, "the game window", screen_centre)
        if args.platform == "xcb" and title != "Vortana":
            fail(f"the title bar reads {title!r}")
        if main_window.name != "Vortana":
            fail(f"the window is titled {main_window.name!r}")

        # Every entry of the bar shows, inside the window, and no overflow button does.
        import pyatspi
        bar = until("no menu bar", lambda: find(main_window, "menu bar", showing=False))
        entries = []
        left, top = main_window.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)[:2]
        for item in bar:
            role, states = item.getRoleName(), item.getState()
            x, y, w, h = item.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            x, y = x - left, y - top
            if role == "menu item":
                entries.append(item.name)
                if not states.contains(pyatspi.STATE_SHOWING) or w <= 0 or h <= 0 or x < 0 or x + w > width:
                    fail(f"menu entry {item.name!r} is not showing: extents {(x, y, w, h)}")
            elif states.contains(pyatspi.STATE_SHOWING) and w > 0:
                fail(f"the menu bar shows a {role} {item.name!r}: entries hidden behind it")
        if "Nuovo gioco" not in entries or "Help" not in entries or len(entries) != 4:
            fail(f"menu entries {entries}")

        press(main_window, "Exit")
        farewell = until("no farewell box", lambda: window("alert", "Ciao a presto!"))
        placed(farewell, "the farewell box", frame and centre(frame))
        press(farewell, "OK")
        try:
            status = game.wait(WAIT)
        except subprocess.TimeoutExpired:
            fail("the game did not end after the farewell box")
        if status != 0:
            fail(f"exit status {status}")
        ok = True
        placement = "prompt, greeting and window centred, farewell over the window" if frames else "every box answered"
        print(f"e2e_mutter {args.platform}: titled, the whole menu bar showing, {placement}, status 0")
    finally:
        for p in procs:
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
        log.close()
        if not ok:
            sys.stderr.write(open(f"{tmp}/session.log", errors="replace").read()[-6000:])
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    main()
